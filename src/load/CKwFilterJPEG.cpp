#include "CKwFilterJPEG.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "metadata/JpegSectionReader.h"
#include "com/KwAutomation.h"
#include "codec/KwDecodeSession.h"
#include "KwExifAttributes.h"
#include "com/KwMemory.h"

namespace {

const LONG ProgressInterval = 64;
const LONG GrayColors = 256;
// Resolution of a file that gives none.
const double DefaultLpi = 96.0;

// Sets one attribute on a host node or document; the host's answer is not needed.
template <class Target>
HRESULT PutNamed(Target* target, const OLECHAR* name, const VARIANT& value, LONG type) noexcept
{
    KwBstr bstrName = KwMakeBstr(name);
    if (!bstrName.Ok()) return E_OUTOFMEMORY;
    target->PutAttribute(bstrName.Get(), value, type);
    return S_OK;
}

bool SetText(KwVariant& value, const OLECHAR* text) noexcept
{
    value.SetBstr(KwAllocString(text));
    return value.bstrVal != nullptr;
}

// The profile's bytes as a host keeps them: VT_ARRAY | VT_UI1, lower bound 0.
// Left empty when there is no profile; VT_ARRAY | VT_UI1 with no array when
// the copy cannot be had.
void ProfileToVariant(const KwIccProfile& profile, KwVariant& value) noexcept
{
    value.Clear();
    if (profile.Empty()) return;
    SAFEARRAY* bytes = SafeArrayCreateVector(VT_UI1, 0, profile.Size());
    void* data = nullptr;
    if (bytes && SUCCEEDED(SafeArrayAccessData(bytes, &data))) {
        std::memcpy(data, profile.Data(), profile.Size());
        SafeArrayUnaccessData(bytes);
    } else if (bytes) {
        SafeArrayDestroy(bytes);
        bytes = nullptr;
    }
    value.SetArray(VT_UI1, bytes);
}

void SeekToStart(IStream* stream) noexcept
{
    LARGE_INTEGER origin;
    origin.QuadPart = 0;
    stream->Seek(origin, STREAM_SEEK_SET, nullptr);
}

} // namespace

CKwFilterJPEG::CKwFilterJPEG() noexcept
    : m_Width(0), m_Height(0), m_BitsPerPixel(0), m_LpiX(DefaultLpi), m_LpiY(DefaultLpi), m_FileSize(0),
      m_StorageName(), m_ExifFound(0), m_Orientation(0), m_Damage(), m_Busy(false)
{
}

// Members go in reverse order of declaration: m_Contents, m_Document, m_Stream,
// m_DataObject; the base then releases the sinks still connected.
CKwFilterJPEG::~CKwFilterJPEG() = default;

// ---------------------------------------------------------------- OpenDocument

HRESULT STDMETHODCALLTYPE CKwFilterJPEG::OpenDocument(IKwDataObject* DataObject, IKwDocument* Document,
                                                      IKwFilters* /*Filters*/) noexcept
{
    if (!DataObject) return E_POINTER;
    if (!Document) return E_POINTER;
    // A Progress sink must not swap the stream that the running decode reads.
    if (m_Busy) return E_UNEXPECTED;

    // Each document starts from what a new object knows: an earlier file's
    // resolution or EXIF must not describe this one. The storage name is the
    // exception: it stays when the host cannot give a new one.
    m_Width = 0;
    m_Height = 0;
    m_BitsPerPixel = 0;
    m_LpiX = DefaultLpi;
    m_LpiY = DefaultLpi;
    m_FileSize = 0;
    m_ExifFound = 0;
    m_Orientation = 0;
    m_Damage[0] = '\0';
    m_Profile.Clear();

    m_DataObject = KwComPtr<IKwDataObject>(DataObject);
    m_Document = KwComPtr<IKwDocument>(Document);
    // The node of an earlier document must never be loaded from this document's
    // stream: until this call succeeds, GetNode has no "Contents" to work on.
    m_Contents.Reset();

    KwComPtr<IUnknown> storage;
    DataObject->get_Storage(storage.Receive());
    m_Stream.Reset();
    if (storage) KwQuery(storage.Get(), m_Stream.Receive());
    if (!m_Stream) return E_FAIL;

    HRESULT hr = TakeStorageName();
    if (FAILED(hr)) return hr;
    if (!AcceptStream()) return E_FAIL;
    return DescribeDocument();
}

