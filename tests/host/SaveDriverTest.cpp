// The save driver against a small fake save filter that records what it is
// asked: the walk a host makes, the row types chosen by depth, run-coded 1-bit
// rows that reproduce the image, and the first failure reported.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "com/KwAutomation.h"
#include "com/KwComPtr.h"
#include "hostdouble/KwHostDouble.h"
#include "engine/KwHostEngine.h"
#include "engine/KwHostMemoryStream.h"
#include "engine/KwHostSaveDriver.h"

namespace {

struct Recording {
    std::vector<std::string> calls;
    std::vector<LONG> dataTypes;
    std::vector<std::vector<unsigned char>> lines; // as sent, BytesPerLine bytes each
    std::vector<std::vector<unsigned char>> bands; // as sent, all NoLines lines of each call
    std::vector<LONG> palette;
    LONG storage[5] = {};
    std::string compression;
    HRESULT failCreateStorage = S_OK;
    HRESULT failRowAt = S_OK;
    int failRowNumber = -1;
    bool gotStream = false;
    int live = 0;
};

// Counted base of the fake objects.
template <typename Interface> class Fake : public Interface {
public:
    explicit Fake(std::shared_ptr<Recording> r) : rec(std::move(r)) { ++rec->live; }
    virtual ~Fake() { --rec->live; }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) noexcept override
    {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, KwUuidOf<Interface>())) {
            *ppv = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() noexcept override
    {
        ULONG r = --refs;
        if (r == 0) delete this;
        return r;
    }

protected:
    std::shared_ptr<Recording> rec;
    ULONG refs = 1;
};

