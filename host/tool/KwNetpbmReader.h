// Reads a binary PPM (P6) or PGM (P5) file with 8-bit samples a band of rows at
// a time, straight into the host's row layout: B, G, R for P6, one byte for P5.
// A converter holds a band, never the whole image.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "KwRasterImage.h"

class KwNetpbmReader {
public:
    KwNetpbmReader() = default;
    KwNetpbmReader(const KwNetpbmReader&) = delete;
    KwNetpbmReader& operator=(const KwNetpbmReader&) = delete;
    ~KwNetpbmReader();

    // Opens the file and reads its header; false with a message on failure,
    // also for an image above `maxPixels`.
    bool Open(const std::string& path, std::string& error,
              unsigned long long maxPixels = KwRasterImage::DefaultMaxPixels);
    // The same from a file already open (a memory stream, standard input),
    // which the reader then owns and closes (standard input stays open).
    bool Open(std::FILE* file, std::string& error, unsigned long long maxPixels = KwRasterImage::DefaultMaxPixels);
    int32_t Width() const { return m_Width; }
    int32_t Height() const { return m_Height; }
    bool Gray() const { return m_Gray; }
    int32_t BitsPerPixel() const { return m_Gray ? 8 : 24; }
    // False when the file is a pipe, whose size is known only at its end.
    bool Sized() const { return m_Sized; }

    // Lets go of the file without closing it: its opener closes it.
    void Release() { m_File = nullptr; }

    // Reads the next `count` rows into `rows`, `stride` bytes apart (at least
    // the row's bytes). False with a message when the file ends early.
    bool ReadRows(uint8_t* rows, size_t stride, int32_t count, std::string& error);

private:
    bool NextNumber(long& value);

    std::FILE* m_File = nullptr;
    int32_t m_Width = 0;
    int32_t m_Height = 0;
    bool m_Gray = false;
    bool m_Sized = false;
    std::vector<uint8_t> m_Band;
};
