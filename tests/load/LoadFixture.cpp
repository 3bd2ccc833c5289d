#include "LoadFixture.h"

#include <cstring>

#include "com/KwComObject.h"
#include "hostdouble/KwHostDouble.h"
#include "engine/KwHostObject.h"
#include "com/KwMemory.h"
#include "com/KwModuleLock.h"

void LoadFixture::SetUp()
{
    engine.reset(new KwHostEngine());
    context = engine->Context();
    ASSERT_TRUE(SUCCEEDED(engine->Start()));
    filter = NewFilter();
    ASSERT_TRUE(filter);
    document = NewDocument();
    ASSERT_TRUE(document);
}

void LoadFixture::TearDown()
{
    KwSetAllocationHook(nullptr);
    filter.Reset();
    dataObject.Reset();
    stream.Reset();
    document.Reset();
    engine.reset();
    context.reset();
    EXPECT_EQ(KwHostLiveObjects(), 0) << "host objects left alive";
    EXPECT_EQ(KwModuleLockCount(), 0) << "filter objects left alive";
}

KwComPtr<IKwFilter> LoadFixture::NewFilter()
{
    KwComPtr<IKwFilter> made;
    HRESULT hr = KwCreateComObject<CKwFilterJPEG>(nullptr, IID_IKwFilter, reinterpret_cast<void**>(made.Receive()));
    EXPECT_EQ(hr, S_OK);
    return made;
}

KwComPtr<KwHostDocument> LoadFixture::NewDocument()
{
    KwComPtr<KwHostDocument> made;
    EXPECT_EQ(KwHostDocument::Create(made.Receive(), context), S_OK);
    return made;
}

KwComPtr<KwHostDataObject> LoadFixture::Bind(const Bytes& file, const std::string& name,
                                             KwComPtr<KwHostMemoryStream>* streamOut)
{
    KwComPtr<KwHostMemoryStream> memory;
    EXPECT_EQ(KwHostMemoryStream::Create(file, memory.Receive(), context), S_OK);
    KwComPtr<KwHostDataObject> bound;
    EXPECT_EQ(KwHostDataObject::Create(static_cast<IStream*>(memory.Get()), name, bound.Receive(), context), S_OK);
    if (streamOut) *streamOut = memory;
    return bound;
}

HRESULT LoadFixture::Open(const Bytes& file, const std::string& name)
{
    dataObject = Bind(file, name, &stream);
    return filter->OpenDocument(dataObject.Get(), document.Get(), nullptr);
}

HRESULT LoadFixture::GetNode(const VARIANT& selector, VARIANT_BOOL load, IDispatch** node)
{
    return filter->GetNode(selector, load, node);
}

void LoadFixture::OpenAndLoad(const Bytes& file, HRESULT expected)
{
    ASSERT_EQ(Open(file), S_OK);
    ASSERT_EQ(Load(), expected);
}

VARIANT LoadFixture::Empty()
{
    VARIANT v;
    VariantInit(&v);
    return v;
}

KwHostRasterBlock* LoadFixture::Raster() const
{
    KwHostNode* node = Node();
    if (!node) return nullptr;
    std::vector<KwHostRasterBlock*> blocks = node->RasterBlocks();
    return blocks.empty() ? nullptr : blocks.back();
}

size_t LoadFixture::RasterCount() const
{
    KwHostNode* node = Node();
    return node ? node->RasterBlocks().size() : 0;
}

const KwHostAttributeEntry* LoadFixture::NodeAttribute(const std::string& name) const
{
    KwHostNode* node = Node();
    return node ? node->FindAttribute(name) : nullptr;
}

const KwHostAttributeEntry* LoadFixture::DocumentAttribute(const std::string& name) const
{
    return document->FindAttribute(name);
}

std::vector<ULONG> LoadFixture::SourceReads(bool delivered) const
{
    const std::vector<KwHostCall>& calls = KwHostDouble(context).Log().Calls();
    size_t start = 0;
    for (size_t i = 0; i < calls.size(); ++i)
        if (calls[i].Method == "Seek") start = i + 1;
    std::vector<ULONG> reads;
    for (size_t i = start; i < calls.size(); ++i)
        if (calls[i].Method == "Read") reads.push_back(static_cast<ULONG>(calls[i].Args.at(delivered ? 1 : 0)));
    return reads;
}

std::vector<std::string> LoadFixture::NodePuts() const
{
    KwHostNode* node = Node();
    std::vector<std::string> names;
    if (!node) return names;
    for (const KwHostCall& call : KwHostDouble(context).Log().Calls())
        if (call.Object == KwHostLabel(node) && call.Method == "PutAttribute") names.push_back(call.Name);
    return names;
}

void LoadFixture::ExpectRowsOfReference(const Bytes& file)
{
    TestJpeg::Decoded reference = TestJpeg::Decode(file);
    ASSERT_TRUE(reference.Ok) << reference.Error;
    int stride = 0;
    Bytes expected = TestJpeg::HostRows(reference, &stride);
    KwHostRasterBlock* raster = Raster();
    ASSERT_NE(raster, nullptr);
    ASSERT_TRUE(raster->HasStorage());
    const bool gray = reference.Components == 1;
    EXPECT_EQ(raster->Width(), reference.Width);
    EXPECT_EQ(raster->Height(), reference.Height);
    EXPECT_EQ(raster->BitsPerPixel(), gray ? 8 : 24);
    ASSERT_EQ(raster->Stride(), stride);
    ASSERT_EQ(raster->RowsDelivered(), reference.Height);
    int wrongRows = 0;
    for (int y = 0; y < reference.Height; ++y) {
        const unsigned char* row = raster->Row(y);
        ASSERT_NE(row, nullptr);
        if (std::memcmp(row, expected.data() + static_cast<size_t>(y) * stride, static_cast<size_t>(stride)) != 0)
            ++wrongRows;
    }
    EXPECT_EQ(wrongRows, 0) << "rows differing from libjpeg's decode";
    // One row per call, in order, with the layout's data type and the stride.
    const std::vector<KwHostScanlineCall>& calls = KwHostScanlineCalls(raster);
    ASSERT_EQ(calls.size(), static_cast<size_t>(reference.Height));
    for (size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].DataType, gray ? KW_RASTER_INDEX_8 : KW_RASTER_RGB);
        EXPECT_EQ(calls[i].StartLine, static_cast<LONG>(i));
        EXPECT_EQ(calls[i].NoLines, 1);
        EXPECT_EQ(calls[i].BytesPerLine, stride);
    }
}
