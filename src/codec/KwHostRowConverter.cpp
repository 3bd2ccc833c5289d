#include "KwHostRowConverter.h"

#include <cstring>

namespace {

// A 5-bit channel widened to 8 bits so that 0 stays 0 and 31 becomes 255.
inline unsigned char Widen5(unsigned value) { return static_cast<unsigned char>((value << 3) | (value >> 2)); }

inline void PutPaletteEntry(uint32_t entry, unsigned char* rgb)
{
    rgb[0] = static_cast<unsigned char>(entry >> 16);
    rgb[1] = static_cast<unsigned char>(entry >> 8);
    rgb[2] = static_cast<unsigned char>(entry);
}

inline uint32_t ReadU16(const unsigned char* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8);
}

} // namespace

bool KwHostRowConverter::Converts(LONG bitsPerPixel) noexcept
{
    switch (bitsPerPixel) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
        return true;
    default:
        return false;
    }
}

void KwHostRowConverter::Prepare(LONG width, LONG bitsPerPixel, const uint32_t* colors) noexcept
{
    m_Width = width;
    m_BitsPerPixel = bitsPerPixel;
    if (colors) std::memcpy(m_Colors, colors, sizeof(m_Colors));
    else std::memset(m_Colors, 0, sizeof(m_Colors));
    // Four bytes a pixel for 8-bit rows: red, green, blue in memory order and a spare.
    if (bitsPerPixel != 8) return;
    for (int i = 0; i < MaxColors; ++i) {
        const uint32_t entry = m_Colors[i];
        const unsigned char bytes[4] = {static_cast<unsigned char>(entry >> 16), static_cast<unsigned char>(entry >> 8),
                                        static_cast<unsigned char>(entry), 0};
        std::memcpy(&m_PackedColors[i], bytes, 4);
    }
}

void KwHostRowConverter::Convert(const unsigned char* stored, unsigned char* rgb) const noexcept
{
    const LONG width = m_Width;
    switch (m_BitsPerPixel) {
    case 1:
        // A set bit selects entry 0, a clear bit entry 1.
        for (LONG x = 0; x < width; ++x, rgb += 3) {
            const bool set = (stored[x >> 3] & (0x80u >> (x & 7))) != 0;
            PutPaletteEntry(m_Colors[set ? 0 : 1], rgb);
        }
        break;
    case 4:
        // The leftmost pixel of a byte is its low nibble.
        for (LONG x = 0; x < width; ++x, rgb += 3) {
            const unsigned byte = stored[x >> 1];
            PutPaletteEntry(m_Colors[(x & 1) ? (byte >> 4) : (byte & 0x0F)], rgb);
        }
        break;
    case 8:
        // Four bytes a pixel, the fourth overwritten by the next pixel; the last writes its three.
        for (LONG x = 0; x + 1 < width; ++x, rgb += 3) std::memcpy(rgb, &m_PackedColors[stored[x]], 4);
        if (width > 0) PutPaletteEntry(m_Colors[stored[width - 1]], rgb);
        break;
    case 16:
        // 5-5-5 little-endian words: blue in bits 0-4, green 5-9, red 10-14.
        for (LONG x = 0; x < width; ++x, rgb += 3, stored += 2) {
            const uint32_t word = ReadU16(stored);
            rgb[0] = Widen5((word >> 10) & 0x1F);
            rgb[1] = Widen5((word >> 5) & 0x1F);
            rgb[2] = Widen5(word & 0x1F);
        }
        break;
    case 24:
        for (LONG x = 0; x < width; ++x, rgb += 3, stored += 3) {
            rgb[0] = stored[2];
            rgb[1] = stored[1];
            rgb[2] = stored[0];
        }
        break;
    case 32:
        // Blue, green, red and a fourth byte that carries nothing for JPEG.
        for (LONG x = 0; x < width; ++x, rgb += 3, stored += 4) {
            rgb[0] = stored[2];
            rgb[1] = stored[1];
            rgb[2] = stored[0];
        }
        break;
    default:
        break;
    }
}
