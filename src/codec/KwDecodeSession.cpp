#include "KwDecodeSession.h"

#include <cstring>

#include "JpegStreamSource.h"
#include "KwRowConversion.h"

KwDecodeSession::KwDecodeSession() noexcept
    : m_Created(false), m_Width(0), m_Height(0), m_BitsPerPixel(0), m_Stride(0), m_Components(0), m_Cmyk(false),
      m_Adobe(false), m_RowsAsDecoded(false), m_BufferRows(0), m_RowSize(0), m_RowsRead(0), m_NextRow(0)
{
    std::memset(&m_Codec, 0, sizeof(m_Codec));
    m_Errors.Attach(&m_Codec, &m_Budget);
}

KwDecodeSession::~KwDecodeSession()
{
    // Also the codec's way to stop a decode with rows unread.
    if (m_Created) jpeg_destroy_decompress(&m_Codec);
}

HRESULT KwDecodeSession::Open(IStream* stream, LONG size) noexcept
{
    if (m_Created) return E_UNEXPECTED;
    if (!stream) return E_POINTER;
    // A failed create leaves nothing to destroy; destroying a half-made one is harmless.
    m_Created = true;
    auto create = [this]() { jpeg_create_decompress(&m_Codec); };
    if (!KwCodecGuard::Run(&m_Codec, create)) return E_FAIL;
    m_Errors.Monitor(&m_Codec);
    auto attach = [this, stream, size]() { InstallStreamSource(&m_Codec, stream, size); };
    if (!KwCodecGuard::Run(&m_Codec, attach)) return E_FAIL;
    m_ProfileChunks.Watch(&m_Codec);
    auto readHeader = [this]() { jpeg_read_header(&m_Codec, TRUE); };
    if (!KwCodecGuard::Run(&m_Codec, readHeader)) return E_FAIL;
    const HRESULT profile = m_ProfileChunks.Assemble(&m_Codec, m_Profile);
    if (FAILED(profile)) return profile;
    if (m_Codec.image_width == 0 || m_Codec.image_height == 0) return E_FAIL;
    // Keeps the stride and the progress value within 32-bit arithmetic (the codec's own limit is far lower).
    if (m_Codec.image_width > 0x7FFFFFFFu / 32 || m_Codec.image_height > 0x7FFFFFFFu / 100) return E_FAIL;

    const bool gray = m_Codec.out_color_space == JCS_GRAYSCALE;
    m_Cmyk = m_Codec.out_color_space == JCS_CMYK;
    // Only gray, RGB and CMYK have a layout of ours (two components, or five and
    // more, decode to no colour space the host could take).
    m_Components = gray ? 1 : m_Cmyk ? 4 : m_Codec.out_color_space == JCS_RGB ? 3 : 0;
    if (m_Components == 0) return E_FAIL;

    m_Width = static_cast<LONG>(m_Codec.image_width);
    m_Height = static_cast<LONG>(m_Codec.image_height);
    m_BitsPerPixel = gray ? 8 : 24;
    m_Stride = ((m_Width * m_BitsPerPixel + 31) / 32) * 4;
    return S_OK;
}

std::uint64_t KwDecodeSession::CoefficientBytes() const noexcept
{
    // As the codec lays them out: each component's blocks, rounded up to
    // whole MCUs of its sampling, 64 coefficients of two bytes a block.
    int maxH = 1, maxV = 1;
    for (int i = 0; i < m_Codec.num_components; ++i) {
        const jpeg_component_info& c = m_Codec.comp_info[i];
        if (c.h_samp_factor > maxH) maxH = c.h_samp_factor;
        if (c.v_samp_factor > maxV) maxV = c.v_samp_factor;
    }
    std::uint64_t bytes = 0;
    for (int i = 0; i < m_Codec.num_components; ++i) {
        const jpeg_component_info& c = m_Codec.comp_info[i];
        const std::uint64_t h = c.h_samp_factor > 0 ? unsigned(c.h_samp_factor) : 1u;
        const std::uint64_t v = c.v_samp_factor > 0 ? unsigned(c.v_samp_factor) : 1u;
        const std::uint64_t across = (std::uint64_t(m_Codec.image_width) * h + unsigned(maxH) * DCTSIZE - 1) /
                                     (unsigned(maxH) * DCTSIZE);
        const std::uint64_t down = (std::uint64_t(m_Codec.image_height) * v + unsigned(maxV) * DCTSIZE - 1) /
                                   (unsigned(maxV) * DCTSIZE);
        bytes += ((across + h - 1) / h * h) * ((down + v - 1) / v * v) * DCTSIZE2 * sizeof(JCOEF);
    }
    return bytes;
}

void KwDecodeSession::ApplyResolution(double* lpiX, double* lpiY) const noexcept
{
    switch (m_Codec.density_unit) {
    case 0: // aspect ratio only; a density above 10 is taken as dots per inch
    case 1: // dots per inch
        if (m_Codec.X_density > 10) *lpiX = m_Codec.X_density;
        if (m_Codec.Y_density > 10) *lpiY = m_Codec.Y_density;
        break;
    case 2: // dots per centimetre
        if (m_Codec.X_density != 0) *lpiX = m_Codec.X_density * 2.54;
        if (m_Codec.Y_density != 0) *lpiY = m_Codec.Y_density * 2.54;
        break;
    default:
        break;
    }
}

