// Turns the host's stored raster rows (1, 4 or 8-bit palette indices, 5-5-5
// words, B, G, R or B, G, R and a fourth byte) into the R, G, B samples the
// codec compresses. Rows are read from the left, width pixels each.
#pragma once

#include <cstdint>

#include "KwPlatform.h"

class KwHostRowConverter {
public:
    // Palette entries are 0x00RRGGBB: blue in byte 0, green in byte 1, red in byte 2.
    static constexpr int MaxColors = 256;

    // Whether a row of this depth can be converted.
    static bool Converts(LONG bitsPerPixel) noexcept;

    // Sets the rows to come: width pixels of bitsPerPixel, and the palette's
    // MaxColors entries (null for none: every entry black).
    void Prepare(LONG width, LONG bitsPerPixel, const uint32_t* colors) noexcept;

    // One stored row into width red, green, blue triples.
    void Convert(const unsigned char* stored, unsigned char* rgb) const noexcept;

private:
    LONG m_Width = 0;
    LONG m_BitsPerPixel = 0;
    uint32_t m_Colors[MaxColors] = {};
    // The palette as red, green, blue bytes in memory order, for 8-bit rows.
    uint32_t m_PackedColors[MaxColors] = {};
};
