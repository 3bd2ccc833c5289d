// Binary PPM (P6) and PGM (P5) files with 8-bit samples.
#pragma once

#include <string>

#include "KwRasterImage.h"

class KwNetpbmCodec {
public:
    // Reads P5 as an 8-bit gray-palette image and P6 as 24-bit B, G, R rows.
    static bool Read(const std::string& path, KwRasterImage& image, std::string& error);
    // Writes P5 when gray is true (the image must be 8-bit with a gray palette), else P6.
    static bool Write(const std::string& path, const KwRasterImage& image, bool gray, std::string& error);
};
