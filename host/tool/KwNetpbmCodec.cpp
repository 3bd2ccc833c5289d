#include "KwNetpbmCodec.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "KwNetpbmReader.h"
#include "KwPixelSwap.h"

bool KwNetpbmCodec::Read(const std::string& path, KwRasterImage& image, std::string& error)
{
    KwNetpbmReader reader;
    if (!reader.Open(path, error)) return false;
    if (!image.Allocate(reader.Width(), reader.Height(), reader.BitsPerPixel(), &error)) return false;
    if (!reader.ReadRows(image.Row(0), static_cast<size_t>(image.Stride()), image.height, error)) return false;
    if (reader.Gray()) {
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
            KwPixelSwap::SwapRedBlue(row, line.data(), size_t(image.width));
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
