#include "KwBmpCodec.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24); }
void Put16(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

} // namespace

bool KwBmpCodec::Read(const std::string& path, KwRasterImage& image, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = std::strerror(errno);
        return false;
    }
    std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return Parse(data.data(), data.size(), image, error);
}

bool KwBmpCodec::Parse(const uint8_t* data, size_t size, KwRasterImage& image, std::string& error)
{
    if (size < 54 || data[0] != 'B' || data[1] != 'M') {
        error = "not a BMP file (no 'BM' header)";
        return false;
    }
    uint32_t pixelOffset = Le32(&data[10]);
    uint32_t headerSize = Le32(&data[14]);
    if (headerSize < 40 || 14 + uint64_t(headerSize) > size) {
        error = "unsupported BMP header (size " + std::to_string(headerSize) + ")";
        return false;
    }
    int32_t width = int32_t(Le32(&data[18]));
    int32_t rawHeight = int32_t(Le32(&data[22]));
    uint16_t bpp = Le16(&data[28]);
    uint32_t compression = Le32(&data[30]);
    uint32_t colorsUsed = Le32(&data[46]);
    if (compression != 0 && !(compression == 3 && bpp == 32)) {
        error = "compressed BMP files are not supported (compression " + std::to_string(compression) + ")";
        return false;
    }
    if (compression == 3) {
        // The masks follow the 40-byte header (or are its next fields); only
        // the usual 8-bit blue, green, red order is laid out as our rows are.
        if (size < 66) {
            error = "BMP colour masks run past the end of the file";
            return false;
        }
        if (Le32(&data[54]) != 0x00FF0000u || Le32(&data[58]) != 0x0000FF00u || Le32(&data[62]) != 0x000000FFu) {
            error = "unsupported BMP colour masks (only 8-bit red, green and blue in the usual order)";
            return false;
        }
    }
    if (rawHeight == INT32_MIN || width <= 0 || rawHeight == 0) {
        error = "BMP file declares no pixels";
        return false;
    }
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) {
        error = "unsupported depth of " + std::to_string(bpp) + " bits per pixel";
        return false;
    }
    bool topDown = rawHeight < 0;
    int32_t height = topDown ? -rawHeight : rawHeight;
    // The rows must be in the file before any memory is taken for them: a
    // header of a few bytes can declare gigabytes.
    const uint64_t stride = uint64_t(KwRasterImage::StrideFor(width, bpp));
    if (pixelOffset > size || stride * uint64_t(height) > size - pixelOffset) {
        error = "BMP pixel data is cut short (" + std::to_string(width) + " x " + std::to_string(height) + " at " +
                std::to_string(bpp) + " bits needs " + std::to_string(stride * uint64_t(height)) +
                " bytes from offset " + std::to_string(pixelOffset) + ", the file holds " + std::to_string(size) + ")";
        return false;
    }
    std::vector<uint32_t> palette;
    if (bpp <= 8) {
        uint32_t entries = colorsUsed ? colorsUsed : (1u << bpp);
        if (entries > (1u << bpp)) entries = 1u << bpp;
        uint64_t paletteStart = 14 + uint64_t(headerSize);
        if (paletteStart + uint64_t(entries) * 4 > size) {
            error = "BMP palette runs past the end of the file";
            return false;
        }
        palette.resize(entries);
        for (uint32_t i = 0; i < entries; ++i) palette[i] = Le32(&data[paletteStart + i * 4]) & 0x00FFFFFF;
    }
    if (!image.Allocate(width, height, bpp, &error)) return false;
    image.palette = std::move(palette);
    for (int32_t y = 0; y < height; ++y) {
        int32_t fileRow = topDown ? y : height - 1 - y;
        std::memcpy(image.Row(y), &data[pixelOffset + size_t(fileRow) * size_t(stride)], size_t(stride));
    }
    return true;
}

bool KwBmpCodec::Write(const std::string& path, const KwRasterImage& image, std::string& error)
{
    std::vector<uint8_t> out;
    uint32_t paletteBytes = image.bitsPerPixel <= 8 ? uint32_t(image.palette.size()) * 4 : 0;
    uint64_t imageBytes = uint64_t(image.Stride()) * uint64_t(image.height);
    uint64_t fileSize = 54 + uint64_t(paletteBytes) + imageBytes;
    if (fileSize > 0xFFFFFFFFull) {
        error = "image too large for a BMP file";
        return false;
    }
    out.reserve(size_t(fileSize));
    out.push_back('B');
    out.push_back('M');
    Put32(out, uint32_t(fileSize));
    Put32(out, 0);
    Put32(out, 54 + paletteBytes);
    Put32(out, 40);
    Put32(out, uint32_t(image.width));
    Put32(out, uint32_t(image.height));
    Put16(out, 1);
    Put16(out, uint32_t(image.bitsPerPixel));
    Put32(out, 0);
    Put32(out, uint32_t(imageBytes));
    Put32(out, KwRasterImage::PixelsPerMetre(image.dpiX, 2835)); // 72 dpi when unknown
    Put32(out, KwRasterImage::PixelsPerMetre(image.dpiY, 2835));
    Put32(out, image.bitsPerPixel <= 8 ? uint32_t(image.palette.size()) : 0);
    Put32(out, 0);
    if (image.bitsPerPixel <= 8)
        for (uint32_t entry : image.palette) Put32(out, entry & 0x00FFFFFF);
    for (int32_t y = image.height - 1; y >= 0; --y) {
        const uint8_t* row = image.Row(y);
        out.insert(out.end(), row, row + image.Stride());
    }
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        error = std::strerror(errno);
        return false;
    }
    bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
    ok = (std::fclose(f) == 0) && ok;
    if (!ok) error = "could not write all bytes (disk full?)";
    return ok;
}
