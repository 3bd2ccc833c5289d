#include "CKwFilterJPEG.h"

#include <cstdio> // before jpeglib.h, which needs FILE and size_t
#include <cstring>

#include <jpeglib.h>

#include "JpegSectionReader.h"
#include "JpegStreamSource.h"
#include "KwAutomation.h"
#include "KwExifAttributes.h"
#include "KwLoadErrorManager.h"
#include "KwMemory.h"
#include "KwRowConversion.h"

namespace {

const LONG ProgressInterval = 64;
const LONG GrayColors = 256;
// Resolution of a file that gives none.
const double DefaultLpi = 96.0;

// Sets one attribute on a host node or document; the host's answer is not needed.
HRESULT PutNamed(IKwAttributeGroup* target, const OLECHAR* name, const VARIANT& value, LONG type) noexcept
{
    KwBstr bstrName = KwMakeBstr(name);
    if (!bstrName.ok()) return E_OUTOFMEMORY;
    target->PutAttribute(bstrName.Get(), value, type);
    return S_OK;
}

bool SetText(KwVariant& value, const OLECHAR* text) noexcept
{
    value.SetBstr(KwAllocString(text));
    return value.bstrVal != nullptr;
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
      m_StorageName(), m_ExifFound(0), m_Busy(false)
{
}

// Members go in reverse order of declaration: m_Contents, m_Document, m_Stream,
// m_DataObject; the base then releases the sinks still connected.
CKwFilterJPEG::~CKwFilterJPEG() = default;

LONG CKwFilterJPEG::InputSize() const noexcept { return m_FileSize; }

HRESULT CKwFilterJPEG::ReadInput(BYTE* Buffer, ULONG Count, ULONG* Read) noexcept
{
    if (!Read) return E_POINTER;
    *Read = 0;
    if (!m_Stream) return E_FAIL;
    return m_Stream->Read(Buffer, Count, Read);
}

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

    m_DataObject = KwComPtr<IKwDataObject>(DataObject);
    m_Document = KwComPtr<IKwDocument>(Document);
    // The node of an earlier document must never be loaded from this document's
    // stream: until this call succeeds, GetNode has no "Contents" to work on.
    m_Contents.Reset();

    KwComPtr<IUnknown> storage;
    DataObject->get_Storage(storage.Receive());
    m_Stream.Reset();
    if (storage) kw_query(storage.Get(), m_Stream.Receive());
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
    HRESULT hr = PutNamed(m_Document.Get(), OLESTR("DocType"), docType, 2);
    if (FAILED(hr)) return hr;

    KwVariant format;
    if (!SetText(format, OLESTR("JPEG"))) return E_OUTOFMEMORY;
    hr = PutNamed(m_Document.Get(), OLESTR("Format"), format, 0);
    if (FAILED(hr)) return hr;

    KwVariant index;
    if (!SetText(index, OLESTR("Contents"))) return E_OUTOFMEMORY;
    KwVariant type;
    type.SetI2(KW_CONTENTS);
    KwComPtr<IDispatch> child;
    m_Document->CreateChild(index, type, VARIANT_TRUE, nullptr, child.Receive());
    if (!child) return E_FAIL;
    kw_query(child.Get(), m_Contents.Receive());
    if (!m_Contents) return E_FAIL;

    KwVariant total;
    total.SetI4(1);
    return PutNamed(m_Contents.Get(), OLESTR("TotalNodes"), total, 2);
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
    if (child) kw_query(child.Get(), node.Receive());
    if (!node) return E_FAIL;

    if (created) {
        hr = PublishCreationAttributes(node.Get());
        if (FAILED(hr)) return hr;
    }
    if (NodeObject) {
        hr = kw_query(static_cast<IUnknown*>(node.Get()), NodeObject);
        if (FAILED(hr)) return hr;
    }
    if (Load == VARIANT_FALSE || loaded) return S_OK;

    m_Busy = true;
    hr = LoadNode(node.Get());
    m_Busy = false;
    return hr;
}

HRESULT CKwFilterJPEG::PublishCreationAttributes(IKwContainer* node) noexcept
{
    KwVariant nodeId;
    nodeId.SetI4(1);
    HRESULT hr = PutNamed(node, OLESTR("NodeID"), nodeId, 2);
    if (FAILED(hr)) return hr;
    KwVariant isDefault;
    isDefault.SetBool(VARIANT_TRUE);
    hr = PutNamed(node, OLESTR("Default"), isDefault, 0);
    if (FAILED(hr)) return hr;
    KwVariant loaded;
    loaded.SetBool(VARIANT_FALSE);
    hr = PutNamed(node, OLESTR("Loaded"), loaded, 0);
    if (FAILED(hr)) return hr;
    KwVariant compression;
    if (!SetText(compression, OLESTR("JPEG"))) return E_OUTOFMEMORY;
    return PutNamed(node, OLESTR("Compression"), compression, 2);
}

HRESULT CKwFilterJPEG::PublishCompletionAttributes(IKwContainer* node) noexcept
{
    KwVariant bits;
    bits.SetI4(m_BitsPerPixel);
    HRESULT hr = PutNamed(node, OLESTR("BitsPerPixel"), bits, 2);
    if (FAILED(hr)) return hr;
    if (m_LpiX != 0) {
        KwVariant lpi;
        lpi.SetR8(m_LpiX);
        hr = PutNamed(node, OLESTR("LpiX"), lpi, 0);
        if (FAILED(hr)) return hr;
    }
    if (m_LpiY != 0) {
        KwVariant lpi;
        lpi.SetR8(m_LpiY);
        hr = PutNamed(node, OLESTR("LpiY"), lpi, 0);
        if (FAILED(hr)) return hr;
    }
    KwVariant loaded;
    loaded.SetBool(VARIANT_TRUE);
    hr = PutNamed(node, OLESTR("Loaded"), loaded, 2);
    if (FAILED(hr)) return hr;
    if (m_ExifFound) {
        KwVariant format;
        if (!SetText(format, OLESTR("JPEG (Exif)"))) return E_OUTOFMEMORY;
        hr = PutNamed(m_Document.Get(), OLESTR("Format"), format, 0);
    }
    return hr;
}

HRESULT CKwFilterJPEG::LoadNode(IKwContainer* node) noexcept
{
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
    }
    SeekToStart(m_Stream.Get());