class FakeRaster final : public Fake<IKwSaveRasterData> {
public:
    using Fake::Fake;
    HRESULT STDMETHODCALLTYPE PutAttribute(BSTR, VARIANT) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EndObject() noexcept override
    {
        rec->calls.push_back("raster.EndObject");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CreateRasterStorage(LONG Width, LONG Height, LONG BitsPerPixel, LONG DpiX, LONG DpiY,
                                                  BSTR Compression, LONG NoColors, LONG* ColorTable) noexcept override
    {
        rec->calls.push_back("CreateRasterStorage");
        LONG values[5] = {Width, Height, BitsPerPixel, DpiX, DpiY};
        std::copy(values, values + 5, rec->storage);
        rec->compression = KwNarrow(Compression);
        rec->palette.assign(ColorTable, ColorTable + NoColors);
        return rec->failCreateStorage;
    }
    HRESULT STDMETHODCALLTYPE AddScanline1(KW_RASTER_TYPE DataType, LONG StartLine, LONG NoLines, LONG BytesPerLine,
                                           unsigned char* Scanlines) noexcept override
    {
        rec->calls.push_back("AddScanline1 " + std::to_string(StartLine) + " " + std::to_string(NoLines));
        rec->dataTypes.push_back(DataType);
        rec->lines.emplace_back(Scanlines, Scanlines + BytesPerLine);
        rec->bands.emplace_back(Scanlines, Scanlines + static_cast<size_t>(BytesPerLine) * static_cast<size_t>(std::max<LONG>(NoLines, 1)));
        if (static_cast<int>(rec->lines.size()) == rec->failRowNumber) return rec->failRowAt;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE AddScanline2(KW_RASTER_TYPE, LONG, LONG, LONG*, LONG, unsigned char*) noexcept override
    {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE StartPolyClipRegion(LONG, LONG*, LONG, LONG*, LONG) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE AppendPolyClipRegion(LONG, LONG*, LONG, LONG*, LONG) noexcept override { return S_OK; }
};

class FakeStructure final : public Fake<IKwSaveStructure> {
public:
    FakeStructure(std::shared_ptr<Recording> r, int level) : Fake(std::move(r)), m_Level(level) {}
    HRESULT STDMETHODCALLTYPE PutAttribute(BSTR, VARIANT) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE CreateObject(KW_OBJECT_TYPE ObjectType, VARIANT, IKwDescriptorNative*,
                                           IUnknown** SaveObject) noexcept override
    {
        rec->calls.push_back("CreateObject " + std::to_string(ObjectType) + " at " + std::to_string(m_Level));
        if (ObjectType == KW_RASTER_BLOCK)
            *SaveObject = new FakeRaster(rec);
        else if (ObjectType >= KW_DOCUMENT && ObjectType <= KW_CONTAINER)
            *SaveObject = new FakeStructure(rec, m_Level + 1);
        else
            return E_INVALIDARG;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EndObject() noexcept override
    {
        rec->calls.push_back("structure.EndObject " + std::to_string(m_Level));
        return S_OK;
    }

private:
    int m_Level;
};

class FakeSaveFilter final : public Fake<IKwFilterSave> {
public:
    using Fake::Fake;
    HRESULT STDMETHODCALLTYPE CreateDocument(IKwDataObject* DataObject, IKwDescriptorNative*,
                                             IUnknown** SaveObject) noexcept override
    {
        rec->calls.push_back("CreateDocument");
        KwComPtr<IUnknown> storage;
        DataObject->get_Storage(storage.Receive());
        KwComPtr<IStream> stream;
        rec->gotStream = SUCCEEDED(KwQuery(storage.Get(), stream.Receive()));
        *SaveObject = new FakeStructure(rec, 0);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CloseDocument() noexcept override
    {
        rec->calls.push_back("CloseDocument");
        return S_OK;
    }
};

class KwHostSaveDriverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_LiveBefore = KwHostLiveObjects();
        ASSERT_EQ(S_OK, m_Engine.CreateMemoryStream(nullptr, 0, m_Output.Receive()));
        m_Filter.Attach(new FakeSaveFilter(m_Rec));
    }
    void TearDown() override
    {
        m_Filter.Reset();
        m_Output.Reset();
        EXPECT_EQ(0, m_Rec->live);
        EXPECT_EQ(m_LiveBefore, KwHostLiveObjects());
    }

    // A new recording; the fake objects still alive stay counted.
    void Fresh()
    {
        int live = m_Rec->live;
        *m_Rec = Recording();
        m_Rec->live = live;
    }

    HRESULT Save(const KwHostImage& image, const KwHostSaveOptions& options = KwHostSaveOptions())
    {
        KwHostSaveDriver driver(m_Engine.Context());
        HRESULT hr = driver.Save(m_Filter.Get(), m_Output.Get(), image, options);
        m_FailedStep = driver.FailedStep();
        return hr;
    }

    KwHostEngine m_Engine;
    std::shared_ptr<Recording> m_Rec = std::make_shared<Recording>();
    KwComPtr<KwHostMemoryStream> m_Output;
    KwComPtr<IKwFilterSave> m_Filter;
    std::string m_FailedStep;
    LONG m_LiveBefore = 0;
};

TEST_F(KwHostSaveDriverTest, WalksTheImageAsAHostDoes)
{
    KwHostImage image = KwHostImage::Make(10, 3, 24);
    image.DpiX = 300;
    image.DpiY = 200;
    image.Row(1)[0] = 0x42;
    KwHostSaveOptions options;
    options.Levels = {KW_DOCUMENT, KW_CONTAINER};
    ASSERT_EQ(S_OK, Save(image, options));
    EXPECT_TRUE(m_Rec->gotStream) << "the data object is bound to the output stream";
    EXPECT_EQ((std::vector<std::string>{"CreateDocument", "CreateObject 1100 at 0", "CreateObject 1102 at 1",
                                        "CreateObject 1202 at 2", "CreateRasterStorage", "AddScanline1 0 1",
                                        "AddScanline1 1 1", "AddScanline1 2 1", "raster.EndObject",
                                        "structure.EndObject 2", "structure.EndObject 1", "structure.EndObject 0",
                                        "CloseDocument"}),
              m_Rec->calls);
    EXPECT_EQ(10, m_Rec->storage[0]);
    EXPECT_EQ(3, m_Rec->storage[1]);
    EXPECT_EQ(24, m_Rec->storage[2]);
    EXPECT_EQ(300, m_Rec->storage[3]);
    EXPECT_EQ(200, m_Rec->storage[4]);
    EXPECT_EQ("JPEG", m_Rec->compression);
    EXPECT_EQ((std::vector<LONG>(3, KW_RASTER_RGB)), m_Rec->dataTypes);
    ASSERT_EQ(3u, m_Rec->lines.size());
    EXPECT_EQ(32u, m_Rec->lines[1].size());
    EXPECT_EQ(0x42, m_Rec->lines[1][0]);
    EXPECT_EQ((std::vector<std::string>{"data object.Storage"}), KwHostDouble(m_Engine).Log().Methods());
}

TEST_F(KwHostSaveDriverTest, RowTypesFollowTheDepth)
{
    struct Case {
        LONG bpp;
        LONG type;
        size_t colors;
    } cases[] = {{8, KW_RASTER_INDEX_8, 256}, {4, KW_RASTER_INDEX_4, 16}, {32, KW_RASTER_RGBA, 0}};
    for (const Case& c : cases) {
        Fresh();
        ASSERT_EQ(S_OK, Save(KwHostImage::Make(5, 2, c.bpp))) << c.bpp;
        EXPECT_EQ((std::vector<LONG>(2, c.type)), m_Rec->dataTypes) << c.bpp;
        EXPECT_EQ(c.colors, m_Rec->palette.size()) << c.bpp;
    }
}

TEST_F(KwHostSaveDriverTest, OneBitRowsTravelAsRunsThatReproduceTheRow)
{
    KwHostImage image = KwHostImage::Make(20, 1, 1);
    // Pixels 0, 1, 2 and 10, and 17 to 19 (the run reaching the right edge).
    unsigned char* row = image.Row(0);
    row[0] = 0xE0;
    row[1] = 0x20;
    row[2] = 0x70;
    ASSERT_EQ(S_OK, Save(image));
    ASSERT_EQ(1u, m_Rec->lines.size());
    EXPECT_EQ(KW_RASTER_RLC_32, m_Rec->dataTypes[0]);
    std::vector<LONG> records(m_Rec->lines[0].size() / sizeof(LONG));
    std::memcpy(records.data(), m_Rec->lines[0].data(), records.size() * sizeof(LONG));
    EXPECT_EQ((std::vector<LONG>{0, 3, 10, 11, 17, 20, -1}), records);

    EXPECT_EQ((std::vector<unsigned short>{0, 3, 10, 11, 17, 20, 0xFFFF}), KwHostSaveDriver::RunRecords16(row, 20));
    unsigned char empty[4] = {};
    EXPECT_EQ(std::vector<LONG>{-1}, KwHostSaveDriver::RunRecords(empty, 32));

    // A chosen type sends the row bytes as they are.
    Fresh();
    KwHostSaveOptions options;
    options.DataType = KW_RASTER_INDEX_8;
    ASSERT_EQ(S_OK, Save(image, options));
    EXPECT_EQ(KW_RASTER_INDEX_8, m_Rec->dataTypes[0]);
    EXPECT_EQ(0xE0, m_Rec->lines[0][0]);
}

TEST_F(KwHostSaveDriverTest, FirstFailureIsReturnedAndTheWalkStillCloses)
{
    m_Rec->failRowNumber = 2;
    m_Rec->failRowAt = E_OUTOFMEMORY;
    EXPECT_EQ(E_OUTOFMEMORY, Save(KwHostImage::Make(4, 5, 8)));
    EXPECT_EQ("AddScanline1", m_FailedStep);
    EXPECT_EQ((std::vector<std::string>{"CreateDocument", "CreateObject 1202 at 0", "CreateRasterStorage",
                                        "AddScanline1 0 1", "AddScanline1 1 1", "structure.EndObject 0",
                                        "CloseDocument"}),
              m_Rec->calls)
        << "no more rows, no raster EndObject, but the structures end and the document closes";

    Fresh();
    m_Rec->failCreateStorage = E_FAIL;
    EXPECT_EQ(E_FAIL, Save(KwHostImage::Make(4, 5, 24)));
    EXPECT_EQ("CreateRasterStorage", m_FailedStep);
    EXPECT_TRUE(m_Rec->lines.empty());

    Fresh();
    KwHostSaveOptions options;
    options.Levels = {KW_TEXT_BLOCK};
    EXPECT_EQ(E_INVALIDARG, Save(KwHostImage::Make(4, 5, 24), options));
    EXPECT_EQ("CreateObject", m_FailedStep);

    KwHostImage broken = KwHostImage::Make(4, 5, 24);
    broken.Pixels.resize(10);
    EXPECT_EQ(E_INVALIDARG, Save(broken)) << "rows shorter than the image says are not sent";
    KwHostSaveDriver driver(m_Engine.Context());
    EXPECT_EQ(E_POINTER, driver.Save(static_cast<IKwFilterSave*>(nullptr), m_Output.Get(), KwHostImage::Make(1, 1, 24)));
    EXPECT_EQ(REGDB_E_CLASSNOTREG, driver.Save(CLSID_NULL, m_Output.Get(), KwHostImage::Make(1, 1, 24)));
    EXPECT_EQ("CoCreateInstance", driver.FailedStep());
}

// An image that reads its rows from a source goes out a band of about a
// megabyte per call, never whole; a source that fails stops the rows.
TEST_F(KwHostSaveDriverTest, RowsFromASourceTravelInBands)
{
    KwHostImage image;
    image.Width = 600; // 1800 bytes a row: 582 rows make a band
    image.Height = 1000;
    image.BitsPerPixel = 24;
    std::vector<std::pair<LONG, LONG>> asked;
    auto pattern = [](LONG y, size_t x) { return static_cast<unsigned char>(y * 7 + static_cast<LONG>(x)); };
    image.RowSource = [&](LONG first, LONG count, unsigned char* rows) {
        asked.push_back({first, count});
        for (LONG y = 0; y < count; ++y)
            for (size_t x = 0; x < 1800; ++x) rows[static_cast<size_t>(y) * 1800 + x] = pattern(first + y, x);
        return S_OK;
    };
    ASSERT_EQ(S_OK, Save(image));
    EXPECT_EQ((std::vector<std::pair<LONG, LONG>>{{0, 582}, {582, 418}}), asked);
    EXPECT_EQ((std::vector<std::string>{"CreateDocument", "CreateObject 1202 at 0", "CreateRasterStorage",
                                        "AddScanline1 0 582", "AddScanline1 582 418", "raster.EndObject",
                                        "structure.EndObject 0", "CloseDocument"}),
              m_Rec->calls);
    ASSERT_EQ(2u, m_Rec->bands.size());
    ASSERT_EQ(418u * 1800u, m_Rec->bands[1].size());
    EXPECT_EQ(pattern(999, 1799), m_Rec->bands[1].back());
    EXPECT_EQ(pattern(582, 0), m_Rec->bands[1].front());

    Fresh();
    image.RowSource = [](LONG first, LONG, unsigned char*) { return first == 0 ? S_OK : E_FAIL; };
    EXPECT_EQ(E_FAIL, Save(image));
    EXPECT_EQ("reading the image", m_FailedStep);
    EXPECT_EQ((std::vector<std::string>{"CreateDocument", "CreateObject 1202 at 0", "CreateRasterStorage",
                                        "AddScanline1 0 582", "structure.EndObject 0", "CloseDocument"}),
              m_Rec->calls);

    Fresh();
    KwHostImage bits = KwHostImage::Make(9, 3, 1);
    bits.Pixels.clear();
    bits.RowSource = [](LONG, LONG count, unsigned char* rows) {
        std::fill(rows, rows + 4 * count, 0xFF);
        return S_OK;
    };
    ASSERT_EQ(S_OK, Save(bits));
    EXPECT_EQ((std::vector<LONG>{KW_RASTER_RLC_32, KW_RASTER_RLC_32, KW_RASTER_RLC_32}), m_Rec->dataTypes)
        << "run-coded rows still go one at a time";
}

} // namespace
