// Both filters through the real COM runtime, created by ProgID as a host does:
// loads of gray, RGB, CMYK and EXIF files made here with the cross-built libjpeg
// (pixels against libjpeg's own decode, attributes against the contract), the
// progress events and their abort, a save read back, aggregation and the
// library's lock count.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "common/ExifBuilder.h"
#include "com/KwAutomation.h"
#include "com/KwComPtr.h"
#include "engine/KwHostAttributeCollection.h"
#include "engine/KwHostEngine.h"
#include "engine/KwHostEventSink.h"
#include "engine/KwHostLoad.h"
#include "engine/KwHostMemoryStream.h"
#include "engine/KwHostSaveDriver.h"
#include "KwWinSupport.h"
#include "common/TestJpeg.h"

namespace {

template <typename I> HRESULT CreateByProgId(const wchar_t* progId, I** out)
{
    *out = nullptr;
    CLSID clsid = {};
    HRESULT hr = CLSIDFromProgID(progId, &clsid);
    if (FAILED(hr)) return hr;
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, KwUuidOf<I>(), reinterpret_cast<void**>(out));
}

std::string VariantText(const VARIANT& v)
{
    switch (v.vt) {
    case VT_BSTR: return "BSTR " + KwNarrowText(v.bstrVal);
    case VT_I2: return "I2 " + std::to_string(v.iVal);
    case VT_I4: return "I4 " + std::to_string(v.lVal);
    case VT_R8: return "R8 " + std::to_string(v.dblVal);
    case VT_BOOL: return std::string("BOOL ") + (v.boolVal == VARIANT_TRUE ? "true" : v.boolVal ? "other" : "false");
    default: return "vt " + std::to_string(v.vt);
    }
}

std::string AttributeText(const KwHostAttributeHolder* holder, const std::string& name)
{
    const KwHostAttributeEntry* entry = holder ? holder->FindAttribute(name) : nullptr;
    return entry ? VariantText(entry->Value.Get()) : "(absent)";
}

const char* KindName(TestJpeg::Color kind)
{
    switch (kind) {
    case TestJpeg::Gray: return "gray";
    case TestJpeg::Rgb: return "RGB";
    case TestJpeg::Cmyk: return "CMYK";
    default: return "other";
    }
}

// Loads `file` through a new load filter and compares the raster block with
// libjpeg's decode; leaves the load in `result` for further checks.
void LoadAndCompare(KwHostEngine& engine, const TestJpeg::Bytes& file, const std::string& what,
                    KwHostLoadResult& result, KwComPtr<IKwFilter>& filter)
{
    HRESULT hr = CreateByProgId(L"KwFilter_JPEG.KwFilterJPEG", filter.Receive());
    ASSERT_TRUE(SUCCEEDED(hr)) << what << ": load filter created by ProgID -- " << KwHex(hr);
    KwComPtr<KwHostMemoryStream> stream;
    engine.CreateMemoryStream(file.data(), file.size(), stream.Receive());
    hr = KwHostLoad(engine, filter.Get(), stream.Get(), "image.jpg", &result);
    ASSERT_EQ(KwHex(hr), KwHex(S_OK)) << what << ": OpenDocument and GetNode";

    TestJpeg::Decoded decoded = TestJpeg::Decode(file);
    int stride = 0;
    TestJpeg::Bytes rows = TestJpeg::HostRows(decoded, &stride);
    KwHostRasterBlock* raster = result.Raster();
    ASSERT_TRUE(decoded.Ok && raster != nullptr) << what << ": a raster block under node 1 -- " << decoded.Error;
    EXPECT_TRUE(raster->Width() == decoded.Width && raster->Height() == decoded.Height)
        << what << ": raster size is the image size -- " << raster->Width() << "x" << raster->Height();
    LONG bits = decoded.Components == 1 ? 8 : 24;
    EXPECT_EQ(raster->BitsPerPixel(), bits) << what << ": bits per pixel of the storage";
    EXPECT_EQ(raster->RowsDelivered(), static_cast<LONG>(decoded.Height)) << what << ": every row handed over";
    bool same = raster->Stride() == stride;
    for (int y = 0; same && y < decoded.Height; ++y) {
        const unsigned char* row = raster->Row(y);
        same = row && std::equal(row, row + stride, rows.begin() + static_cast<std::ptrdiff_t>(y) * stride);
    }
    EXPECT_TRUE(same) << what << ": rows equal libjpeg's decode";
    if (bits == 8) {
        const auto& palette = raster->Palette();
        bool gray = palette.size() == 256;
        for (size_t i = 0; gray && i < palette.size(); ++i) gray = palette[i] == static_cast<LONG>(i * 0x010101);
        EXPECT_TRUE(gray) << what << ": a 256-entry gray palette";
    }
}

