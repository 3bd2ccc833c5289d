// A raster block (IKwRasterBlock): the image storage of a node. It keeps the
// rows as delivered (stride ((bpp x width + 31) / 32) x 4 bytes, row 0 on top),
// and the palette, for the host to read back. While the engine has a row sink,
// a block given storage then keeps no rows and hands each band to the sink instead.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "KwHostAttributeImpl.h"
#include "KwHostRowSink.h"

class KwHostRasterBlock : public KwHostAttributeImpl<KwHostAttributeHolder, IKwRasterBlock, IKwAttribute> {
public:
    static HRESULT Create(KwHostRasterBlock** out,
                          std::shared_ptr<KwHostContext> context = nullptr) noexcept;

    HRESULT STDMETHODCALLTYPE get_BlockType(LONG* Type) noexcept override;
    HRESULT STDMETHODCALLTYPE EndObject() noexcept override;
    // Bits per pixel 1, 4, 8, 24 or 32; width and height above 0; NoColors 0 to 256.
    // E_INVALIDARG for other values, E_OUTOFMEMORY above the engine's pixel limit
    // (KwHostEngine::SetMaxRasterPixels), E_UNEXPECTED when the block has storage already.
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
    bool HasStorage() const noexcept { return m_Pixels != nullptr || m_Sink != nullptr; }
    bool Streaming() const noexcept { return m_Sink != nullptr; }
    LONG Width() const noexcept { return m_Width; }
    LONG Height() const noexcept { return m_Height; }
    LONG BitsPerPixel() const noexcept { return m_BitsPerPixel; }
    LONG DpiX() const noexcept { return m_DpiX; }
    LONG DpiY() const noexcept { return m_DpiY; }
    LONG Stride() const noexcept { return m_Stride; }
    const std::string& Compression() const noexcept { return m_Compression; }
    const std::vector<LONG>& Palette() const noexcept { return m_Palette; }
    // Row y of the storage (stride bytes), or null (also while streaming).
    const unsigned char* Row(LONG y) const noexcept;
    // Rows handed over by successful AddScanline1 calls (a row sent twice counts twice).
    LONG RowsDelivered() const noexcept { return m_RowsDelivered; }
    bool RowDelivered(LONG y) const noexcept;
    bool Ended() const noexcept { return m_EndCalls != 0; }
    ULONG EndObjectCalls() const noexcept { return m_EndCalls; }

protected:
    using KwHostAttributeImpl::KwHostAttributeImpl;
    ~KwHostRasterBlock() override;

private:
    static LONG BitsForType(LONG dataType) noexcept;

    unsigned char* m_Pixels = nullptr;
    std::vector<bool> m_Delivered;
    std::shared_ptr<KwHostRowSink> m_Sink; // streaming: rows go here, none are kept
    std::vector<LONG> m_Palette;
    std::string m_Compression;
    LONG m_Width = 0;
    LONG m_Height = 0;
    LONG m_BitsPerPixel = 0;
    LONG m_DpiX = 0;
    LONG m_DpiY = 0;
    LONG m_Stride = 0;
    LONG m_RowsDelivered = 0;
    ULONG m_EndCalls = 0;
};
