#include "KwHostRasterBlock.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "KwAutomation.h"
#include "KwHostContext.h"

HRESULT KwHostRasterBlock::Create(const std::string& label, KwHostRasterBlock** out,
                                  std::shared_ptr<KwHostContext> context) noexcept
{
    if (!out) return E_POINTER;
    *out = nullptr;
    KW_HOST_TRY
    *out = new KwHostRasterBlock(KwHostContext::Ensure(std::move(context)), label, KW_RASTER_BLOCK);
    return S_OK;
    KW_HOST_CATCH
}

KwHostRasterBlock::~KwHostRasterBlock() { std::free(m_pixels); }

void* KwHostRasterBlock::FindInterface(REFIID riid) noexcept
{
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IDispatch) || IsEqualGUID(riid, IID_IKwRasterBlock))
        return static_cast<IKwRasterBlock*>(this);
    if (IsEqualGUID(riid, IID_IKwAttribute)) return static_cast<IKwAttribute*>(this);
    return nullptr;
}

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
    if (!m_pixels || y < 0 || y >= m_height) return nullptr;
    return m_pixels + static_cast<size_t>(y) * static_cast<size_t>(m_stride);
}

bool KwHostRasterBlock::RowDelivered(LONG y) const noexcept
{
    if (m_sink) return y >= 0 && y < m_rowsDelivered;
    return y >= 0 && static_cast<size_t>(y) < m_delivered.size() && m_delivered[static_cast<size_t>(y)];
}