HRESULT CKwFilterJPEG::TakeStorageName() noexcept
{
    KwBstr name;
    if (FAILED(m_DataObject->get_StorageName(name.Receive()))) return S_OK; // the earlier name stays
    const UINT length = name.Length();
    if (length == 0) {
        std::strcpy(m_StorageName, "stream.jpg");
    } else {
        // Only the tail of a long name can fit; it holds the extension the test
        // looks for. Each character gives at least one byte, so converting the
        // last StorageNameSize characters is enough to fill the buffer.
        const UINT take = length > static_cast<UINT>(StorageNameSize) ? static_cast<UINT>(StorageNameSize) : length;
        const OLECHAR* tail = name.Get() + (length - take);
        char narrow[StorageNameSize * 4];
        int size = WideCharToMultiByte(CP_THREAD_ACP, 0, tail, static_cast<int>(take), nullptr, 0, nullptr, nullptr);
        if (size <= 0 || size > static_cast<int>(sizeof(narrow))) {
            m_StorageName[0] = '\0';
        } else {
            size = WideCharToMultiByte(CP_THREAD_ACP, 0, tail, static_cast<int>(take), narrow, size, nullptr, nullptr);
            if (size < 0) size = 0;
            const int keep = size < StorageNameSize - 1 ? size : StorageNameSize - 1;
            std::memcpy(m_StorageName, narrow + (size - keep), static_cast<std::size_t>(keep));
            m_StorageName[keep] = '\0';
        }
    }
    for (char* p = m_StorageName; *p; ++p)
        if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
    return S_OK;
}

bool CKwFilterJPEG::AcceptStream() noexcept
{
    unsigned char header[HeaderSize] = {};
    ULONG got = 0;
    m_Stream->Read(header, HeaderSize, &got);
    if (got < HeaderSize) return false;

    STATSTG stat;
    std::memset(&stat, 0, sizeof(stat));
    HRESULT hr = m_Stream->Stat(&stat, STATFLAG_NONAME);
    if (stat.pwcsName) CoTaskMemFree(stat.pwcsName);
    if (FAILED(hr)) {
        // Without a size the source cannot tell where the data ends.
        m_FileSize = 0;
        return false;
    }
    m_FileSize = static_cast<LONG>(stat.cbSize.LowPart);
    // The source counts bytes in 32-bit signed arithmetic; larger streams are not ours to read.
    if (stat.cbSize.QuadPart > 0x7FFFFFFFull) return false;

    if (header[0] != 0xFF || header[1] != 0xD8) return false;
    const LONG segmentLength = (static_cast<LONG>(header[4]) << 8) | header[5];
    if (segmentLength > m_FileSize) return false;

    bool accepted = std::strstr(m_StorageName, ".JPG") || std::strstr(m_StorageName, ".JPEG");
    if (!accepted) {
        char identifier[HeaderSize - 6 + 1];
        std::memcpy(identifier, header + 6, HeaderSize - 6);
        identifier[HeaderSize - 6] = '\0';
        accepted = std::strstr(identifier, "Photoshop") != nullptr;
    }
    // Byte 11: the major version of a JFIF segment, a zero byte after "Exif".
    if (!accepted) accepted = header[11] <= 2;
    if (!accepted) return false;
    m_Width = 0;
    m_Height = 0;
    return true;
}