    KwVariant rasterIndex;
    if (!SetText(rasterIndex, OLESTR(""))) return E_OUTOFMEMORY;
    KwVariant rasterType;
    rasterType.SetI2(KW_RASTER_BLOCK);
    KwComPtr<IDispatch> rasterChild;
    node->CreateChild(rasterIndex, rasterType, VARIANT_FALSE, nullptr, rasterChild.Receive());
    KwComPtr<IKwRasterBlock> raster;
    if (rasterChild) kw_query(rasterChild.Get(), raster.Receive());
    if (!raster) return E_FAIL;

    // The decompressor and its error manager live here; the codec calls that may
    // jump out run in KwLoadErrorManager's wrappers, so this frame is never skipped.
    KwLoadErrorManager errors;
    jpeg_decompress_struct cinfo;
    std::memset(&cinfo, 0, sizeof(cinfo));
    errors.Attach(&cinfo);
    HRESULT hr = E_FAIL;
    if (KwLoadErrorManager::CreateDecompress(&cinfo)) hr = Decode(&cinfo, raster.Get());
    jpeg_destroy_decompress(&cinfo);
    if (FAILED(hr)) return hr;

    hr = PublishCompletionAttributes(node);
    if (FAILED(hr)) return hr;
    return raster->EndObject();
}

void CKwFilterJPEG::ApplyResolution(const jpeg_decompress_struct* cinfo) noexcept
{
    switch (cinfo->density_unit) {
    case 0: // aspect ratio only; a density above 10 is taken as dots per inch
    case 1: // dots per inch
        if (cinfo->X_density > 10) m_LpiX = cinfo->X_density;
        if (cinfo->Y_density > 10) m_LpiY = cinfo->Y_density;
        break;
    case 2: // dots per centimetre
        if (cinfo->X_density != 0) m_LpiX = cinfo->X_density * 2.54;
        if (cinfo->Y_density != 0) m_LpiY = cinfo->Y_density * 2.54;
        break;
    default:
        break;
    }
}

