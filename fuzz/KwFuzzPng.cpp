// Fuzz target: kwjpeg's PNG reader (our walk over the chunks before the image
// data, then libpng's simple reader) on the bytes of a file, and the same
// bytes through a pipe, which must read the same.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "KwFuzzStreams.h"
#include "tool/KwPngCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    KwRasterImage image;
    std::string error;
    const bool read = KwFuzzStreams::Read<KwPngCodec>(data, size, false, image, error);
    if (read) {
        // Deflate's 1032:1 and at most 24 bits out for each bit in bound the rows.
        if (uint64_t(image.Stride()) * uint64_t(image.Height) > (uint64_t(size) * 1032 + 65536) * 24 + 3u * image.Height ||
            !(image.DpiX >= 0 && image.DpiY >= 0))
            std::abort();
        for (int32_t y = 0; y < image.Height; y += 1 + image.Height / 16)
            for (int32_t x = 0; x < image.Width; x += 1 + image.Width / 16) image.PixelRgb(x, y);
    } else if (error.empty()) {
        std::abort();
    }

    KwRasterImage piped;
    std::string pipedError;
    const bool readPiped = KwFuzzStreams::Read<KwPngCodec>(data, size, true, piped, pipedError);
    if (readPiped != read || (read && (piped.Pixels != image.Pixels || piped.DpiX != image.DpiX ||
                                       piped.DpiY != image.DpiY)))
        std::abort();
    return 0;
}