// The host engine, started as a host starts it before it loads or saves.
class RegisteredFilters : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(KwHex(engine.Start()), KwHex(S_OK)) << "the host's attribute class is registered";
    }
    KwHostEngine engine;
};

struct KwLoadCase {
    TestJpeg::Color kind;
    int width, height;
    TestJpeg::Sampling sampling;
    int densityUnit, density;
    double lpi;
} const LoadCases[] = {
    {TestJpeg::Gray, 37, 21, TestJpeg::S444, 1, 300, 300.0},
    {TestJpeg::Rgb, 45, 29, TestJpeg::S420, 2, 118, 299.72},
    {TestJpeg::Cmyk, 23, 17, TestJpeg::S444, 0, 1, 96.0},
};

void PrintTo(const KwLoadCase& c, std::ostream* out) { *out << KindName(c.kind); }

class FilterLoad : public RegisteredFilters, public ::testing::WithParamInterface<KwLoadCase> {};

TEST_P(FilterLoad, PixelsAndAttributes)
{
    const KwLoadCase& c = GetParam();
    TestJpeg::Options options;
    options.Kind = c.kind;
    options.Width = c.width;
    options.Height = c.height;
    options.Subsampling = c.sampling;
    options.DensityUnit = c.densityUnit;
    options.XDensity = options.YDensity = c.density;
    options.JfifMarker = c.kind != TestJpeg::Cmyk;
    std::string what = KindName(c.kind);
    KwHostLoadResult result;
    KwComPtr<IKwFilter> filter;
    ASSERT_NO_FATAL_FAILURE(LoadAndCompare(engine, TestJpeg::Make(options), what, result, filter));

    KwHostNode* node = result.Node();
    EXPECT_EQ(AttributeText(result.Document.Get(), "Format"), "BSTR JPEG") << what << ": document Format";
    EXPECT_EQ(AttributeText(result.Contents(), "TotalNodes"), "I4 1") << what << ": TotalNodes";
    EXPECT_EQ(AttributeText(node, "BitsPerPixel"), c.kind == TestJpeg::Gray ? "I4 8" : "I4 24")
        << what << ": BitsPerPixel";
    EXPECT_EQ(AttributeText(node, "Loaded"), "BOOL true") << what << ": Loaded";
    EXPECT_EQ(AttributeText(node, "Compression"), "BSTR JPEG") << what << ": Compression";
    const KwHostAttributeEntry* lpi = node ? node->FindAttribute("LpiX") : nullptr;
    EXPECT_TRUE(lpi && lpi->Value.Type() == VT_R8 && std::fabs(lpi->Value.Get().dblVal - c.lpi) < 1e-9)
        << what << ": LpiX " << c.lpi << " -- " << (lpi ? VariantText(lpi->Value.Get()) : "(absent)");
    EXPECT_FALSE(result.Document->HasAttribute("SummaryInformation")) << what << ": no EXIF collection";
}

INSTANTIATE_TEST_SUITE_P(Registered, FilterLoad, ::testing::ValuesIn(LoadCases),
                         [](const ::testing::TestParamInfo<KwLoadCase>& info) {
                             return std::string(KindName(info.param.kind));
                         });

