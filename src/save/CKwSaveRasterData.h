// The raster-data object (coclass KwSaveRasterData): keeps one raster image the
// host pushes at it and, when the host ends it, encodes it as a baseline JFIF
// file at quality 75 into the save's output stream.
#pragma once

#include <cstddef>
#include <cstdint>

#include "IKwSaveRasterDataImpl.h"
#include "codec/KwHostRowConverter.h"

class CKwSaveRasterData final : public IKwSaveRasterDataImpl<CKwSaveRasterData> {
public:
    // Palette entries are 0x00RRGGBB: blue in byte 0, green in byte 1, red in byte 2.
    static constexpr int MaxColors = KwHostRowConverter::MaxColors;

    CKwSaveRasterData() noexcept = default;
    ~CKwSaveRasterData();

    // Set by the creating save-structure object right after creation.
    void SetOutputStream(IStream* stream) noexcept { OutputStream = KwComPtr<IStream>(stream); }

    HRESULT STDMETHODCALLTYPE EndObject() noexcept override;
    HRESULT STDMETHODCALLTYPE CreateRasterStorage(LONG Width, LONG Height, LONG BitsPerPixel, LONG DpiX, LONG DpiY,
                                                  BSTR Compression, LONG NoColors,
                                                  LONG* ColorTable) noexcept override;
    HRESULT STDMETHODCALLTYPE AddScanline1(KW_RASTER_TYPE DataType, LONG StartLine, LONG NoLines, LONG BytesPerLine,
                                           unsigned char* Scanlines) noexcept override;

private:
    void ReleaseStorage() noexcept;
    void StoreCopiedLine(const unsigned char* source, LONG BytesPerLine) noexcept;
    std::size_t MaxRunRecords() const noexcept;
    void StoreRunLine16(const unsigned char* source, LONG BytesPerLine) noexcept;
    void StoreRunLine32(const unsigned char* source, LONG BytesPerLine) noexcept;
    void SetRun(int64_t start, int64_t end) noexcept;

    LONG Width = 0;
    LONG Height = 0;
    LONG BitsPerPixel = 0;
    LONG NoColors = 0;
    LONG RowSize = 0;
    uint32_t ColorTable[MaxColors] = {};
    KwBuffer<unsigned char> RasterBuffer; // Height x RowSize bytes, row 0 at the top
    unsigned char* WriteCursor = nullptr;  // the stored row being filled by AddScanline1
    KwComPtr<IStream> OutputStream;
};
