#include "CKwSaveRasterData.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstring>
#include <iterator>

#include "codec/KwEncodeSession.h"

namespace {

// The start value that ends the run records of a 16-bit and a 32-bit run line.
const uint32_t RunTerminator16 = 0xFFFF;
const int32_t RunTerminator32 = -1;

inline uint32_t ReadU16(const unsigned char* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8);
}

inline int32_t ReadI32(const unsigned char* p)
{
    uint32_t value = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                     (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
    return static_cast<int32_t>(value);
}

} // namespace

CKwSaveRasterData::~CKwSaveRasterData() { ReleaseStorage(); }

void CKwSaveRasterData::ReleaseStorage() noexcept
{
    RasterBuffer.reset();
    WriteCursor = nullptr;
}

HRESULT CKwSaveRasterData::CreateRasterStorage(LONG width, LONG height, LONG bitsPerPixel, LONG /*DpiX*/,
                                               LONG /*DpiY*/, BSTR /*Compression*/, LONG noColors,
                                               LONG* colorTable) noexcept
{
    // A second storage replaces the first; a call that fails leaves none.
    ReleaseStorage();
    Width = width;
    Height = height;
    BitsPerPixel = bitsPerPixel;
    NoColors = noColors;
    RowSize = 0;

    if (!KwHostRowConverter::Converts(bitsPerPixel)) return E_FAIL;
    if (width <= 0 || height <= 0) return E_INVALIDARG;
    if (noColors < 0 || noColors > MaxColors) return E_INVALIDARG;
    if (noColors > 0 && !colorTable) return E_POINTER;
    const int64_t rowBits = static_cast<int64_t>(bitsPerPixel) * width + 31;
    if (rowBits > INT32_MAX) return E_INVALIDARG;
    const LONG rowSize = static_cast<LONG>(rowBits / 32) * 4;
    const int64_t imageBytes = static_cast<int64_t>(rowSize) * height;
    if (imageBytes > INT32_MAX) return E_INVALIDARG;
    RowSize = rowSize;

    // Entries the caller does not supply stay black.
    std::fill(std::begin(ColorTable), std::end(ColorTable), 0u);
    if (noColors > 0) std::memcpy(ColorTable, colorTable, static_cast<std::size_t>(noColors) * sizeof(ColorTable[0]));
    if (bitsPerPixel == 1 && noColors == 0) {
        ColorTable[0] = 0x00FFFFFF; // a set bit selects entry 0: white
        ColorTable[1] = 0x00000000;
        NoColors = 2;
    }

    // Rows never sent stay zero.
    RasterBuffer = KwAllocateZeroedBuffer<unsigned char>(static_cast<std::size_t>(imageBytes));
    if (!RasterBuffer) return E_OUTOFMEMORY;
    return S_OK;
}

HRESULT CKwSaveRasterData::AddScanline1(KW_RASTER_TYPE DataType, LONG StartLine, LONG NoLines, LONG BytesPerLine,
                                        unsigned char* Scanlines) noexcept
{
    if (!RasterBuffer) return E_FAIL;
    if (NoLines <= 0) return S_OK;

    void (CKwSaveRasterData::*storeLine)(const unsigned char*, LONG) noexcept = nullptr;
    bool runCoded = false;
    switch (DataType) {
    case KW_RASTER_RGB:
    case KW_RASTER_RGBA:
    case KW_RASTER_INDEX_4:
    case KW_RASTER_INDEX_8:
        storeLine = &CKwSaveRasterData::StoreCopiedLine;
        break;
    case KW_RASTER_RLC_16:
        storeLine = &CKwSaveRasterData::StoreRunLine16;
        runCoded = true;
        break;
    case KW_RASTER_RLC_32:
        storeLine = &CKwSaveRasterData::StoreRunLine32;
        runCoded = true;
        break;
    default:
        return S_OK; // forms this filter does not take in: the rows stay as they were, whatever was sent
    }
    if (!Scanlines) return E_POINTER;
    // A copied line is read no further than BytesPerLine. A run-coded line ends
    // at its terminator; BytesPerLine, whatever its value, is only the step to
    // the next line.
    if (!runCoded && BytesPerLine <= 0) return E_INVALIDARG;

    // Lines that fall outside the image are skipped.
    const int64_t firstRow = std::max<int64_t>(StartLine, 0);
    const int64_t endRow = std::min<int64_t>(static_cast<int64_t>(StartLine) + NoLines, Height);
    for (int64_t row = firstRow; row < endRow; ++row) {
        const unsigned char* source = Scanlines + static_cast<std::ptrdiff_t>(row - StartLine) * BytesPerLine;
        WriteCursor = RasterBuffer.get() + static_cast<std::size_t>(row) * static_cast<std::size_t>(RowSize);
        (this->*storeLine)(source, BytesPerLine);
    }
    return S_OK;
}