TEST_F(RegisteredFilters, LoadsExif)
{
    ExifBuilder exif;
    int sub = exif.AddDirectory();
    exif.AddAscii(0, 0x010F, "Quarvenx").AddAscii(0, 0x0110, "KW-1").AddLink(0, 0x8769, sub);
    exif.AddUndefined(sub, 0x9000, {'0', '2', '2', '0'})
        .AddRational(sub, 0x829A, 1, 125)
        .AddRational(sub, 0x829D, 28, 10)
        .AddShort(sub, 0x8827, 100)
        .AddAscii(sub, 0x9003, "2024:01:02 03:04:05")
        .AddShort(sub, 0x9209, 1);
    TestJpeg::Options options;
    options.Width = 40;
    options.Height = 30;
    TestJpeg::Bytes file = ExifBuilder::InsertAfterSoi(TestJpeg::Make(options), ExifBuilder::App1(exif.Payload()));

    KwHostLoadResult result;
    KwComPtr<IKwFilter> filter;
    ASSERT_NO_FATAL_FAILURE(LoadAndCompare(engine, file, "EXIF", result, filter));
    EXPECT_EQ(AttributeText(result.Document.Get(), "Format"), "BSTR JPEG (Exif)")
        << "document Format after an EXIF load";
    const KwHostAttributeEntry* summary = result.Document->FindAttribute("SummaryInformation");
    ASSERT_TRUE(summary && summary->Value.Type() == VT_DISPATCH && summary->Value.Get().pdispVal)
        << "SummaryInformation holds the attribute collection";
    KwComPtr<IKwAttribute> collection;
    ASSERT_TRUE(SUCCEEDED(KwQuery(summary->Value.Get().pdispVal, collection.Receive())))
        << "the collection answers IKwAttribute";
    const std::pair<const char*, const char*> expected[] = {
        {"ExifVersion", "0220"}, {"ExifMake", "Quarvenx"}, {"ExifModel", "KW-1"},
        {"ExifDateTime", "2024:01:02 03:04:05"}, {"ExifExposure", "0.0080"}, {"ExifAperture", "2.8000"},
        {"ExifIsoEquivalent", "100"}, {"ExifFlash", "Yes"},
    };
    for (const auto& e : expected) {
        KwBstr name = KwBstr::FromNarrow(e.first, CP_UTF8);
        VARIANT value;
        VariantInit(&value);
        HRESULT hr = collection->GetAttribute(name.Get(), nullptr, &value);
        std::string text = SUCCEEDED(hr) && value.vt == VT_BSTR ? KwNarrowText(value.bstrVal) : "(" + KwHex(hr) + ")";
        EXPECT_EQ(text, e.second) << e.first;
        VariantClear(&value);
    }
    KwBstr metering = KwBstr::FromNarrow("ExifMetering", CP_UTF8);
    VARIANT value;
    VariantInit(&value);
    HRESULT hr = collection->GetAttribute(metering.Get(), nullptr, &value);
    EXPECT_TRUE(FAILED(hr) || value.vt == VT_EMPTY) << "no ExifMetering without the tag";
    VariantClear(&value);
}

class ProgressEvents : public RegisteredFilters, public ::testing::WithParamInterface<ULONG> {};

TEST_P(ProgressEvents, EveryFewRowsUntilTheSinkAborts)
{
    const ULONG abortAt = GetParam();
    TestJpeg::Options options;
    options.Kind = TestJpeg::Gray;
    options.Width = 16;
    options.Height = 200;
    TestJpeg::Bytes file = TestJpeg::Make(options);
    std::string what = abortAt ? "abort at the second event" : "no abort";
    KwComPtr<IKwFilter> filter;
    HRESULT hr = CreateByProgId(L"KwFilter_JPEG.KwFilterJPEG", filter.Receive());
    ASSERT_TRUE(SUCCEEDED(hr)) << what << ": load filter created -- " << KwHex(hr);
    KwComPtr<KwHostEventSink> sink;
    KwHostEventSink::Create(sink.Receive(), engine.Context());
    sink->AbortAt(abortAt);
    hr = sink->Connect(filter.Get());
    ASSERT_EQ(KwHex(hr), KwHex(S_OK)) << what << ": sink advised through the connection point";
    KwComPtr<KwHostMemoryStream> stream;
    engine.CreateMemoryStream(file.data(), file.size(), stream.Receive());
    KwHostLoadResult result;
    hr = KwHostLoad(engine, filter.Get(), stream.Get(), "tall.jpg", &result);
    std::vector<LONG> expected = abortAt ? std::vector<LONG>{32, 64} : std::vector<LONG>{32, 64, 96};
    EXPECT_EQ(KwHex(hr), KwHex(abortAt ? E_ABORT : S_OK)) << what << ": GetNode result";
    EXPECT_TRUE(sink->ProgressValues() == expected)
        << what << ": Progress after every 64th row -- " << sink->ProgressValues().size() << " events";
    EXPECT_EQ(KwHex(sink->Disconnect(filter.Get())), KwHex(S_OK)) << what << ": sink unadvised";
}

INSTANTIATE_TEST_SUITE_P(Registered, ProgressEvents, ::testing::Values(0u, 2u),
                         [](const ::testing::TestParamInfo<ULONG>& info) {
                             return std::string(info.param ? "AbortAtTheSecondEvent" : "NoAbort");
                         });

// A 33x19 gradient saved through a save filter created by ProgID.
struct KwSavedGradient {
    KwHostImage image = KwHostImage::Make(33, 19, 24);
    TestJpeg::Bytes file;
};

