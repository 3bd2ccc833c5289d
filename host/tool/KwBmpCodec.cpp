#include "KwBmpCodec.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "KwFileSeek.h"
#include "KwPaths.h"

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

bool KwBmpCodec::Read(std::FILE* file, KwRasterImage& image, std::string& error, unsigned long long maxPixels)
{
    // The file header and the 40-byte info header; the colour masks follow,
    // and in a larger header the alpha mask after them.
    uint8_t data[70];
    uint64_t position = std::fread(data, 1, 54, file);
    if (position < 54 || data[0] != 'B' || data[1] != 'M') {
        error = "not a BMP file (no 'BM' header)";
        return false;
    }
    // What the file holds, for the checks before anything else is read or any
    // memory taken (a header of a few bytes can declare gigabytes); unknown on
    // a pipe, where the reads find the end.
    const int64_t left = KwFileSeek::BytesLeft(file);
    const bool sized = left >= 0;
    const uint64_t size = sized ? position + uint64_t(left) : 0;
    uint32_t pixelOffset = Le32(&data[10]);
    uint32_t headerSize = Le32(&data[14]);
    if (headerSize < 40 || (sized && 14 + uint64_t(headerSize) > size)) {
        error = "unsupported BMP header (size " + std::to_string(headerSize) + ")";
        return false;
    }
    int32_t width = int32_t(Le32(&data[18]));
    int32_t rawHeight = int32_t(Le32(&data[22]));
    uint16_t bpp = Le16(&data[28]);
    uint32_t compression = Le32(&data[30]);
    uint32_t colorsUsed = Le32(&data[46]);
    const int32_t perMetreX = int32_t(Le32(&data[38])), perMetreY = int32_t(Le32(&data[42]));
    if (compression != 0 && !(compression == 3 && bpp == 32)) {
        error = "compressed BMP files are not supported (compression " + std::to_string(compression) + ")";
        return false;
    }
    // Transparency is told only by an alpha mask (a header of 56 bytes or
    // more); the fourth byte of other 32-bit files is unused, often 0.
    bool alpha = false;
    if (compression == 3) {
        // The masks follow the 40-byte header (or are its next fields); only
        // the usual 8-bit blue, green, red order is laid out as our rows are.
        const uint64_t masksEnd = headerSize >= 56 ? 70 : 66;
        position += std::fread(&data[54], 1, size_t(masksEnd - 54), file);
        if (position < masksEnd) {
            error = "BMP colour masks run past the end of the file";
            return false;
        }
        if (Le32(&data[54]) != 0x00FF0000u || Le32(&data[58]) != 0x0000FF00u || Le32(&data[62]) != 0x000000FFu) {
            error = "unsupported BMP colour masks (only 8-bit red, green and blue in the usual order)";
            return false;
        }
        alpha = masksEnd == 70 && Le32(&data[66]) == 0xFF000000u;
    }
    // On a pipe the header's end is found by reading to it.
    const uint64_t headerEnd = 14 + uint64_t(headerSize);
    if (!sized && position < headerEnd && !KwFileSeek::MoveTo(file, position, headerEnd)) {
        error = "unsupported BMP header (size " + std::to_string(headerSize) + ")";
        return false;
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
    if (!KwRasterImage::WithinPixelLimit(uint64_t(width), uint64_t(height), maxPixels, error)) return false;
    const uint64_t stride = uint64_t(KwHostImage::StrideFor(width, bpp));
    const uint64_t pixelBytes = stride * uint64_t(height);
    auto cutShort = [&](uint64_t holds) {
        error = "BMP pixel data is cut short (" + std::to_string(width) + " x " + std::to_string(height) + " at " +
                std::to_string(bpp) + " bits needs " + std::to_string(pixelBytes) + " bytes from offset " +
                std::to_string(pixelOffset) + ", the file holds " + std::to_string(holds) + ")";
        return false;
    };
    if (sized && (pixelOffset > size || pixelBytes > size - pixelOffset)) return cutShort(size);
    std::vector<uint32_t> palette;
    if (bpp <= 8) {
        uint32_t entries = colorsUsed ? colorsUsed : (1u << bpp);
        if (entries > (1u << bpp)) entries = 1u << bpp;
        uint8_t bytes[256 * 4];
        bool whole = KwFileSeek::MoveTo(file, position, headerEnd);
        if (whole) {
            const size_t got = std::fread(bytes, 1, entries * 4, file);
            position += got;
            whole = got == entries * 4;
        }
        if (!whole) {
            error = "BMP palette runs past the end of the file";
            return false;
        }
        palette.resize(entries);
        for (uint32_t i = 0; i < entries; ++i) palette[i] = Le32(&bytes[i * 4]) & 0x00FFFFFF;
    }
    // On a pipe the rows take memory as they arrive, not as the header claims.
    if (!image.Allocate(width, height, bpp, &error, sized)) return false;
    image.Palette = std::move(palette);
    if (perMetreX > 0 && perMetreY > 0) {
        image.DpiX = perMetreX * 0.0254;
        image.DpiY = perMetreY * 0.0254;
    }
    if (!KwFileSeek::MoveTo(file, position, pixelOffset)) {
        // Behind what was read, on a stream that cannot go back.
        if (position > pixelOffset) {
            error = "BMP pixel data at offset " + std::to_string(pixelOffset) +
                    " comes before the end of the headers, and the stream cannot go back to it";
            return false;
        }
        return cutShort(position);
    }
    // The file's rows in their order, each straight into its place in the
    // image; from a pipe each after the last, turned the right way up after.
    for (int32_t row = 0; row < height; ++row) {
        uint8_t* to;
        if (sized) {
            to = image.Row(topDown ? row : height - 1 - row);
        } else {
            image.Pixels.resize(image.Pixels.size() + size_t(stride));
            to = image.Row(row);
        }
        const size_t got = std::fread(to, 1, size_t(stride), file);
        position += got;
        if (got != stride) {
            if (std::ferror(file)) {
                error = std::string("cannot read the BMP pixel data: ") + std::strerror(errno);
                return false;
            }
            return cutShort(position);
        }
    }
    if (!sized && !topDown)
        for (int32_t row = 0; row < height / 2; ++row)
            std::swap_ranges(image.Row(row), image.Row(row) + stride, image.Row(height - 1 - row));
    if (alpha) KwRasterImage::PutOnWhite(image);
    return true;
}

bool KwBmpCodec::Write(const std::string& path, const KwRasterImage& image, std::string& error)
{
    // The headers and palette are put together here; the rows go to the file
    // from the image, never copied whole.
    std::vector<uint8_t> out;
    uint32_t paletteBytes = image.BitsPerPixel <= 8 ? uint32_t(image.Palette.size()) * 4 : 0;
    uint64_t imageBytes = uint64_t(image.Stride()) * uint64_t(image.Height);
    uint64_t fileSize = 54 + uint64_t(paletteBytes) + imageBytes;
    if (fileSize > 0xFFFFFFFFull) {
        error = "image too large for a BMP file";
        return false;
    }
    out.reserve(54 + paletteBytes);
    out.push_back('B');
    out.push_back('M');
    Put32(out, uint32_t(fileSize));
    Put32(out, 0);
    Put32(out, 54 + paletteBytes);
    Put32(out, 40);
    Put32(out, uint32_t(image.Width));
    Put32(out, uint32_t(image.Height));
    Put16(out, 1);
    Put16(out, uint32_t(image.BitsPerPixel));
    Put32(out, 0);
    Put32(out, uint32_t(imageBytes));
    // An unknown resolution is 0, as BMP files say it, rather than a made-up 72 dpi.
    uint32_t perMetreX = KwRasterImage::PixelsPerMetre(image.DpiX, 0);
    uint32_t perMetreY = KwRasterImage::PixelsPerMetre(image.DpiY, 0);
    if (!perMetreX || !perMetreY) perMetreX = perMetreY = 0;
    Put32(out, perMetreX);
    Put32(out, perMetreY);
    Put32(out, image.BitsPerPixel <= 8 ? uint32_t(image.Palette.size()) : 0);
    Put32(out, 0);
    if (image.BitsPerPixel <= 8)
        for (uint32_t entry : image.Palette) Put32(out, entry & 0x00FFFFFF);
    FILE* f = KwPaths::Create(path, error);
    if (!f) return false;
    bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
    const size_t stride = size_t(image.Stride());
    for (int32_t y = image.Height - 1; ok && y >= 0; --y) ok = std::fwrite(image.Row(y), 1, stride, f) == stride;
    ok = (std::fclose(f) == 0) && ok;
    if (!ok) error = "could not write all bytes (disk full?)";
    return ok;
}
