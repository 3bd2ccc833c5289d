// A raster image as a host holds it: rows of ((bpp x width + 31) / 32) x 4
// bytes, row 0 on top, 24-bit pixels as blue, green, red, palette entries 0x00RRGGBB.
#pragma once

#include <functional>
#include <vector>

#include "KwPlatform.h"

struct KwHostImage {
    LONG Width = 0;
    LONG Height = 0;
    LONG BitsPerPixel = 24;
    LONG DpiX = 0;
    LONG DpiY = 0;
    std::vector<LONG> Palette;
    std::vector<unsigned char> Pixels;
    // Where the rows come from when `pixels` is empty: fills `count` rows from row
    // `first` on, Stride() bytes apart, into `rows`. The save driver then sends a
    // band of rows per AddScanline1 and never holds the whole image; a failure
    // stops the save with that result.
    std::function<HRESULT(LONG first, LONG count, unsigned char* rows)> RowSource;

    // A zero-filled image; a gray palette for 8 bits, black and white for 1 bit, 16 grays for 4 bits.
    // Throws std::bad_alloc; dimensions must be above 0.
    static KwHostImage Make(LONG width, LONG height, LONG bitsPerPixel)
    {
        KwHostImage image;
        image.Width = width;
        image.Height = height;
        image.BitsPerPixel = bitsPerPixel;
        image.Pixels.assign(static_cast<size_t>(image.Stride()) * static_cast<size_t>(height), 0);
        LONG colors = bitsPerPixel == 1 ? 2 : bitsPerPixel == 4 ? 16 : bitsPerPixel == 8 ? 256 : 0;
        for (LONG i = 0; i < colors; ++i) {
            LONG gray = i * 255 / (colors - 1);
            image.Palette.push_back(gray | (gray << 8) | (gray << 16));
        }
        return image;
    }

    // The bytes of one row of `width` pixels: whole 32-bit words. The one row-size
    // formula of the host and its tool.
    static LONGLONG StrideFor(LONGLONG width, LONGLONG bitsPerPixel) noexcept
    {
        return (bitsPerPixel * width + 31) / 32 * 4;
    }
    LONG Stride() const noexcept { return static_cast<LONG>(StrideFor(Width, BitsPerPixel)); }
    unsigned char* Row(LONG y) noexcept { return Pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(Stride()); }
    const unsigned char* Row(LONG y) const noexcept
    {
        return Pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(Stride());
    }
};
