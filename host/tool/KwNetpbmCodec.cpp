#include "KwNetpbmCodec.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

// Reads the next header number, skipping white space and comments.
bool NextNumber(const std::vector<uint8_t>& data, size_t& pos, long& value)
{
    for (;;) {
        while (pos < data.size() && std::isspace(data[pos])) ++pos;
        if (pos < data.size() && data[pos] == '#') {
            while (pos < data.size() && data[pos] != '\n') ++pos;
            continue;
        }
        break;
    }
    if (pos >= data.size() || !std::isdigit(data[pos])) return false;
    value = 0;
    while (pos < data.size() && std::isdigit(data[pos])) {
        value = value * 10 + (data[pos] - '0');
        if (value > 1000000000) return false;
        ++pos;
    }
    return true;
}

} // namespace

bool KwNetpbmCodec::Read(const std::string& path, KwRasterImage& image, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = std::strerror(errno);
        return false;
    }
    // One read of the whole file where its size is known (a pipe is read piecemeal).
    std::vector<uint8_t> data;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size >= 0 && in.seekg(0, std::ios::beg)) {
        data.resize(static_cast<size_t>(size));
        in.read(reinterpret_cast<char*>(data.data()), size);
        data.resize(static_cast<size_t>(in.gcount()));
    } else {
        in.clear();
        data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (data.size() < 2 || data[0] != 'P' || (data[1] != '5' && data[1] != '6')) {
        error = "not a binary PPM or PGM file (expected P6 or P5)";
        return false;
    }
    bool gray = data[1] == '5';
    size_t pos = 2;
    long width = 0, height = 0, maxval = 0;
    if (!NextNumber(data, pos, width) || !NextNumber(data, pos, height) || !NextNumber(data, pos, maxval)) {
        error = "damaged PPM/PGM header";
        return false;
    }
    if (maxval != 255) {
        error = "only 8-bit samples (maxval 255) are supported, the file has maxval " + std::to_string(maxval);
        return false;
    }
    ++pos; // the single white-space byte before the samples
    if (width > INT32_MAX || height > INT32_MAX) {
        error = "image too large";
        return false;
    }
    if (!image.Allocate(int32_t(width), int32_t(height), gray ? 8 : 24, &error)) return false;
    size_t channels = gray ? 1 : 3;
    uint64_t needed = uint64_t(width) * uint64_t(height) * channels;
    if (pos > data.size() || data.size() - pos < needed) {
        error = "pixel data is cut short";
        return false;
    }
    const uint8_t* src = data.data() + pos;
    for (int32_t y = 0; y < image.height; ++y) {
        uint8_t* row = image.Row(y);
        if (gray) {
            std::memcpy(row, src, size_t(width));
            src += width;
        } else {
            for (long x = 0; x < width; ++x, src += 3) {
                row[3 * x] = src[2];
                row[3 * x + 1] = src[1];
                row[3 * x + 2] = src[0];
            }
        }
    }
    if (gray) {
        image.palette.resize(256);
        for (uint32_t i = 0; i < 256; ++i) image.palette[i] = (i << 16) | (i << 8) | i;
    }
    return true;
}

bool KwNetpbmCodec::Write(const std::string& path, const KwRasterImage& image, bool gray, std::string& error)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        error = std::strerror(errno);
        return false;
    }
    std::fprintf(f, "P%c\n%d %d\n255\n", gray ? '5' : '6', image.width, image.height);
    std::vector<uint8_t> line(size_t(image.width) * (gray ? 1 : 3));
    // The common depths row by row; the others pixel by pixel.
    uint32_t colours[256] = {};
    if (image.bitsPerPixel == 8)
        for (uint32_t i = 0; i < 256; ++i) colours[i] = i < image.palette.size() ? image.palette[i] : 0;
    bool ok = true;
    for (int32_t y = 0; y < image.height && ok; ++y) {
        const uint8_t* row = image.Row(y);
        if (image.bitsPerPixel == 24 && !gray) {
            for (int32_t x = 0; x < image.width; ++x, row += 3) {
                line[3 * size_t(x)] = row[2];
                line[3 * size_t(x) + 1] = row[1];
                line[3 * size_t(x) + 2] = row[0];
            }
            ok = std::fwrite(line.data(), 1, line.size(), f) == line.size();
            continue;
        }
        if (image.bitsPerPixel == 8) {
            for (int32_t x = 0; x < image.width; ++x) {
                const uint32_t rgb = colours[row[x]];
                if (gray) {
                    line[size_t(x)] = uint8_t(rgb & 0xFF);
                } else {
                    line[3 * size_t(x)] = uint8_t(rgb >> 16);
                    line[3 * size_t(x) + 1] = uint8_t(rgb >> 8);
                    line[3 * size_t(x) + 2] = uint8_t(rgb);
                }
            }
            ok = std::fwrite(line.data(), 1, line.size(), f) == line.size();
            continue;
        }
        for (int32_t x = 0; x < image.width; ++x) {
            uint32_t rgb = image.PixelRgb(x, y);
            if (gray) {
                line[size_t(x)] = uint8_t(rgb & 0xFF);
            } else {
                line[3 * size_t(x)] = uint8_t(rgb >> 16);
                line[3 * size_t(x) + 1] = uint8_t(rgb >> 8);
                line[3 * size_t(x) + 2] = uint8_t(rgb);
            }
        }
        ok = std::fwrite(line.data(), 1, line.size(), f) == line.size();
    }
    ok = (std::fclose(f) == 0) && ok;
    if (!ok) error = "could not write all bytes (disk full?)";
    return ok;
}
