#include "KwNetpbmCodec.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "KwNetpbmReader.h"
#include "KwNetpbmRowWriter.h"
#include "KwPaths.h"

bool KwNetpbmCodec::Read(const std::string& path, KwRasterImage& image, std::string& error, unsigned long long maxPixels)
{
    std::FILE* file = KwPaths::Open(path, "rb");
    if (!file) {
        error = std::strerror(errno);
        return false;
    }
    const bool ok = Read(file, image, error, maxPixels);
    std::fclose(file);
    return ok;
}

bool KwNetpbmCodec::Read(std::FILE* file, KwRasterImage& image, std::string& error, unsigned long long maxPixels)
{
    KwNetpbmReader reader;
    // The reader owns what it opens; this stream stays its caller's.
    struct Lender {
        KwNetpbmReader& Reader;
        ~Lender() { Reader.Release(); }
    } lent{reader};
    if (!reader.Open(file, error, maxPixels)) return false;
    // From a pipe the rows take memory a band at a time, as they arrive.
    if (!image.Allocate(reader.Width(), reader.Height(), reader.BitsPerPixel(), &error, reader.Sized())) return false;
    const size_t stride = static_cast<size_t>(image.Stride());
    const int32_t band = reader.Sized() ? image.Height : int32_t(std::max<size_t>(1, (size_t(1) << 20) / stride));
    for (int32_t y = 0; y < image.Height; y += band) {
        const int32_t count = std::min(band, image.Height - y);
        if (!reader.Sized()) image.Pixels.resize(image.Pixels.size() + size_t(count) * stride);
        if (!reader.ReadRows(image.Row(y), stride, count, error)) return false;
    }
    if (reader.Gray()) {
        image.Palette.resize(256);
        for (uint32_t i = 0; i < 256; ++i) image.Palette[i] = (i << 16) | (i << 8) | i;
    }
    return true;
}

bool KwNetpbmCodec::Write(const std::string& path, const KwRasterImage& image, bool gray, std::string& error)
{
    // The depths the load filter delivers go through the same writer as streamed rows.
    if (image.BitsPerPixel == 8 || image.BitsPerPixel == 24) {
        KwNetpbmRowWriter writer(path, gray);
        std::vector<LONG> palette(image.Palette.begin(), image.Palette.end());
        bool ok = SUCCEEDED(writer.Begin(image.Width, image.Height, image.BitsPerPixel, palette));
        const LONG stride = static_cast<LONG>(image.Stride());
        for (int32_t y = 0; ok && y < image.Height; ++y) ok = SUCCEEDED(writer.Rows(y, 1, image.Row(y), stride));
        if (!ok) {
            error = writer.Error();
            return false;
        }
        return writer.Finish(error);
    }
    FILE* f = KwPaths::Create(path, error);
    if (!f) return false;
    std::fprintf(f, "P%c\n%d %d\n255\n", gray ? '5' : '6', image.Width, image.Height);
    std::vector<uint8_t> line(size_t(image.Width) * (gray ? 1 : 3));
    bool ok = true;
    // Other depths pixel by pixel.
    for (int32_t y = 0; y < image.Height && ok; ++y) {
        for (int32_t x = 0; x < image.Width; ++x) {
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
