#include "KwEncodeSession.h"

#include <cstring>

#include "JpegStreamDestination.h"

extern "C" {

// The codec requires that this never returns: the user sees the message, then
// the encode ends by jumping back to the guard that started the call.
static void KwEncodeErrorExit(j_common_ptr cinfo)
{
    char text[JMSG_LENGTH_MAX];
    text[0] = '\0';
    (*cinfo->err->format_message)(cinfo, text);
    MessageBoxA(nullptr, text, "JPEG Error", MB_OK);
    KwCodecGuard::Leave(cinfo);
}

} // extern "C"

KwEncodeSession::KwEncodeSession() noexcept : m_Created(false), m_Writing(false), m_RowsAsStored(false)
{
    std::memset(&m_Codec, 0, sizeof(m_Codec));
    m_Errors.Attach(reinterpret_cast<j_common_ptr>(&m_Codec));
    m_Errors.Public.error_exit = KwEncodeErrorExit;
}

KwEncodeSession::~KwEncodeSession()
{
    if (m_Created) jpeg_destroy_compress(&m_Codec);
}

HRESULT KwEncodeSession::Start(IStream* stream, LONG width, LONG height, LONG bitsPerPixel,
                               const uint32_t* colors) noexcept
{
    if (m_Created) return E_UNEXPECTED;
    if (width <= 0 || height <= 0 || !KwHostRowConverter::Converts(bitsPerPixel)) return E_INVALIDARG;
    m_RowsAsStored = bitsPerPixel == 24 && TakesBgrRows;
    // A failed create leaves nothing to destroy; destroying a half-made one is harmless.
    m_Created = true;
    auto create = [this]() { jpeg_create_compress(&m_Codec); };
    if (!KwCodecGuard::Run(&m_Codec, create)) return E_FAIL;
    auto attach = [this, stream]() { InstallStreamDestination(&m_Codec, stream); };
    if (!KwCodecGuard::Run(&m_Codec, attach)) return E_FAIL;
    m_Codec.image_width = static_cast<JDIMENSION>(width);
    m_Codec.image_height = static_cast<JDIMENSION>(height);
    m_Codec.input_components = 3;
    m_Codec.in_color_space = JCS_RGB;
#ifdef JCS_EXTENSIONS
    if (m_RowsAsStored) m_Codec.in_color_space = JCS_EXT_BGR;
#endif
    auto setUp = [this]() {
        jpeg_set_defaults(&m_Codec);
        jpeg_set_quality(&m_Codec, Quality, TRUE);
        jpeg_start_compress(&m_Codec, TRUE);
    };
    if (!KwCodecGuard::Run(&m_Codec, setUp)) return E_FAIL;
    // Taken once the codec has accepted the size, so an image too wide for it
    // fails there first; taken whatever the rows are, so that running out of
    // memory here ends the same way whether or not a row needs converting.
    m_Row = KwAllocateBuffer<unsigned char>(static_cast<std::size_t>(width) * 3);
    if (!m_Row) return E_OUTOFMEMORY;
    m_Converter.Prepare(width, bitsPerPixel, colors);
    m_Writing = true;
    return S_OK;
}

HRESULT KwEncodeSession::WriteRow(const unsigned char* stored) noexcept
{
    if (!m_Writing) return E_UNEXPECTED;
    JSAMPROW rows[1] = {const_cast<JSAMPROW>(stored)};
    if (!m_RowsAsStored) {
        m_Converter.Convert(stored, m_Row.get());
        rows[0] = m_Row.get();
    }
    // The destination never suspends: a row the codec did not take is a failure (and must not loop).
    bool taken = false;
    auto write = [this, &rows, &taken]() { taken = jpeg_write_scanlines(&m_Codec, rows, 1) == 1; };
    m_Writing = KwCodecGuard::Run(&m_Codec, write) && taken;
    return m_Writing ? S_OK : E_FAIL;
}

HRESULT KwEncodeSession::Finish() noexcept
{
    if (!m_Writing) return E_UNEXPECTED;
    m_Writing = false;
    auto finish = [this]() { jpeg_finish_compress(&m_Codec); };
    return KwCodecGuard::Run(&m_Codec, finish) ? S_OK : E_FAIL;
}
