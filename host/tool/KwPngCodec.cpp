#include "KwPngCodec.h"

#include <png.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

bool KwPngCodec::Read(const std::string& path, KwRasterImage& image, std::string& error)
{
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) {
        error = png.message[0] ? png.message : "not a PNG file";
        return false;
    }
    bool gray = (png.format & PNG_FORMAT_FLAG_COLOR) == 0;
    png.format = gray ? PNG_FORMAT_GRAY : PNG_FORMAT_BGR;
    if (png.width > INT32_MAX || png.height > INT32_MAX ||
        !image.Allocate(int32_t(png.width), int32_t(png.height), gray ? 8 : 24, &error)) {
        if (error.empty()) error = "image too large";
        png_image_free(&png);
        return false;
    }
    // Our rows are already padded to 4 bytes; libpng writes with our stride.
    if (!png_image_finish_read(&png, nullptr, image.pixels.data(), png_int_32(image.Stride()), nullptr)) {
        error = png.message[0] ? png.message : "damaged PNG data";
        png_image_free(&png);
        return false;
    }
    if (gray) {
        image.palette.resize(256);
        for (uint32_t i = 0; i < 256; ++i) image.palette[i] = (i << 16) | (i << 8) | i;
    }
    return true;
}

bool KwPngCodec::Write(const std::string& path, const KwRasterImage& image, bool gray, std::string& error)
{
    size_t channels = gray ? 1 : 3;
    std::vector<uint8_t> buffer(size_t(image.width) * channels * size_t(image.height));
    uint8_t* out = buffer.data();
    for (int32_t y = 0; y < image.height; ++y) {
        for (int32_t x = 0; x < image.width; ++x) {
            uint32_t rgb = image.PixelRgb(x, y);
            if (gray) {
                *out++ = uint8_t(rgb);
            } else {
                *out++ = uint8_t(rgb >> 16);
                *out++ = uint8_t(rgb >> 8);
                *out++ = uint8_t(rgb);
            }
        }
    }
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = png_uint_32(image.width);
    png.height = png_uint_32(image.height);
    png.format = gray ? PNG_FORMAT_GRAY : PNG_FORMAT_RGB;
    errno = 0;
    if (!png_image_write_to_file(&png, path.c_str(), 0, buffer.data(), 0, nullptr)) {
        const int failure = errno;
        error = png.message[0] ? png.message : "could not write the PNG file";
        // libpng says only "Write Error": give the system's reason.
        if (failure == EFBIG || failure == ENOSPC)
            error = "could not write all bytes (" + std::string(std::strerror(failure)) + "; disk full?)";
        return false;
    }
    return true;
}