HRESULT STDMETHODCALLTYPE KwHostRasterBlock::get_BlockType(LONG* Type) noexcept
{
    if (!Type) return E_POINTER;
    *Type = KW_RASTER_BLOCK;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE KwHostRasterBlock::EndObject() noexcept
{
    KW_HOST_TRY
    KwHostCall call{Label(), "EndObject"};
    HRESULT hr = S_OK;
    if (Context().InjectFailure(call.method, &hr)) return Context().Record(call, "", hr);
    ++m_endCalls;
    return Context().Record(call, "", Context().Switches().endObjectResult);
    KW_HOST_CATCH
}

HRESULT STDMETHODCALLTYPE KwHostRasterBlock::CreateRasterStorage(LONG Width, LONG Height, LONG BitsPerPixel,
                                                                 LONG DpiX, LONG DpiY, BSTR Compression,
                                                                 LONG NoColors, LONG* ColorTable) noexcept
{
    KW_HOST_TRY
    KwHostCall call{Label(), "CreateRasterStorage"};
    call.name = KwNarrow(Compression);
    call.args = {Width, Height, BitsPerPixel, DpiX, DpiY, NoColors};
    std::string details = std::to_string(Width) + ", " + std::to_string(Height) + ", " +
                          std::to_string(BitsPerPixel) + ", " + std::to_string(DpiX) + ", " + std::to_string(DpiY) +
                          ", \"" + call.name + "\", " + std::to_string(NoColors) + (ColorTable ? ", table" : ", null");
    HRESULT hr = S_OK;
    if (Context().InjectFailure(call.method, &hr)) return Context().Record(call, details, hr);
    const KwHostSwitches& switches = Context().Switches();
    if (FAILED(switches.createRasterStorageResult))
        return Context().Record(call, details, switches.createRasterStorageResult);
    if (HasStorage()) return Context().Record(call, details, E_UNEXPECTED);
    bool bitsValid = BitsPerPixel == 1 || BitsPerPixel == 4 || BitsPerPixel == 8 || BitsPerPixel == 24 ||
                     BitsPerPixel == 32;
    if (!bitsValid || Width <= 0 || Height <= 0 || NoColors < 0 || NoColors > 256)
        return Context().Record(call, details, E_INVALIDARG);
    if (NoColors > 0 && !ColorTable) return Context().Record(call, details, E_POINTER);
    ULONGLONG pixels = static_cast<ULONGLONG>(Width) * static_cast<ULONGLONG>(Height);
    ULONGLONG stride = (static_cast<ULONGLONG>(BitsPerPixel) * static_cast<ULONGLONG>(Width) + 31) / 32 * 4;
    ULONGLONG bytes = stride * static_cast<ULONGLONG>(Height);
    if (pixels > switches.maxRasterPixels || stride > static_cast<ULONGLONG>(std::numeric_limits<LONG>::max()) ||
        bytes > std::numeric_limits<size_t>::max())
        return Context().Record(call, details, E_OUTOFMEMORY);
    std::vector<LONG> palette(ColorTable, ColorTable + NoColors);
    if (switches.rowSink) {
        hr = switches.rowSink->Begin(Width, Height, BitsPerPixel, palette);
        if (FAILED(hr)) return Context().Record(call, details, hr);
        m_sink = switches.rowSink;
    } else {
        std::vector<bool> delivered(static_cast<size_t>(Height), false);
        m_pixels = static_cast<unsigned char*>(std::calloc(static_cast<size_t>(bytes), 1));
        if (!m_pixels) return Context().Record(call, details, E_OUTOFMEMORY);
        KwAdviseLargeBlock(m_pixels, static_cast<size_t>(bytes));
        m_delivered.swap(delivered);
    }
    m_palette.swap(palette);
    m_compression = call.name;
    m_width = Width;
    m_height = Height;
    m_bitsPerPixel = BitsPerPixel;
    m_dpiX = DpiX;
    m_dpiY = DpiY;
    m_stride = static_cast<LONG>(stride);
    return Context().Record(call, details, S_OK);
    KW_HOST_CATCH
}

HRESULT STDMETHODCALLTYPE KwHostRasterBlock::AddScanline1(KW_RASTER_TYPE DataType, LONG StartLine, LONG NoLines,
                                                          LONG BytesPerLine, unsigned char* Scanlines) noexcept
{
    KW_HOST_TRY
    // The one host call made per row band: with the log off (benchmarks, the
    // fuzzer) it neither formats nor keeps a record.
    static const std::string method("AddScanline1");
    const bool logging = Context().Log().Enabled();
    auto finish = [&](HRESULT result) {
        if (!logging) return result;
        KwHostCall call{Label(), method};
        call.args = {DataType, StartLine, NoLines, BytesPerLine};
        const std::string details = std::to_string(DataType) + ", " + std::to_string(StartLine) + ", " +
                                    std::to_string(NoLines) + ", " + std::to_string(BytesPerLine);
        m_scanlineCalls.push_back({DataType, StartLine, NoLines, BytesPerLine, result});
        return Context().Record(call, details, result);
    };
    HRESULT hr = S_OK;
    if (Context().InjectFailure(method, &hr)) return finish(hr);
    if (!HasStorage() || m_endCalls != 0) return finish(E_UNEXPECTED);
    LONG bits = BitsForType(DataType);
    if (bits == 0) return finish(E_NOTIMPL);
    if (bits != m_bitsPerPixel || NoLines < 0) return finish(E_INVALIDARG);
    if (NoLines == 0) return finish(S_OK);
    if (!Scanlines) return finish(E_POINTER);
    if (StartLine < 0 || StartLine > m_height - NoLines || BytesPerLine < m_stride) return finish(E_INVALIDARG);
    if (m_sink) {
        // A stream of rows cannot go back or skip ahead.
        if (StartLine != m_rowsDelivered) return finish(E_INVALIDARG);
        hr = m_sink->Rows(StartLine, NoLines, Scanlines, BytesPerLine);
        if (FAILED(hr)) return finish(hr);
        m_rowsDelivered += NoLines;
        return finish(S_OK);
    }
    for (LONG i = 0; i < NoLines; ++i) {
        const unsigned char* source = Scanlines + static_cast<size_t>(i) * static_cast<size_t>(BytesPerLine);
        size_t row = static_cast<size_t>(StartLine + i);
        std::memcpy(m_pixels + row * static_cast<size_t>(m_stride), source, static_cast<size_t>(m_stride));
        m_delivered[row] = true;
    }
    m_rowsDelivered += NoLines;
    return finish(S_OK);
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
    if (Width) *Width = m_width;
    if (Height) *Height = m_height;
    if (BitsPerPixel) *BitsPerPixel = m_bitsPerPixel;
    if (RowsDelivered) *RowsDelivered = m_rowsDelivered;
    return HasStorage() ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE KwHostRasterBlock::GetScanline(LONG Line, LONG BufferSize, unsigned char* Buffer) noexcept
{
    if (!m_pixels) return E_UNEXPECTED;
    if (!Buffer) return E_POINTER;
    const unsigned char* row = Row(Line);
    if (!row || BufferSize < m_stride) return E_INVALIDARG;
    std::memcpy(Buffer, row, static_cast<size_t>(m_stride));
    return S_OK;
}

HRESULT STDMETHODCALLTYPE KwHostRasterBlock::GetColorTable(LONG MaxColors, LONG* ColorTable, LONG* NoColors) noexcept
{
    if (!NoColors) return E_POINTER;
    *NoColors = static_cast<LONG>(m_palette.size());
    if (MaxColors < 0) return E_INVALIDARG;
    if (MaxColors > 0 && !ColorTable) return E_POINTER;
    size_t n = std::min(static_cast<size_t>(MaxColors), m_palette.size());
    if (n) std::memcpy(ColorTable, m_palette.data(), n * sizeof(LONG));
    return S_OK;
}
