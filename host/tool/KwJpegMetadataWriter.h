// What a JPEG file keeps beyond its pixels when the tool writes it: the EXIF
// block of a JPEG it came from and the colour profile of the image. The save
// filter writes neither; the tool puts them into the finished file, after its
// JFIF header (SOI, APP0 JFIF, APP1 EXIF, APP2 profile chunks, then the rest),
// as cjpeg -icc and exiftool place them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class KwJpegMetadataWriter {
public:
    // `exif` from "Exif" on (at most 65533 bytes), `profile` the whole ICC
    // profile (at most KwColourProfile::MaxBytes); either may be empty. False,
    // with the reason, when the file has no JFIF header or cannot be rewritten.
    static bool Write(const std::string& path, const std::vector<uint8_t>& exif, const std::vector<uint8_t>& profile,
                      std::string& error);
};