// Reads the header, creates the raster storage and hands every row to the host.
// S_OK when all rows went over and the decompressor finished; E_ABORT when a
// sink stopped the load.
HRESULT CKwFilterJPEG::Decode(jpeg_decompress_struct* cinfo, IKwRasterBlock* raster) noexcept
{
    if (!KwLoadErrorManager::InstallSource(cinfo, this)) return E_FAIL;
    if (!KwLoadErrorManager::ReadHeader(cinfo)) return E_FAIL;
    if (cinfo->image_width == 0 || cinfo->image_height == 0) return E_FAIL;
    // Keeps the stride and the progress value within 32-bit arithmetic (the codec's own limit is far lower).
    if (cinfo->image_width > 0x7FFFFFFFu / 32 || cinfo->image_height > 0x7FFFFFFFu / 100) return E_FAIL;

    m_Width = static_cast<LONG>(cinfo->image_width);
    m_Height = static_cast<LONG>(cinfo->image_height);
    const bool gray = cinfo->out_color_space == JCS_GRAYSCALE;
    const bool cmyk = cinfo->out_color_space == JCS_CMYK;
    m_BitsPerPixel = gray ? 8 : 24;
    const LONG stride = ((m_Width * m_BitsPerPixel + 31) / 32) * 4;
    // Only gray, RGB and CMYK have a layout of ours (two components, or five and
    // more, decode to no colour space the host could take).
    const int components = gray ? 1 : cmyk ? 4 : cinfo->out_color_space == JCS_RGB ? 3 : 0;
    if (components == 0) return E_FAIL;

    cinfo->dct_method = JDCT_IFAST;
    cinfo->dither_mode = JDITHER_NONE;
    cinfo->quantize_colors = FALSE;
    // Where the codec can write the host's B, G, R itself, its rows go to the
    // host as they are; the samples are the same, only their order differs.
    bool rowsAsDecoded = gray;
#ifdef JCS_EXTENSIONS
    if (cinfo->out_color_space == JCS_RGB) {
        cinfo->out_color_space = JCS_EXT_BGR;
        rowsAsDecoded = true;
    }
#endif
    if (!KwLoadErrorManager::StartDecompress(cinfo)) return E_FAIL;
    // The decode buffer is sized from what the codec will write.
    if (cinfo->output_components != components || cinfo->output_width != cinfo->image_width ||
        cinfo->output_height != cinfo->image_height)
        return E_FAIL;
    const std::size_t decodedRowSize = static_cast<std::size_t>(m_Width) * static_cast<std::size_t>(components);

    KwBstr compression = KwMakeBstr(OLESTR("JPEG"));
    if (!compression.ok()) return E_OUTOFMEMORY;
    HRESULT hr;
    if (gray) {
        KwBuffer<LONG> palette = KwAllocateBuffer<LONG>(GrayColors);
        if (!palette) return E_OUTOFMEMORY;
        for (LONG i = 0; i < GrayColors; ++i) palette[i] = i | (i << 8) | (i << 16);
        hr = raster->CreateRasterStorage(m_Width, m_Height, 8, 0, 0, compression.Get(), GrayColors, palette.get());
    } else {
        hr = raster->CreateRasterStorage(m_Width, m_Height, 24, 0, 0, compression.Get(), 0, nullptr);
    }
    if (FAILED(hr)) return hr;

    // Decode rows are at least a host row long and zeroed once: rows that need
    // no conversion reach the host with their padding already zero. The host
    // row buffer is only needed where a conversion writes the host's row.
    const int bufferRows = cinfo->rec_outbuf_height > 0 ? cinfo->rec_outbuf_height : 1;
    const std::size_t rowSize =
        decodedRowSize > static_cast<std::size_t>(stride) ? decodedRowSize : static_cast<std::size_t>(stride);
    // Zero-filled, so that no stale heap bytes reach the host.
    KwBuffer<unsigned char> hostRow;
    if (!rowsAsDecoded) hostRow = KwAllocateZeroedBuffer<unsigned char>(static_cast<std::size_t>(stride));
    KwBuffer<unsigned char> decodeRows = KwAllocateZeroedBuffer<unsigned char>(rowSize * static_cast<std::size_t>(bufferRows));
    KwBuffer<JSAMPROW> rowPointers = KwAllocateBuffer<JSAMPROW>(static_cast<std::size_t>(bufferRows));
    if ((!rowsAsDecoded && !hostRow) || !decodeRows || !rowPointers) return E_OUTOFMEMORY;
    for (int i = 0; i < bufferRows; ++i) rowPointers[i] = decodeRows.get() + rowSize * static_cast<std::size_t>(i);

    ApplyResolution(cinfo);

    const bool adobe = cinfo->saw_Adobe_marker != FALSE;
    LONG delivered = 0;
    VARIANT_BOOL abort = VARIANT_FALSE;
    hr = S_OK;
    while (cinfo->output_scanline < cinfo->output_height && !abort) {
        JDIMENSION count = 0;
        if (!KwLoadErrorManager::ReadScanlines(cinfo, rowPointers.get(), static_cast<JDIMENSION>(bufferRows), &count) ||
            count == 0) {
            // A fatal error, or a codec that stopped giving rows (it would loop forever).
            hr = E_FAIL;
            break;
        }
        for (JDIMENSION r = 0; r < count && r < static_cast<JDIMENSION>(bufferRows); ++r) {
            if (rowsAsDecoded) {
                raster->AddScanline1(gray ? KW_RASTER_INDEX_8 : KW_RASTER_RGB, delivered, 1, stride, rowPointers[r]);
            } else {
                if (cmyk) KwConvertCmykRow(rowPointers[r], hostRow.get(), m_Width, adobe);
                else KwConvertRgbRow(rowPointers[r], hostRow.get(), m_Width);
                raster->AddScanline1(KW_RASTER_RGB, delivered, 1, stride, hostRow.get());
            }
            ++delivered;
            if (delivered % ProgressInterval == 0) {
                m_Events.Fire_Progress(delivered * 100 / m_Height, &abort);
                if (abort) break;
            }
        }
    }
    if (FAILED(hr)) return hr;
    // Finishing with rows unread is a fatal codec error: an aborted decode is only destroyed.
    if (abort) return E_ABORT;
    if (!KwLoadErrorManager::FinishDecompress(cinfo)) return E_FAIL;
    return S_OK;
}
