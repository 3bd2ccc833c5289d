// The EXIF block of a JPEG file (its first APP1 segment that starts with
// "Exif\0\0"), kept whole when a JPEG is converted to JPEG.
#pragma once

#include <cstdint>
#include <vector>

#include "KwPlatform.h"

class KwExifBlock {
public:
    // The payload of one segment: at most 65533 bytes after its length field.
    static constexpr size_t MaxBytes = 65533;

    // The block's bytes from "Exif" on, read from the start of the stream up to
    // the first scan; empty when the file has none. The stream is left at its start.
    static std::vector<uint8_t> Read(IStream* stream);
    // Sets the Orientation of IFD0 to 1 (as stored), in place and in the
    // block's byte order: for a block whose image was turned upright. False
    // when IFD0 has no Orientation entry the block can hold.
    static bool SetUpright(std::vector<uint8_t>& block);
};
