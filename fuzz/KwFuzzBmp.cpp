// Fuzz target: kwjpeg's BMP reader on the bytes of a file.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "KwBmpCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    KwRasterImage image;
    std::string error;
    if (KwBmpCodec::Parse(data, size, image, error)) {
        // Every row came from the file: the rows take no more than it holds.
        if (image.pixels.size() > size || image.palette.size() > 256) std::abort();
        for (int32_t y = 0; y < image.height; y += 1 + image.height / 16)
            for (int32_t x = 0; x < image.width; x += 1 + image.width / 16) image.PixelRgb(x, y);
    } else if (error.empty()) {
        std::abort();
    }
    return 0;
}