HRESULT KwDecodeSession::Start(ScanEventHandler handler, void* context) noexcept
{
    if (m_Width == 0) return E_UNEXPECTED;
    const bool gray = m_Components == 1;
    // The caller has accepted the image: the codec may take what it needs for it.
    KwDecodeErrorManager::AllowMemory(&m_Codec, CoefficientBytes());

    m_Codec.dct_method = JDCT_IFAST;
    m_Codec.dither_mode = JDITHER_NONE;
    m_Codec.quantize_colors = FALSE;
    // Where the codec can write the host's B, G, R itself, its rows go to the
    // host as they are; the samples are the same, only their order differs.
    m_RowsAsDecoded = gray;
#ifdef JCS_EXTENSIONS
    if (m_Codec.out_color_space == JCS_RGB) {
        m_Codec.out_color_space = JCS_EXT_BGR;
        m_RowsAsDecoded = true;
    }
#endif
    // A multi-scan file is read whole here, within the work bound, with the
    // handler asked now and then; a single scan is decoded row by row
    // afterwards, where the caller sees each row and may stop.
    m_Errors.ScanEvent = handler;
    m_Errors.ScanEventContext = context;
    auto start = [this]() { jpeg_start_decompress(&m_Codec); };
    const bool started = KwCodecGuard::Run(&m_Codec, start);
    m_Errors.ScanEvent = nullptr;
    if (!started) return m_Errors.FailureResult();
    // The decode buffer is sized from what the codec will write.
    if (m_Codec.output_components != m_Components || m_Codec.output_width != m_Codec.image_width ||
        m_Codec.output_height != m_Codec.image_height)
        return E_FAIL;
    m_Adobe = m_Codec.saw_Adobe_marker != FALSE;
    return S_OK;
}

HRESULT KwDecodeSession::AllocateRows() noexcept
{
    m_BufferRows = m_Codec.rec_outbuf_height > 0 ? m_Codec.rec_outbuf_height : 1;
    const std::size_t decodedRowSize = static_cast<std::size_t>(m_Width) * static_cast<std::size_t>(m_Components);
    const std::size_t stride = static_cast<std::size_t>(m_Stride);
    m_RowSize = decodedRowSize > stride ? decodedRowSize : stride;
    // Zero-filled, so that no stale heap bytes reach the host.
    if (!m_RowsAsDecoded) {
        m_HostRow = KwAllocateZeroedBuffer<unsigned char>(stride);
        if (!m_HostRow) return E_OUTOFMEMORY;
    }
    m_DecodeRows = KwAllocateZeroedBuffer<unsigned char>(m_RowSize * static_cast<std::size_t>(m_BufferRows));
    m_RowPointers = KwAllocateBuffer<JSAMPROW>(static_cast<std::size_t>(m_BufferRows));
    if (!m_DecodeRows || !m_RowPointers) return E_OUTOFMEMORY;
    for (int i = 0; i < m_BufferRows; ++i)
        m_RowPointers[i] = m_DecodeRows.get() + m_RowSize * static_cast<std::size_t>(i);
    return S_OK;
}

HRESULT KwDecodeSession::NextRow(unsigned char** row) noexcept
{
    *row = nullptr;
    if (m_Components == 0) return E_UNEXPECTED;
    if (!m_RowPointers) {
        const HRESULT hr = AllocateRows();
        if (FAILED(hr)) return hr;
    }
    if (m_NextRow >= m_RowsRead) {
        if (m_Codec.output_scanline >= m_Codec.output_height) return S_FALSE;
        JDIMENSION count = 0;
        auto read = [this, &count]() {
            count = jpeg_read_scanlines(&m_Codec, m_RowPointers.get(), static_cast<JDIMENSION>(m_BufferRows));
        };
        // A fatal error, or a codec that stopped giving rows (it would loop forever).
        if (!KwCodecGuard::Run(&m_Codec, read) || count == 0) return E_FAIL;
        m_RowsRead = count < static_cast<JDIMENSION>(m_BufferRows) ? count : static_cast<JDIMENSION>(m_BufferRows);
        m_NextRow = 0;
    }
    unsigned char* decoded = m_RowPointers[m_NextRow++];
    if (m_RowsAsDecoded) {
        *row = decoded;
        return S_OK;
    }
    if (m_Cmyk) KwConvertCmykRow(decoded, m_HostRow.get(), m_Width, m_Adobe);
    else KwConvertRgbRow(decoded, m_HostRow.get(), m_Width);
    *row = m_HostRow.get();
    return S_OK;
}

HRESULT KwDecodeSession::Finish() noexcept
{
    if (m_Codec.output_scanline < m_Codec.output_height) return E_UNEXPECTED;
    auto finish = [this]() { jpeg_finish_decompress(&m_Codec); };
    if (KwCodecGuard::Run(&m_Codec, finish)) return S_OK;
    // Met after every row was handed over (a second frame header, a scan
    // after the only scan of a sequential file): the image is whole, the file
    // is damaged.
    m_Errors.KeepAsDamage(&m_Codec);
    return E_FAIL;
}
