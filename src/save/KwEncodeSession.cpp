#include "KwEncodeSession.h"

#include <cstring>

KwEncodeSession::KwEncodeSession() noexcept : m_Created(false), m_Writing(false)
{
    std::memset(&m_Codec, 0, sizeof(m_Codec));
    m_Errors.Attach(&m_Codec);
}

KwEncodeSession::~KwEncodeSession()
{
    if (m_Created) jpeg_destroy_compress(&m_Codec);
}

HRESULT KwEncodeSession::Start(CKwSaveRasterData* owner, LONG width, LONG height, bool bgrRows) noexcept
{
    if (m_Created) return E_UNEXPECTED;
    if (width <= 0 || height <= 0) return E_INVALIDARG;
    // A failed create leaves nothing to destroy; destroying a half-made one is harmless.
    m_Created = true;
    if (!KwSaveErrorManager::CreateCompress(&m_Codec)) return E_FAIL;
    if (!KwSaveErrorManager::InstallDestination(&m_Codec, owner)) return E_FAIL;
    m_Codec.image_width = static_cast<JDIMENSION>(width);
    m_Codec.image_height = static_cast<JDIMENSION>(height);
    m_Codec.input_components = 3;
    m_Codec.in_color_space = JCS_RGB;
#ifdef JCS_EXTENSIONS
    if (bgrRows) m_Codec.in_color_space = JCS_EXT_BGR;
#else
    if (bgrRows) return E_INVALIDARG;
#endif
    if (!KwSaveErrorManager::SetDefaults(&m_Codec)) return E_FAIL;
    if (!KwSaveErrorManager::SetQuality(&m_Codec, Quality)) return E_FAIL;
    if (!KwSaveErrorManager::StartCompress(&m_Codec)) return E_FAIL;
    // Taken once the codec has accepted the size, so an image too wide for it
    // fails there first; taken whatever the rows are, so that running out of
    // memory here ends the same way whether or not the caller uses it.
    m_Row = KwAllocateBuffer<unsigned char>(static_cast<std::size_t>(width) * 3);
    if (!m_Row) return E_OUTOFMEMORY;
    m_Writing = true;
    return S_OK;
}

HRESULT KwEncodeSession::WriteRow(unsigned char* row) noexcept
{
    if (!m_Writing) return E_UNEXPECTED;
    m_Writing = KwSaveErrorManager::WriteScanline(&m_Codec, row);
    return m_Writing ? S_OK : E_FAIL;
}

HRESULT KwEncodeSession::Finish() noexcept
{
    if (!m_Writing) return E_UNEXPECTED;
    m_Writing = false;
    return KwSaveErrorManager::FinishCompress(&m_Codec) ? S_OK : E_FAIL;
}
