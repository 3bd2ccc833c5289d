// The image information read from a JPEG file's header: frame size and kind,
// the first comment, and the camera values of the EXIF block.
#pragma once

#include <cstdint>

// Zero-filled means "nothing known": empty texts, zero numbers, no thumbnail.
struct JpegMetadata {
    char ExifVersion[5];       // four characters, e.g. 0220
    char Make[32];             // at most 31 characters
    char Model[40];            // at most 39 characters
    char DateTimeOriginal[20]; // at most 19 characters ("YYYY:MM:DD HH:MM:SS")
    int32_t ImageHeight;       // lines, from the frame header
    int32_t ImageWidth;        // samples per line, from the frame header
    int32_t Orientation;       // 1 to 8, of the first directory (the image's); 0 when absent or invalid
    int32_t IsColor;           // 1 when the frame has exactly 3 components
    int32_t FrameMarker;       // the SOFn marker code, e.g. 0xC0
    int32_t FlashFired;        // 1 or 0
    float FocalLength;
    float ExposureTime;        // seconds
    float FNumber;
    float SubjectDistance;
    float SensorWidth;         // inches, derived from the focal-plane resolution
    float ExposureBias;
    int32_t LightSource;
    int32_t MeteringMode;
    int32_t ExposureProgram;
    int32_t IsoSpeed;
    int32_t CompressedBitsPerPixel;
    float FocalPlaneXResolution;
    float FocalPlaneYResolution;
    float FocalPlaneUnitInches; // length of the focal-plane resolution unit
    float XResolution;
    float YResolution;
    float ResolutionUnitInches; // length of the resolution unit
    // The image's own resolution: from the first directory alone, since the
    // next one describes the thumbnail. The unit as its code (0 when absent).
    float ImageXResolution;
    float ImageYResolution;
    int32_t ImageResolutionUnit;
    float BrightnessValue;
    char Comment[1004];         // first COM section (at most 998 characters) or the EXIF user comment
    // The thumbnail, as an offset from the start of the TIFF header of the EXIF
    // block (the block itself is not kept); none when zero.
    uint32_t ThumbnailOffset;
    uint32_t ThumbnailLength;
    bool HasExif;               // the EXIF block was parsed without a fatal error
};
