// Image files by extension: .bmp, .ppm, .pgm and .png, read and written.
#pragma once

#include <cstdio>
#include <string>

#include "KwRasterImage.h"

class KwImageFiles {
public:
    // "bmp", "ppm", "pgm", "png", "jpg" (also for .jpeg/.jfif/.jfi), or "" when unknown.
    static std::string FormatOf(const std::string& path);
    static bool IsJpegPath(const std::string& path) { return FormatOf(path) == "jpg"; }

    // What the first bytes of a file say it is: "jpg", "png", "bmp", "ppm" (for
    // PPM and PGM alike), or "". One byte (all a pipe can be looked into by)
    // tells them apart; a second is checked when there is one.
    static std::string FormatOfContent(const unsigned char* head, size_t size);
    // "a PNG file", "a BMP file", "a PPM or PGM file" for a format of FormatOfContent.
    static std::string Described(const std::string& format);

    // Reads the image at `path` as `format` (bmp, ppm, pgm or png; "": by its
    // extension), refusing one above `maxPixels` at its header. From `stream`
    // when one is given (standard input, a pipe already looked into), which is
    // then closed (standard input stays open).
    static bool Read(const std::string& path, KwRasterImage& image, std::string& error,
                     unsigned long long maxPixels = KwRasterImage::DefaultMaxPixels,
                     const std::string& format = std::string(), std::FILE* stream = nullptr);
    // Writes through a temporary file in the same folder, renamed into place only
    // when everything was written, so a failure never leaves a partial file.
    // *warning, when given, says what the file could not keep (the colour profile).
    static bool Write(const std::string& path, const KwRasterImage& image, std::string& error,
                      std::string* warning = nullptr);
    // Why a BMP, PPM or PGM file written by the tool goes without the image's colour profile.
    static std::string ProfileDropped(const std::string& format);

    // A temporary name beside `path`, and the final rename (false with a message on failure),
    // or its removal. The name is known to KwTemporaryFiles until it is renamed or removed.
    static std::string TemporaryPathFor(const std::string& path);
    static bool CommitTemporary(const std::string& temporary, const std::string& path, std::string& error);
    static void DiscardTemporary(const std::string& temporary);
};
