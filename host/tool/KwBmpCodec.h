// Windows bitmap files (BITMAPINFOHEADER, uncompressed): 1, 4, 8, 24 and 32 bits.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "KwRasterImage.h"

class KwBmpCodec {
public:
    // Reads a bottom-up or top-down uncompressed bitmap from a stream at the
    // file's first byte (left open): the headers, then only the palette and rows
    // they point to, so a file's trailing bytes cost nothing. A stream that
    // cannot seek is read forward. On failure returns false with a message that
    // says what is wrong with the file. An image above `maxPixels` is refused
    // at its header; a 32-bit image with an alpha mask is put on white.
    static bool Read(std::FILE* file, KwRasterImage& image, std::string& error,
                     unsigned long long maxPixels = KwRasterImage::DefaultMaxPixels);
    // Writes the image as it is laid out (rows bottom-up, as BMP wants).
    static bool Write(const std::string& path, const KwRasterImage& image, std::string& error);
};
