// Windows bitmap files (BITMAPINFOHEADER, uncompressed): 1, 4, 8, 24 and 32 bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "KwRasterImage.h"

class KwBmpCodec {
public:
    // Reads a bottom-up or top-down uncompressed bitmap. On failure returns
    // false with a message that says what is wrong with the file.
    static bool Read(const std::string& path, KwRasterImage& image, std::string& error);
    // The same from the file's bytes in memory.
    static bool Parse(const uint8_t* data, size_t size, KwRasterImage& image, std::string& error);
    // Writes the image as it is laid out (rows bottom-up, as BMP wants).
    static bool Write(const std::string& path, const KwRasterImage& image, std::string& error);
};
