// Fuzz target: kwjpeg's PPM/PGM reader on the bytes of a file, read either
// whole (as into an image) or a band of rows at a time (as kwjpeg streams
// it), chosen from the size so the file stays raw; and the image read from
// the file and through a pipe, which must be the same.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "KwFuzzStreams.h"
#include "tool/KwNetpbmCodec.h"
#include "tool/KwNetpbmReader.h"
#include "tool/KwRasterImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::FILE* file = KwFuzzStreams::OpenFile(data, size);
    if (!file) return 0;
    KwNetpbmReader reader;
    std::string error;
    if (!reader.Open(file, error)) {
        if (error.empty()) std::abort();
        return 0;
    }
    // The samples are in the file: a row of the host layout holds at most
    // three padding bytes more than the file's.
    const int64_t stride = KwHostImage::StrideFor(reader.Width(), reader.BitsPerPixel());
    const uint64_t lineBytes = uint64_t(reader.Width()) * (reader.Gray() ? 1 : 3);
    if (lineBytes * uint64_t(reader.Height()) > size) std::abort();
    if (size % 3 == 0) {
        KwRasterImage image;
        if (!image.Allocate(reader.Width(), reader.Height(), reader.BitsPerPixel(), &error)) std::abort();
        if (!reader.ReadRows(image.Row(0), size_t(stride), image.Height, error)) std::abort();
    } else {
        // Rows in bands of one to four, into rows wider than the file's.
        const size_t wide = size_t(stride) + (size % 3 == 2 ? 8 : 0);
        std::vector<uint8_t> band(wide * 4);
        for (int32_t y = 0; y < reader.Height();) {
            const int32_t count = std::min<int32_t>(1 + (y + int32_t(size)) % 4, reader.Height() - y);
            if (!reader.ReadRows(band.data(), wide, count, error)) std::abort();
            y += count;
        }
    }
    std::vector<uint8_t> one(size_t(stride) + 4);
    if (reader.ReadRows(one.data(), size_t(stride), 1, error) && size < lineBytes * (uint64_t(reader.Height()) + 1))
        std::abort(); // a row past the end of the samples

    KwRasterImage whole, piped;
    std::string wholeError, pipedError;
    const bool read = KwFuzzStreams::Read<KwNetpbmCodec>(data, size, false, whole, wholeError);
    const bool readPiped = KwFuzzStreams::Read<KwNetpbmCodec>(data, size, true, piped, pipedError);
    if (!read || readPiped != read || piped.Pixels != whole.Pixels) std::abort();
    return 0;
}
