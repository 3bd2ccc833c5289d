// PNG files through libpng: read as 24-bit B, G, R rows (gray files as 8-bit
// gray-palette images), written as RGB or gray with 8-bit samples.
#pragma once

#include <cstdio>
#include <string>

#include "KwRasterImage.h"

class KwPngCodec {
public:
    // From a stream open for reading (left open); a pipe is read whole, up to
    // KwPipeInput::LimitFor(maxPixels) bytes. An image above `maxPixels` is
    // refused at its header; transparency is put on white.
    static bool Read(std::FILE* file, KwRasterImage& image, std::string& error,
                     unsigned long long maxPixels = KwRasterImage::DefaultMaxPixels);
    // With the image's colour profile in iCCP; *warning says so when it had to be left out.
    static bool Write(const std::string& path, const KwRasterImage& image, bool gray, std::string& error,
                      std::string* warning = nullptr);
};