HRESULT CKwFilterJPEG::DescribeDocument() noexcept
{
    KwVariant docType;
    docType.SetI4(2);
    HRESULT hr = PutNamed(m_Document.Get(), OLESTR("DocType"), docType, AttributeTypeInfo);
    if (FAILED(hr)) return hr;

    KwVariant format;
    if (!SetText(format, OLESTR("JPEG"))) return E_OUTOFMEMORY;
    hr = PutNamed(m_Document.Get(), OLESTR("Format"), format, AttributeTypePlain);
    if (FAILED(hr)) return hr;

    KwVariant index;
    if (!SetText(index, OLESTR("Contents"))) return E_OUTOFMEMORY;
    KwVariant type;
    type.SetI2(KW_CONTENTS);
    KwComPtr<IDispatch> child;
    m_Document->CreateChild(index, type, VARIANT_TRUE, nullptr, child.Receive());
    if (!child) return E_FAIL;
    KwQuery(child.Get(), m_Contents.Receive());
    if (!m_Contents) return E_FAIL;

    KwVariant total;
    total.SetI4(1);
    return PutNamed(m_Contents.Get(), OLESTR("TotalNodes"), total, AttributeTypeInfo);
}

// ---------------------------------------------------------------- GetNode

HRESULT STDMETHODCALLTYPE CKwFilterJPEG::GetNode(VARIANT NodeSpec, VARIANT_BOOL Load, IDispatch** NodeObject) noexcept
{
    if (NodeObject) *NodeObject = nullptr;
    // A Progress sink may let go of the host's last reference; the object must
    // outlive the decode that called the sink.
    KwComPtr<IKwFilter> keepAlive(static_cast<IKwFilter*>(this));
    // Called from a Progress sink of a running load: the stream and the node
    // belong to that load until it returns.
    if (m_Busy) return E_UNEXPECTED;

    LONG kind = 0;
    LONG index = 0;
    HRESULT hr = ParseNodeSpec(NodeSpec, &kind, &index);
    if (FAILED(hr)) return hr;
    if (kind != NodeByIndex) index = 1;
    if (index != 1) return E_FAIL;
    if (!m_Contents) return E_FAIL;

    KwVariant childIndex;
    childIndex.SetI4(index);
    bool created = false;
    bool loaded = false;
    KwComPtr<IDispatch> child;
    // Only running out of memory counts here; otherwise what counts is the child handed back.
    hr = GetOrCreateChild(m_Contents.Get(), childIndex, KW_CONTAINER, &created, &loaded, child.Receive());
    if (hr == E_OUTOFMEMORY) return hr;
    KwComPtr<IKwContainer> node;
    if (child) KwQuery(child.Get(), node.Receive());
    if (!node) return E_FAIL;

    if (created) {
        hr = PublishAttributes(Stage::NodeCreated, node.Get());
        if (FAILED(hr)) return hr;
    }
    if (NodeObject) {
        hr = KwQuery(static_cast<IUnknown*>(node.Get()), NodeObject);
        if (FAILED(hr)) return hr;
    }
    if (Load == VARIANT_FALSE || loaded) return S_OK;

    m_Busy = true;
    hr = LoadNode(node.Get());
    m_Busy = false;
    return hr;
}

// One attribute the load publishes: when, on what, its name and type, and how
// its value is made from the filter's state. A value left empty is not
// published (the file has none); a text that could not be had is out of memory.
struct CKwFilterJPEG::PublishedAttribute {
    Stage When;
    bool OnDocument;
    const OLECHAR* Name;
    LONG Type;
    void (*Value)(const CKwFilterJPEG& filter, KwVariant& value) noexcept;
};

