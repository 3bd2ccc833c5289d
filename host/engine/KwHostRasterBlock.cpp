#include "KwHostRasterBlock.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "com/KwAutomation.h"
#include "KwHostContext.h"
#include "private/KwHostHooks.h"
#include "KwHostImage.h"

HRESULT KwHostRasterBlock::Create(KwHostRasterBlock** out,
                                  std::shared_ptr<KwHostContext> context) noexcept
{
    if (!out) return E_POINTER;
    *out = nullptr;
    KW_HOST_TRY
    *out = new KwHostMade<KwHostRasterBlock>(KwHostContext::Ensure(std::move(context)), KW_RASTER_BLOCK);
    return S_OK;
    KW_HOST_CATCH
}

KwHostRasterBlock::~KwHostRasterBlock() { std::free(m_Pixels); }

LONG KwHostRasterBlock::BitsForType(LONG dataType) noexcept
{
    switch (dataType) {
    case KW_RASTER_BW:
    case KW_RASTER_WB: return 1;
    case KW_RASTER_INDEX_4: return 4;
    case KW_RASTER_INDEX_8: return 8;
    case KW_RASTER_RGB: return 24;
    case KW_RASTER_RGBA: return 32;
    default: return 0;
    }
}

const unsigned char* KwHostRasterBlock::Row(LONG y) const noexcept
{
    if (!m_Pixels || y < 0 || y >= m_Height) return nullptr;
    return m_Pixels + static_cast<size_t>(y) * static_cast<size_t>(m_Stride);
}

bool KwHostRasterBlock::RowDelivered(LONG y) const noexcept
{
    if (m_Sink) return y >= 0 && y < m_RowsDelivered;
    return y >= 0 && static_cast<size_t>(y) < m_Delivered.size() && m_Delivered[static_cast<size_t>(y)];
}

