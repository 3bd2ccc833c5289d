// Fuzz target: kwjpeg's BMP reader on the bytes of a file, through a stream
// that seeks (as a file) and, for what that reads, through one that cannot (as
// a pipe, which reads the same unless it would have to go back).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tool/KwBmpCodec.h"
#include "KwFuzzStreams.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    KwRasterImage image;
    std::string error;
    const bool read = KwFuzzStreams::Read<KwBmpCodec>(data, size, false, image, error);
    if (read) {
        // Every row came from the file: the rows take no more than it holds.
        if (image.Pixels.size() > size || image.Palette.size() > 256) std::abort();
        for (int32_t y = 0; y < image.Height; y += 1 + image.Height / 16)
            for (int32_t x = 0; x < image.Width; x += 1 + image.Width / 16) image.PixelRgb(x, y);
    } else if (error.empty()) {
        std::abort();
    }

    if (!read) return 0; // a pipe could declare rows it never holds, and take memory for them
    KwRasterImage piped;
    std::string pipedError;
    const bool readPiped = KwFuzzStreams::Read<KwBmpCodec>(data, size, true, piped, pipedError);
    if (readPiped ? piped.Pixels != image.Pixels || piped.Palette != image.Palette
                  : pipedError.rfind("BMP pixel data at offset ", 0) != 0)
        std::abort();
    return 0;
}