HRESULT CKwFilterJPEG::PublishAttributes(Stage stage, IKwContainer* node) noexcept
{
    using Filter = const CKwFilterJPEG&;
    const bool OnNode = false, OnDocument = true;
    // In the order they are published.
    static const PublishedAttribute attributes[] = {
        {Stage::NodeCreated, OnNode, OLESTR("NodeID"), AttributeTypeInfo,
         [](Filter, KwVariant& v) noexcept { v.SetI4(1); }},
        {Stage::NodeCreated, OnNode, OLESTR("Default"), AttributeTypePlain,
         [](Filter, KwVariant& v) noexcept { v.SetBool(VARIANT_TRUE); }},
        {Stage::NodeCreated, OnNode, OLESTR("Loaded"), AttributeTypePlain,
         [](Filter, KwVariant& v) noexcept { v.SetBool(VARIANT_FALSE); }},
        {Stage::NodeCreated, OnNode, OLESTR("Compression"), AttributeTypeInfo,
         [](Filter, KwVariant& v) noexcept { v.SetBstr(KwAllocString(OLESTR("JPEG"))); }},
        {Stage::ImageLoaded, OnNode, OLESTR("BitsPerPixel"), AttributeTypeInfo,
         [](Filter f, KwVariant& v) noexcept { v.SetI4(f.m_BitsPerPixel); }},
        {Stage::ImageLoaded, OnNode, OLESTR("LpiX"), AttributeTypePlain,
         [](Filter f, KwVariant& v) noexcept { if (f.m_LpiX != 0) v.SetR8(f.m_LpiX); }},
        {Stage::ImageLoaded, OnNode, OLESTR("LpiY"), AttributeTypePlain,
         [](Filter f, KwVariant& v) noexcept { if (f.m_LpiY != 0) v.SetR8(f.m_LpiY); }},
        {Stage::ImageLoaded, OnNode, OLESTR("Loaded"), AttributeTypeInfo,
         [](Filter, KwVariant& v) noexcept { v.SetBool(VARIANT_TRUE); }},
        {Stage::ImageLoaded, OnDocument, OLESTR("Format"), AttributeTypePlain,
         [](Filter f, KwVariant& v) noexcept { if (f.m_ExifFound) v.SetBstr(KwAllocString(OLESTR("JPEG (Exif)"))); }},
        // Beyond the attributes every load publishes: only for a file that has them.
        {Stage::ImageLoaded, OnNode, OLESTR("Orientation"), AttributeTypePlain,
         [](Filter f, KwVariant& v) noexcept { if (f.m_Orientation != 0) v.SetI4(f.m_Orientation); }},
        {Stage::ImageLoaded, OnNode, OLESTR("ICCProfile"), AttributeTypePlain,
         [](Filter f, KwVariant& v) noexcept { ProfileToVariant(f.m_Profile, v); }},
        {Stage::ImageLoaded, OnNode, OLESTR("Damage"), AttributeTypeInfo,
         [](Filter f, KwVariant& v) noexcept { if (f.m_Damage[0] != '\0') v.SetBstr(KwNarrowToBstr(f.m_Damage)); }},
    };
    for (const PublishedAttribute& attribute : attributes) {
        if (attribute.When != stage) continue;
        KwVariant value;
        attribute.Value(*this, value);
        if (value.vt == VT_EMPTY) continue;
        if (value.vt == VT_BSTR && !value.bstrVal) return E_OUTOFMEMORY;
        if ((value.vt & VT_ARRAY) && !value.parray) return E_OUTOFMEMORY;
        const HRESULT hr = attribute.OnDocument ? PutNamed(m_Document.Get(), attribute.Name, value, attribute.Type)
                                                : PutNamed(node, attribute.Name, value, attribute.Type);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT CKwFilterJPEG::LoadNode(IKwContainer* node) noexcept
{
    m_Damage[0] = '\0';
    m_Profile.Clear();
    SeekToStart(m_Stream.Get());
    {
        JpegMetadata metadata;
        std::memset(&metadata, 0, sizeof(metadata));
        JpegSectionReader reader(&metadata);
        reader.ReadSections(m_Stream.Get());
        if (metadata.HasExif) {
            HRESULT hr = KwPublishExifAttributes(m_Document.Get(), metadata);
            if (hr == S_OK) m_ExifFound = 1;
            else if (hr == E_OUTOFMEMORY) return hr;
        }
        const bool oriented = metadata.HasExif && metadata.Orientation >= 1 && metadata.Orientation <= 8;
        m_Orientation = oriented ? metadata.Orientation : 0;
        // The start of the resolution rule: a usable JFIF density still wins.
        if (metadata.HasExif) KwApplyExifResolution(metadata, &m_LpiX, &m_LpiY);
    }
    SeekToStart(m_Stream.Get());

    KwVariant rasterIndex;
    if (!SetText(rasterIndex, OLESTR(""))) return E_OUTOFMEMORY;
    KwVariant rasterType;
    rasterType.SetI2(KW_RASTER_BLOCK);
    KwComPtr<IDispatch> rasterChild;
    node->CreateChild(rasterIndex, rasterType, VARIANT_FALSE, nullptr, rasterChild.Receive());
    KwComPtr<IKwRasterBlock> raster;
    if (rasterChild) KwQuery(rasterChild.Get(), raster.Receive());
    if (!raster) return E_FAIL;

    HRESULT hr = Decode(raster.Get());
    if (FAILED(hr)) return hr;

    hr = PublishAttributes(Stage::ImageLoaded, node);
    if (FAILED(hr)) return hr;
    return raster->EndObject();
}

// Decodes the image into the host's raster block, firing a progress event every
// ProgressInterval rows, and now and then while the scans of a multi-scan file
// are read. S_OK when all rows went over; E_ABORT when a sink stopped the load.
HRESULT CKwFilterJPEG::Decode(IKwRasterBlock* raster) noexcept
{
    KwDecodeSession session;
    HRESULT hr = session.Open(m_Stream.Get(), m_FileSize);
    if (FAILED(hr)) return hr;
    m_Width = session.Width();
    m_Height = session.Height();
    m_BitsPerPixel = session.BitsPerPixel();
    m_Profile = std::move(session.Profile());

    // The host's consent comes before the codec's work: the header has told
    // the size, and a refusal must cost no scan and no whole-image memory.
    hr = CreateStorage(raster);
    if (FAILED(hr)) return hr;
    hr = session.Start(AskToGoOn, this);
    if (FAILED(hr)) return hr;
    session.ApplyResolution(&m_LpiX, &m_LpiY);

    const KW_RASTER_TYPE rowType = m_BitsPerPixel == 8 ? KW_RASTER_INDEX_8 : KW_RASTER_RGB;
    const LONG stride = session.Stride();
    LONG delivered = 0;
    VARIANT_BOOL abort = VARIANT_FALSE;
    unsigned char* row = nullptr;
    while ((hr = session.NextRow(&row)) == S_OK) {
        raster->AddScanline1(rowType, delivered, 1, stride, row);
        ++delivered;
        if (delivered % ProgressInterval == 0) {
            m_Events.Fire_Progress(delivered * 100 / m_Height, &abort);
            // The session ends the codec's work unfinished: it only destroys the decompressor.
            if (abort) return E_ABORT;
        }
    }
    if (FAILED(hr)) return hr;
    // Every row is with the host now: what the codec meets after the last row
    // (a marker cut off behind the final scan, a second frame header) leaves
    // the image whole; the session counts it as damage.
    session.Finish();
    if (session.DamageCount() == 1)
        std::snprintf(m_Damage, sizeof(m_Damage), "%s", session.Damage());
    else if (session.DamageCount() > 1)
        std::snprintf(m_Damage, sizeof(m_Damage), "%s (%d warnings)", session.Damage(), session.DamageCount());
    return S_OK;
}

// Asked while the codec reads the scans, before any row exists: a progress
// event of 0, whose abort answer stops the decode.
bool CKwFilterJPEG::AskToGoOn(void* context) noexcept
{
    CKwFilterJPEG* filter = static_cast<CKwFilterJPEG*>(context);
    VARIANT_BOOL abort = VARIANT_FALSE;
    filter->m_Events.Fire_Progress(0, &abort);
    return abort != VARIANT_FALSE;
}

// The host's storage for the image: 8-bit rows with a gray palette, or 24-bit B, G, R rows.
HRESULT CKwFilterJPEG::CreateStorage(IKwRasterBlock* raster) noexcept
{
    KwBstr compression = KwMakeBstr(OLESTR("JPEG"));
    if (!compression.Ok()) return E_OUTOFMEMORY;
    if (m_BitsPerPixel != 8)
        return raster->CreateRasterStorage(m_Width, m_Height, 24, 0, 0, compression.Get(), 0, nullptr);
    KwBuffer<LONG> palette = KwAllocateBuffer<LONG>(GrayColors);
    if (!palette) return E_OUTOFMEMORY;
    for (LONG i = 0; i < GrayColors; ++i) palette[i] = i | (i << 8) | (i << 16);
    return raster->CreateRasterStorage(m_Width, m_Height, 8, 0, 0, compression.Get(), GrayColors, palette.get());
}
