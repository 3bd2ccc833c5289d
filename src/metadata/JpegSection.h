// One marker section of a JPEG header, as kept by JpegSectionReader.
#pragma once

#include <cstdint>

struct JpegSection {
    // The section as stored after its marker: the two length bytes (high byte
    // first), then the payload. Length bytes long; owned by the reader.
    unsigned char* Data;
    int32_t Type;   // the marker code, e.g. 0xDB for DQT
    int32_t Length; // the length field, which counts its own two bytes
};
