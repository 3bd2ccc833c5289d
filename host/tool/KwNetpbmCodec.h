// Binary PPM (P6) and PGM (P5) files with 8-bit samples.
#pragma once

#include <cstdio>
#include <string>

#include "KwRasterImage.h"

class KwNetpbmCodec {
public:
    // Reads P5 as an 8-bit gray-palette image and P6 as 24-bit B, G, R rows;
    // an image above `maxPixels` is refused at its header.
    static bool Read(const std::string& path, KwRasterImage& image, std::string& error,
                     unsigned long long maxPixels = KwRasterImage::DefaultMaxPixels);
    // The same from a stream open for reading (left open).
    static bool Read(std::FILE* file, KwRasterImage& image, std::string& error,
                     unsigned long long maxPixels = KwRasterImage::DefaultMaxPixels);
    // Writes P5 when gray is true (the image must be 8-bit with a gray palette), else P6.
    static bool Write(const std::string& path, const KwRasterImage& image, bool gray, std::string& error);
};