void SaveGradient(KwHostEngine& engine, KwSavedGradient& saved)
{
    KwHostImage& image = saved.image;
    for (LONG y = 0; y < image.Height; ++y)
        for (LONG x = 0; x < image.Width; ++x) {
            unsigned char* p = image.Row(y) + x * 3;
            p[0] = static_cast<unsigned char>(40 + 5 * x);    // blue
            p[1] = static_cast<unsigned char>(30 + 9 * y);    // green
            p[2] = static_cast<unsigned char>(200 - 4 * x);   // red
        }
    KwComPtr<IKwFilterSave> filter;
    HRESULT hr = CreateByProgId(L"KwFilter_JPEG.KwFilterSaveJPEG", filter.Receive());
    ASSERT_TRUE(SUCCEEDED(hr)) << "save filter created by ProgID -- " << KwHex(hr);
    KwComPtr<KwHostMemoryStream> output;
    engine.CreateMemoryStream(nullptr, 0, output.Receive());
    KwHostSaveDriver driver(engine.Context());
    hr = driver.Save(filter.Get(), output.Get(), image);
    ASSERT_EQ(KwHex(hr), KwHex(S_OK)) << "the save walk succeeds " << driver.FailedStep();
    saved.file = output->Bytes();
}

TEST_F(RegisteredFilters, SavesABaselineJfifFile)
{
    KwSavedGradient saved;
    ASSERT_NO_FATAL_FAILURE(SaveGradient(engine, saved));
    const TestJpeg::Bytes& file = saved.file;
    const KwHostImage& image = saved.image;
    EXPECT_TRUE(file.size() > 20 && file[0] == 0xFF && file[1] == 0xD8 && file[2] == 0xFF && file[3] == 0xE0 &&
                std::equal(file.begin() + 6, file.begin() + 11, "JFIF"))
        << "a JFIF file";
    bool baseline = false, progressive = false;
    for (size_t i = 0; i + 1 < file.size(); ++i) {
        baseline |= file[i] == 0xFF && file[i + 1] == 0xC0;
        progressive |= file[i] == 0xFF && file[i + 1] == 0xC2;
    }
    EXPECT_TRUE(baseline && !progressive) << "baseline frame";
    TestJpeg::Decoded decoded = TestJpeg::Decode(file);
    ASSERT_TRUE(decoded.Ok && decoded.Width == 33 && decoded.Height == 19 && decoded.Components == 3)
        << "libjpeg reads it back at 33x19 RGB -- " << decoded.Error;
    double total = 0;
    for (LONG y = 0; y < image.Height; ++y)
        for (LONG x = 0; x < image.Width; ++x)
            for (int c = 0; c < 3; ++c) {
                int source = image.Row(y)[x * 3 + (2 - c)];  // B, G, R in the host row
                int saved = decoded.Samples[static_cast<size_t>((y * image.Width + x) * 3 + c)];
                total += std::abs(source - saved);
            }
    double mean = total / (image.Width * image.Height * 3);
    EXPECT_LT(mean, 6.0) << "pixels survive quality 75 -- mean difference " << mean;
}

TEST_F(RegisteredFilters, LoadsTheSavedFile)
{
    KwSavedGradient saved;
    ASSERT_NO_FATAL_FAILURE(SaveGradient(engine, saved));
    KwHostLoadResult result;
    KwComPtr<IKwFilter> loader;
    LoadAndCompare(engine, saved.file, "saved file", result, loader);
}

// A minimal controlling object for aggregation.
class Outer final : public IUnknown {
public:
    IUnknown* inner = nullptr;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown)) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        return inner ? inner->QueryInterface(riid, ppv) : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    ULONG refs = 1;
};

void ExpectAggregatedSaveFilter(Outer& outer)
{
    IKwFilterSave* save = nullptr;
    HRESULT hr = outer.inner->QueryInterface(IID_IKwFilterSave, reinterpret_cast<void**>(&save));
    ASSERT_TRUE(SUCCEEDED(hr) && save) << "the inner object answers IKwFilterSave";
    IUnknown* identity = nullptr;
    save->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity));
    EXPECT_EQ(identity, &outer) << "its IUnknown is the outer object's";
    if (identity) identity->Release();
    save->Release();
}

