#include "KwNetpbmReader.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "KwFileSeek.h"
#include "KwPaths.h"
#include "KwPixelSwap.h"
#include "KwRasterImage.h"

namespace {

// Rows are read a band of about this many bytes at a time.
const size_t BandBytes = 1u << 20;

} // namespace

KwNetpbmReader::~KwNetpbmReader()
{
    if (m_File && m_File != stdin) std::fclose(m_File);
}

// The next header number, after white space and comments.
bool KwNetpbmReader::NextNumber(long& value)
{
    int c = std::fgetc(m_File);
    for (;;) {
        while (c != EOF && std::isspace(c)) c = std::fgetc(m_File);
        if (c != '#') break;
        while (c != EOF && c != '\n') c = std::fgetc(m_File);
    }
    if (c == EOF || !std::isdigit(c)) return false;
    value = 0;
    for (; c != EOF && std::isdigit(c); c = std::fgetc(m_File)) {
        // Bounded before it grows: a long is 32 bits on Windows.
        if (value > (1000000000 - (c - '0')) / 10) return false;
        value = value * 10 + (c - '0');
    }
    // The character after the digits is consumed: after the last number it is
    // the single white-space byte that precedes the samples. A comment there
    // runs to the end of its line, and that line end is the separator.
    if (c == '#') {
        while (c != EOF && c != '\n') c = std::fgetc(m_File);
        return c != EOF;
    }
    return c == EOF || std::isspace(c);
}

bool KwNetpbmReader::Open(const std::string& path, std::string& error, unsigned long long maxPixels)
{
    std::FILE* file = KwPaths::Open(path, "rb");
    if (!file) {
        error = std::strerror(errno);
        return false;
    }
    return Open(file, error, maxPixels);
}

bool KwNetpbmReader::Open(std::FILE* file, std::string& error, unsigned long long maxPixels)
{
    if (m_File && m_File != stdin) std::fclose(m_File);
    m_File = file;
    const int p = std::fgetc(m_File);
    const int kind = std::fgetc(m_File);
    if (p != 'P' || (kind != '5' && kind != '6')) {
        error = "not a binary PPM or PGM file (expected P6 or P5)";
        return false;
    }
    m_Gray = kind == '5';
    long width = 0, height = 0, maxval = 0;
    if (!NextNumber(width) || !NextNumber(height) || !NextNumber(maxval)) {
        error = "damaged PPM/PGM header";
        return false;
    }
    if (maxval != 255) {
        error = "only 8-bit samples (maxval 255) are supported, the file has maxval " + std::to_string(maxval);
        return false;
    }
    if (width <= 0 || height <= 0) {
        error = "the image has no pixels (" + std::to_string(width) + " x " + std::to_string(height) + ")";
        return false;
    }
    if (!KwRasterImage::WithinPixelLimit(uint64_t(width), uint64_t(height), maxPixels, error)) return false;
    if (KwHostImage::StrideFor(width, BitsPerPixel()) * height > KwRasterImage::MaxImageBytes) {
        error = "the image is too large (" + std::to_string(width) + " x " + std::to_string(height) + ")";
        return false;
    }
    // The samples must be in the file before anyone takes memory for them: a
    // header of a few bytes can declare gigabytes. (A pipe has no size to ask;
    // there the reads find the end.)
    const long long samples = static_cast<long long>(width) * height * (m_Gray ? 1 : 3);
    const long long left = KwFileSeek::BytesLeft(m_File);
    m_Sized = left >= 0;
    if (left >= 0 && left < samples) {
        error = "pixel data is cut short (" + std::to_string(width) + " x " + std::to_string(height) + " needs " +
                std::to_string(samples) + " bytes of samples, the file holds " + std::to_string(left) + ")";
        return false;
    }
    m_Width = static_cast<int32_t>(width);
    m_Height = static_cast<int32_t>(height);
    return true;
}

bool KwNetpbmReader::ReadRows(uint8_t* rows, size_t stride, int32_t count, std::string& error)
{
    const size_t lineBytes = static_cast<size_t>(m_Width) * (m_Gray ? 1 : 3);
    while (count > 0) {
        // The samples of several rows in one read, then spread to their strides.
        const size_t fit = BandBytes / lineBytes;
        const int32_t lines = static_cast<int32_t>(fit == 0 ? 1 : (fit < size_t(count) ? fit : size_t(count)));
        const size_t bytes = lineBytes * static_cast<size_t>(lines);
        if (stride == lineBytes && m_Gray) {
            if (std::fread(rows, 1, bytes, m_File) != bytes) break;
        } else {
            if (m_Band.size() < bytes) m_Band.resize(bytes);
            if (std::fread(m_Band.data(), 1, bytes, m_File) != bytes) break;
            for (int32_t y = 0; y < lines; ++y) {
                const uint8_t* line = m_Band.data() + static_cast<size_t>(y) * lineBytes;
                uint8_t* row = rows + static_cast<size_t>(y) * stride;
                if (m_Gray)
                    std::memcpy(row, line, lineBytes);
                else
                    KwPixelSwap::SwapRedBlue(line, row, static_cast<size_t>(m_Width));
            }
        }
        rows += static_cast<size_t>(lines) * stride;
        count -= lines;
    }
    if (count > 0) {
        error = std::ferror(m_File) ? std::string("cannot read the pixel data: ") + std::strerror(errno)
                                    : "pixel data is cut short";
        return false;
    }
    return true;
}