HRESULT STDMETHODCALLTYPE KwHostRasterBlock::get_BlockType(LONG* Type) noexcept
{
    if (!Type) return E_POINTER;
    *Type = KW_RASTER_BLOCK;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE KwHostRasterBlock::EndObject() noexcept
{
    ++m_EndCalls;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE KwHostRasterBlock::CreateRasterStorage(LONG Width, LONG Height, LONG BitsPerPixel,
                                                                 LONG DpiX, LONG DpiY, BSTR Compression,
                                                                 LONG NoColors, LONG* ColorTable) noexcept
{
    KW_HOST_TRY
    if (HasStorage()) return E_UNEXPECTED;
    bool bitsValid = BitsPerPixel == 1 || BitsPerPixel == 4 || BitsPerPixel == 8 || BitsPerPixel == 24 ||
                     BitsPerPixel == 32;
    if (!bitsValid || Width <= 0 || Height <= 0 || NoColors < 0 || NoColors > 256) return E_INVALIDARG;
    if (NoColors > 0 && !ColorTable) return E_POINTER;
    ULONGLONG pixels = static_cast<ULONGLONG>(Width) * static_cast<ULONGLONG>(Height);
    ULONGLONG stride = static_cast<ULONGLONG>(KwHostImage::StrideFor(Width, BitsPerPixel));
    ULONGLONG bytes = stride * static_cast<ULONGLONG>(Height);
    if (pixels > Context().MaxRasterPixels() || stride > static_cast<ULONGLONG>(std::numeric_limits<LONG>::max()) ||
        bytes > std::numeric_limits<size_t>::max())
        return E_OUTOFMEMORY;
    std::vector<LONG> palette(ColorTable, ColorTable + NoColors);
    std::string compression = KwNarrow(Compression);
    if (const std::shared_ptr<KwHostRowSink>& sink = Context().RowSink()) {
        HRESULT hr = sink->Begin(Width, Height, BitsPerPixel, palette);
        if (FAILED(hr)) return hr;
        m_Sink = sink;
    } else {
        std::vector<bool> delivered(static_cast<size_t>(Height), false);
        m_Pixels = static_cast<unsigned char*>(std::calloc(static_cast<size_t>(bytes), 1));
        if (!m_Pixels) return E_OUTOFMEMORY;
        KwAdviseLargeBlock(m_Pixels, static_cast<size_t>(bytes));
        m_Delivered.swap(delivered);
    }
    m_Palette.swap(palette);
    m_Compression.swap(compression);
    m_Width = Width;
    m_Height = Height;
    m_BitsPerPixel = BitsPerPixel;
    m_DpiX = DpiX;
    m_DpiY = DpiY;
    m_Stride = static_cast<LONG>(stride);
    return S_OK;
    KW_HOST_CATCH
}

HRESULT STDMETHODCALLTYPE KwHostRasterBlock::AddScanline1(KW_RASTER_TYPE DataType, LONG StartLine, LONG NoLines,
                                                          LONG BytesPerLine, unsigned char* Scanlines) noexcept
{
    KW_HOST_TRY
    if (!HasStorage() || m_EndCalls != 0) return E_UNEXPECTED;
    LONG bits = BitsForType(DataType);
    if (bits == 0) return E_NOTIMPL;
    if (bits != m_BitsPerPixel || NoLines < 0) return E_INVALIDARG;
    if (NoLines == 0) return S_OK;
    if (!Scanlines) return E_POINTER;
    if (StartLine < 0 || StartLine > m_Height - NoLines || BytesPerLine < m_Stride) return E_INVALIDARG;
    if (m_Sink) {
        // A stream of rows cannot go back or skip ahead.
        if (StartLine != m_RowsDelivered) return E_INVALIDARG;
        HRESULT hr = m_Sink->Rows(StartLine, NoLines, Scanlines, BytesPerLine);
        if (FAILED(hr)) return hr;
        m_RowsDelivered += NoLines;
        return S_OK;
    }
    for (LONG i = 0; i < NoLines; ++i) {
        const unsigned char* source = Scanlines + static_cast<size_t>(i) * static_cast<size_t>(BytesPerLine);
        size_t row = static_cast<size_t>(StartLine + i);
        std::memcpy(m_Pixels + row * static_cast<size_t>(m_Stride), source, static_cast<size_t>(m_Stride));
        m_Delivered[row] = true;
    }
    m_RowsDelivered += NoLines;
    return S_OK;
    KW_HOST_CATCH
}

HRESULT STDMETHODCALLTYPE KwHostRasterBlock::AddScanline2(KW_RASTER_TYPE, LONG, LONG, LONG*, LONG,
                                                          unsigned char*) noexcept
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE KwHostRasterBlock::GetRasterInfo(LONG* Width, LONG* Height, LONG* BitsPerPixel,
                                                           LONG* RowsDelivered) noexcept
{
    if (Width) *Width = m_Width;
    if (Height) *Height = m_Height;
    if (BitsPerPixel) *BitsPerPixel = m_BitsPerPixel;
    if (RowsDelivered) *RowsDelivered = m_RowsDelivered;
    return HasStorage() ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE KwHostRasterBlock::GetScanline(LONG Line, LONG BufferSize, unsigned char* Buffer) noexcept
{
    if (!m_Pixels) return E_UNEXPECTED;
    if (!Buffer) return E_POINTER;
    const unsigned char* row = Row(Line);
    if (!row || BufferSize < m_Stride) return E_INVALIDARG;
    std::memcpy(Buffer, row, static_cast<size_t>(m_Stride));
    return S_OK;
}

HRESULT STDMETHODCALLTYPE KwHostRasterBlock::GetColorTable(LONG MaxColors, LONG* ColorTable, LONG* NoColors) noexcept
{
    if (!NoColors) return E_POINTER;
    *NoColors = static_cast<LONG>(m_Palette.size());
    if (MaxColors < 0) return E_INVALIDARG;
    if (MaxColors > 0 && !ColorTable) return E_POINTER;
    size_t n = std::min(static_cast<size_t>(MaxColors), m_Palette.size());
    if (n) std::memcpy(ColorTable, m_Palette.data(), n * sizeof(LONG));
    return S_OK;
}