TEST(RegisteredComServer, ClassObjects)
{
    IUnknown* object = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_KwSaveStructure, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                  reinterpret_cast<void**>(&object));
    EXPECT_TRUE(FAILED(hr) && !object) << "KwSaveStructure cannot be created -- " << KwHex(hr);

    KwComPtr<IKwFilter> filter;
    hr = CreateByProgId(L"KwFilter_JPEG.KwFilterJPEG", filter.Receive());
    EXPECT_TRUE(SUCCEEDED(hr)) << "load filter created";
    if (SUCCEEDED(hr)) {
        KwComPtr<ISupportErrorInfo> info;
        KwComPtr<IConnectionPointContainer> points;
        EXPECT_TRUE(SUCCEEDED(KwQuery(filter.Get(), info.Receive())) &&
                    info->InterfaceSupportsErrorInfo(IID_IKwFilter) == S_OK &&
                    info->InterfaceSupportsErrorInfo(IID_IUnknown) == S_FALSE)
            << "ISupportErrorInfo for IKwFilter only";
        EXPECT_TRUE(SUCCEEDED(KwQuery(filter.Get(), points.Receive()))) << "a connection point container";
    }

    Outer outer;
    hr = CoCreateInstance(CLSID_KwFilterJPEG, &outer, CLSCTX_INPROC_SERVER, IID_IKwFilter,
                          reinterpret_cast<void**>(&object));
    EXPECT_EQ(KwHex(hr), KwHex(CLASS_E_NOAGGREGATION)) << "aggregation asking for IKwFilter";
    hr = CoCreateInstance(CLSID_KwFilterSaveJPEG, &outer, CLSCTX_INPROC_SERVER, IID_IUnknown,
                          reinterpret_cast<void**>(&outer.inner));
    EXPECT_TRUE(SUCCEEDED(hr) && outer.inner) << "aggregated save filter -- " << KwHex(hr);
    if (outer.inner) {
        ExpectAggregatedSaveFilter(outer);
        outer.inner->Release();
        outer.inner = nullptr;
    }
}

typedef HRESULT(STDAPICALLTYPE* CanUnloadNow)();
typedef HRESULT(STDAPICALLTYPE* GetClassObject)(REFCLSID, REFIID, void**);

// The entry point itself, as the runtime calls it.
void ExpectCachedClassObjects(GetClassObject getClassObject, CanUnloadNow canUnload)
{
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(KwHex(getClassObject(CLSID_KwSaveRasterData, IID_IClassFactory, &object)),
              KwHex(CLASS_E_CLASSNOTAVAILABLE))
        << "no class object for KwSaveRasterData";
    EXPECT_EQ(object, nullptr) << "and the out pointer is cleared";
    IClassFactory* first = nullptr;
    IClassFactory* second = nullptr;
    getClassObject(CLSID_KwFilterSaveJPEG, IID_IClassFactory, reinterpret_cast<void**>(&first));
    getClassObject(CLSID_KwFilterSaveJPEG, IID_IClassFactory, reinterpret_cast<void**>(&second));
    EXPECT_TRUE(first && first == second) << "the class object is cached";
    if (first) first->Release();
    if (second) second->Release();
    EXPECT_EQ(KwHex(canUnload()), KwHex(S_OK)) << "cached class objects do not hold the library";
}

TEST(RegisteredComServer, LockCount)
{
    // COM loads the library for the first object it makes; it stays until the runtime frees unused libraries.
    KwComPtr<IKwFilterSave> filter;
    CreateByProgId(L"KwFilter_JPEG.KwFilterSaveJPEG", filter.Receive());
    filter.Reset();
    HMODULE module = GetModuleHandleW(L"KwFilter_JPEG.dll");
    CanUnloadNow canUnload = module ? reinterpret_cast<CanUnloadNow>(reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow"))) : nullptr;
    ASSERT_TRUE(canUnload != nullptr) << "the library was loaded by COM";
    EXPECT_EQ(KwHex(canUnload()), KwHex(S_OK)) << "DllCanUnloadNow once everything is released";

    CreateByProgId(L"KwFilter_JPEG.KwFilterSaveJPEG", filter.Receive());
    EXPECT_EQ(KwHex(canUnload()), KwHex(S_FALSE)) << "not while a filter lives";
    filter.Reset();
    EXPECT_EQ(KwHex(canUnload()), KwHex(S_OK)) << "again after its release";

    auto getClassObject =
        reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    EXPECT_TRUE(getClassObject != nullptr) << "DllGetClassObject is exported";
    if (getClassObject) ExpectCachedClassObjects(getClassObject, canUnload);

    KwComPtr<IClassFactory> factory;
    HRESULT hr = CoGetClassObject(CLSID_KwFilterJPEG, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                  reinterpret_cast<void**>(factory.Receive()));
    EXPECT_TRUE(SUCCEEDED(hr)) << "class object of the load filter";
    if (SUCCEEDED(hr)) {
        factory->LockServer(TRUE);
        EXPECT_EQ(KwHex(canUnload()), KwHex(S_FALSE)) << "not while locked";
        factory->LockServer(FALSE);
        factory.Reset();
        EXPECT_EQ(KwHex(canUnload()), KwHex(S_OK)) << "again after unlocking";
    }
}

}  // namespace
