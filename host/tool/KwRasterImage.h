// An image in the host's raster layout: rows top-down, each padded to a
// multiple of 4 bytes; 24-bit pixels as B, G, R; 1-, 4- and 8-bit pixels as
// palette indices (a 4-bit byte holds its leftmost pixel in the high nibble,
// as BMP files do); palette entries 0x00RRGGBB.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/KwHostImage.h"

struct KwRasterImage {
    // The largest image the tool takes on, in bytes of rows.
    static constexpr int64_t MaxImageBytes = int64_t(4) << 30;
    // Room reserved for rows that a pipe has yet to deliver; beyond it the
    // rows grow as they arrive.
    static constexpr int64_t UnfilledReserve = int64_t(16) << 20;
    // The host engine's pixel limit when none is named (16384 x 16384).
    static constexpr unsigned long long DefaultMaxPixels = 1ull << 28;

    // False, with the message every reader gives, when a header's `width` x
    // `height` is above `limit` pixels: checked before any row is taken.
    static bool WithinPixelLimit(uint64_t width, uint64_t height, unsigned long long limit, std::string& error);

    int32_t Width = 0;
    int32_t Height = 0;
    int32_t BitsPerPixel = 0;
    std::vector<uint32_t> Palette;
    std::vector<uint8_t> Pixels; // height * Stride() bytes, unless the rows are borrowed
    double DpiX = 0, DpiY = 0;   // resolution in dots per inch; 0: unknown
    // Carried from the file read to the file written: the ICC colour profile,
    // and a JPEG's EXIF block (from "Exif" on); empty when there is none.
    std::vector<uint8_t> IccProfile;
    std::vector<uint8_t> Exif;

    // Dots per inch as whole pixels per metre, as BMP and PNG files keep it;
    // `unknown` when the resolution is unknown or out of range.
    static uint32_t PixelsPerMetre(double dpi, uint32_t unknown);

    int64_t Stride() const { return KwHostImage::StrideFor(Width, BitsPerPixel); }
    uint8_t* Row(int32_t y) { return Pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(Stride()); }
    const uint8_t* Row(int32_t y) const
    {
        const uint8_t* base = m_Borrowed ? m_Borrowed : Pixels.data();
        return base + static_cast<size_t>(y) * static_cast<size_t>(Stride());
    }

    // Reads the rows from storage someone else owns (height rows of Stride()
    // bytes at `rows`), kept alive by `keeper`, instead of copying them.
    void BorrowRows(const uint8_t* rows, std::shared_ptr<void> keeper)
    {
        Pixels.clear();
        m_Borrowed = rows;
        m_Keeper = std::move(keeper);
    }
    bool Borrowed() const { return m_Borrowed != nullptr; }
    // The rows as a vector of their own (copied when borrowed), to be taken over.
    std::vector<uint8_t> TakePixels();

    // Allocates zeroed rows; false when the size does not fit in memory limits.
    // Unfilled: Pixels left empty, with at most UnfilledReserve bytes of room,
    // for rows appended as a pipe delivers them (memory is then used as the
    // data arrives).
    bool Allocate(int32_t w, int32_t h, int32_t bpp, std::string* error, bool filled = true);

    // Transparency, the one rule of the tool's readers (PNG and BMP alike):
    // a sample of straight alpha is put on white, as a page shows it and as
    // flattening for a JPEG does in image editors.
    static uint8_t OverWhite(uint32_t sample, uint32_t alpha)
    {
        return uint8_t((sample * alpha + 255 * (255 - alpha) + 127) / 255);
    }
    // A 32-bit image's B, G, R put on white by its fourth byte, which becomes 0.
    static void PutOnWhite(KwRasterImage& image);

    // The colour of pixel (x, y) as 0x00RRGGBB, whatever the depth.
    uint32_t PixelRgb(int32_t x, int32_t y) const;
    // True when every palette entry has equal red, green and blue (an 8-bit gray image).
    bool IsGrayPalette() const;

    // The image in the host's save layout, taken over: the save filter reads a
    // 4-bit byte with its leftmost pixel in the low nibble, and encodes a set bit
    // of a 1-bit image with palette entry 0; image files do the opposite in both
    // cases. Throws std::bad_alloc.
    static KwHostImage ToHostImage(KwRasterImage&& source);

private:
    const uint8_t* m_Borrowed = nullptr;
    std::shared_ptr<void> m_Keeper;
};