void CKwSaveRasterData::StoreCopiedLine(const unsigned char* source, LONG BytesPerLine) noexcept
{
    // A line shorter than a stored row (an unpadded one) leaves the rest of the row zero.
    const std::size_t count = static_cast<std::size_t>(std::min(BytesPerLine, RowSize));
    std::memcpy(WriteCursor, source, count);
    std::memset(WriteCursor + count, 0, static_cast<std::size_t>(RowSize) - count);
}

// The caller gives no length for a run-coded line, only its terminator. Records
// in order that do not overlap set at least one pixel each, so a row of n pixels
// takes at most n of them: a line read that far without its terminator ends
// there, which bounds the read for a caller that left the terminator out.
std::size_t CKwSaveRasterData::MaxRunRecords() const noexcept { return static_cast<std::size_t>(RowSize) * 8; }

// Run records: (start, end) pairs, each setting pixels start up to end - 1 (at
// least start), until the terminator start 0xFFFF.
void CKwSaveRasterData::StoreRunLine16(const unsigned char* source, LONG /*BytesPerLine*/) noexcept
{
    std::memset(WriteCursor, 0, static_cast<std::size_t>(RowSize));
    const std::size_t records = MaxRunRecords();
    for (std::size_t i = 0; i < records; ++i, source += 4) {
        const uint32_t start = ReadU16(source);
        if (start == RunTerminator16) break;
        SetRun(start, ReadU16(source + 2));
    }
}

// As the 16-bit form, with signed 32-bit values and the terminator start -1.
void CKwSaveRasterData::StoreRunLine32(const unsigned char* source, LONG /*BytesPerLine*/) noexcept
{
    std::memset(WriteCursor, 0, static_cast<std::size_t>(RowSize));
    const std::size_t records = MaxRunRecords();
    for (std::size_t i = 0; i < records; ++i, source += 8) {
        const int32_t start = ReadI32(source);
        if (start == RunTerminator32) break;
        SetRun(start, ReadI32(source + 4));
    }
}

// Sets the 1-bit pixels of [start, max(end, start + 1)) in the row at WriteCursor,
// leftmost pixel in the most significant bit; positions outside the row are dropped.
void CKwSaveRasterData::SetRun(int64_t start, int64_t end) noexcept
{
    const int64_t rowBits = static_cast<int64_t>(RowSize) * 8;
    int64_t first = std::max<int64_t>(start, 0);
    const int64_t last = std::min<int64_t>(std::max(end, start + 1), rowBits);
    if (first >= last) return;
    while (first < last && (first & 7) != 0) {
        WriteCursor[first >> 3] |= static_cast<unsigned char>(0x80u >> (first & 7));
        ++first;
    }
    const int64_t wholeBytes = (last - first) >> 3;
    if (wholeBytes > 0) {
        std::memset(WriteCursor + (first >> 3), 0xFF, static_cast<std::size_t>(wholeBytes));
        first += wholeBytes << 3;
    }
    for (; first < last; ++first) WriteCursor[first >> 3] |= static_cast<unsigned char>(0x80u >> (first & 7));
}

HRESULT CKwSaveRasterData::EndObject() noexcept
{
    if (!RasterBuffer) return E_FAIL;
    HRESULT hr = S_OK;
    {
        KwEncodeSession session;
        hr = session.Start(OutputStream.Get(), Width, Height, BitsPerPixel, ColorTable);
        // Nothing has reached the stream yet; the image stays, so the host may try again.
        if (hr == E_OUTOFMEMORY) return hr;
        for (LONG y = 0; SUCCEEDED(hr) && y < Height; ++y)
            hr = session.WriteRow(RasterBuffer.get() + static_cast<std::size_t>(y) * static_cast<std::size_t>(RowSize));
        if (SUCCEEDED(hr)) hr = session.Finish();
    }
    // Also after a fatal error: the message has been shown, whatever reached the
    // stream stays there, and the object ends without its image either way.
    ReleaseStorage();
    return SUCCEEDED(hr) ? S_OK : E_FAIL;
}
