// An ICC colour profile as the tool carries it from one file to another: what
// it is called, how a PNG file holds it (iCCP) and how a JPEG file does (APP2
// chunks). A profile comes from the file being read: everything in it is
// checked before use.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class KwColourProfile {
public:
    // The data one APP2 chunk carries after its 14 bytes of "ICC_PROFILE\0",
    // sequence number and count; at most 255 chunks.
    static constexpr size_t ChunkBytes = 65519;
    static constexpr size_t MaxBytes = 255 * ChunkBytes;

    // The profile's description (its 'desc' tag: the ASCII text of a version 2
    // profile, the first record of a version 4 'mluc'), as UTF-8 without control
    // characters; "" when it has none that can be read.
    static std::string Description(const std::vector<uint8_t>& profile);

    // The profile from the data of a PNG iCCP chunk (name, compression method,
    // zlib stream); false when the data is damaged or holds more than MaxBytes.
    static bool FromPngChunk(const uint8_t* data, size_t size, std::vector<uint8_t>& profile);

    // The APP2 segments, markers included, that carry the profile in a JPEG
    // file, laid out as the codec's jpeg_write_icc_profile writes them; empty
    // for an empty profile or one larger than MaxBytes.
    static std::vector<uint8_t> JpegSegments(const std::vector<uint8_t>& profile);
};
