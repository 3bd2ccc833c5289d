// A raster block (IKwRasterBlock): the image storage of a node. It keeps the
// rows as delivered (stride ((bpp x width + 31) / 32) x 4 bytes, row 0 on top),
// the palette and every AddScanline1 call, for tests and for the kwjpeg tool.
// While the engine has a row sink, a block created then keeps no rows and hands
// each band to the sink instead.
#pragma once

#include <memory>
#include <vector>

#include "KwHostAttributeImpl.h"
#include "KwHostRowSink.h"

struct KwHostScanlineCall {
    LONG dataType;
    LONG startLine;
    LONG noLines;
    LONG bytesPerLine;
    HRESULT result;
};

class KwHostRasterBlock final : public KwHostAttributeImpl<KwHostAttributeHolder, IKwRasterBlock, IKwAttribute> {
public:
    static HRESULT Create(const std::string& label, KwHostRasterBlock** out,
                          std::shared_ptr<KwHostContext> context = nullptr) noexcept;

    void* FindInterface(REFIID riid) noexcept override;

    HRESULT STDMETHODCALLTYPE get_BlockType(LONG* Type) noexcept override;
    HRESULT STDMETHODCALLTYPE EndObject() noexcept override;
    // Bits per pixel 1, 4, 8, 24 or 32; width and height above 0; NoColors 0 to 256.
    // E_INVALIDARG for other values, E_OUTOFMEMORY above the engine's pixel limit,
    // E_UNEXPECTED when the block has storage already.
    HRESULT STDMETHODCALLTYPE CreateRasterStorage(LONG Width, LONG Height, LONG BitsPerPixel, LONG DpiX, LONG DpiY,
                                                  BSTR Compression, LONG NoColors, LONG* ColorTable) noexcept override;
    // Copies stride bytes of each source line. The data type must fit the storage
    // (KW_RASTER_BW and KW_RASTER_WB: 1 bit, KW_RASTER_INDEX_4: 4, KW_RASTER_INDEX_8: 8,
    // KW_RASTER_RGB: 24, KW_RASTER_RGBA: 32); run-coded types are E_NOTIMPL. Lines must lie
    // within the image and BytesPerLine must be at least the stride (E_INVALIDARG).
    HRESULT STDMETHODCALLTYPE AddScanline1(KW_RASTER_TYPE DataType, LONG StartLine, LONG NoLines, LONG BytesPerLine,
                                           unsigned char* Scanlines) noexcept override;
    HRESULT STDMETHODCALLTYPE AddScanline2(KW_RASTER_TYPE DataType, LONG StartLine, LONG NoLines, LONG* BytesPerLine,
                                           LONG BufferSize, unsigned char* Scanlines) noexcept override;
    HRESULT STDMETHODCALLTYPE GetRasterInfo(LONG* Width, LONG* Height, LONG* BitsPerPixel,
                                            LONG* RowsDelivered) noexcept override;
    HRESULT STDMETHODCALLTYPE GetScanline(LONG Line, LONG BufferSize, unsigned char* Buffer) noexcept override;
    HRESULT STDMETHODCALLTYPE GetColorTable(LONG MaxColors, LONG* ColorTable, LONG* NoColors) noexcept override;

    // Storage was created: pixels kept here, or rows streamed to the engine's row sink.
    bool HasStorage() const noexcept { return m_pixels != nullptr || m_sink != nullptr; }
    bool Streaming() const noexcept { return m_sink != nullptr; }
    LONG Width() const noexcept { return m_width; }
    LONG Height() const noexcept { return m_height; }
    LONG BitsPerPixel() const noexcept { return m_bitsPerPixel; }
    LONG DpiX() const noexcept { return m_dpiX; }
    LONG DpiY() const noexcept { return m_dpiY; }
    LONG Stride() const noexcept { return m_stride; }
    const std::string& Compression() const noexcept { return m_compression; }
    const std::vector<LONG>& Palette() const noexcept { return m_palette; }
    // Row y of the storage (stride bytes), or null (also while streaming).
    const unsigned char* Row(LONG y) const noexcept;
    // Rows handed over by successful AddScanline1 calls (a row sent twice counts twice).
    LONG RowsDelivered() const noexcept { return m_rowsDelivered; }
    bool RowDelivered(LONG y) const noexcept;
    // Every AddScanline1 call, refused ones too, while the call log is enabled.
    const std::vector<KwHostScanlineCall>& ScanlineCalls() const noexcept { return m_scanlineCalls; }
    bool Ended() const noexcept { return m_endCalls != 0; }
    ULONG EndObjectCalls() const noexcept { return m_endCalls; }

private:
    using KwHostAttributeImpl::KwHostAttributeImpl;
    ~KwHostRasterBlock() override;
    static LONG BitsForType(LONG dataType) noexcept;

    unsigned char* m_pixels = nullptr;
    std::vector<bool> m_delivered;
    std::shared_ptr<KwHostRowSink> m_sink; // streaming: rows go here, none are kept
    std::vector<LONG> m_palette;
    std::vector<KwHostScanlineCall> m_scanlineCalls;
    std::string m_compression;
    LONG m_width = 0;
    LONG m_height = 0;
    LONG m_bitsPerPixel = 0;
    LONG m_dpiX = 0;
    LONG m_dpiY = 0;
    LONG m_stride = 0;
    LONG m_rowsDelivered = 0;
    ULONG m_endCalls = 0;
};
