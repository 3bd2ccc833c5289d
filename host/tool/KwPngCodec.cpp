#include "KwPngCodec.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "KwPaths.h"

bool KwPngCodec::Read(std::FILE* file, KwRasterImage& image, std::string& error)
{
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_stdio(&png, file)) {
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
    if (!png_image_finish_read(&png, nullptr, image.Pixels.data(), png_int_32(image.Stride()), nullptr)) {
        error = png.message[0] ? png.message : "damaged PNG data";
        png_image_free(&png);
        return false;
    }
    if (gray) {
        image.Palette.resize(256);
        for (uint32_t i = 0; i < 256; ++i) image.Palette[i] = (i << 16) | (i << 8) | i;
    }
    return true;
}

namespace {

struct PngFailure {
    char Message[160];
};

extern "C" void PngWriteError(png_structp png, png_const_charp message)
{
    PngFailure* failure = static_cast<PngFailure*>(png_get_error_ptr(png));
    std::snprintf(failure->Message, sizeof failure->Message, "%s", message);
    png_longjmp(png, 1);
}

extern "C" void PngWriteWarning(png_structp, png_const_charp) {}

// One libpng session over `file`; nothing with a destructor lives across setjmp.
// pHYs is written when both resolutions are known (pixels per metre, not 0).
bool WritePng(FILE* file, png_uint_32 width, png_uint_32 height, bool gray, png_bytepp rows, png_uint_32 perMetreX,
              png_uint_32 perMetreY, PngFailure& failure)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &failure, PngWriteError, PngWriteWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        std::snprintf(failure.Message, sizeof failure.Message, "out of memory");
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, width, height, 8, gray ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
    if (perMetreX && perMetreY) png_set_pHYs(png, info, perMetreX, perMetreY, PNG_RESOLUTION_METER);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

bool KwPngCodec::Write(const std::string& path, const KwRasterImage& image, bool gray, std::string& error)
{
    size_t channels = gray ? 1 : 3;
    const size_t stride = size_t(image.Width) * channels;
    std::vector<uint8_t> buffer(stride * size_t(image.Height));
    std::vector<png_bytep> rows(size_t(image.Height));
    uint8_t* out = buffer.data();
    for (int32_t y = 0; y < image.Height; ++y) {
        rows[size_t(y)] = out;
        for (int32_t x = 0; x < image.Width; ++x) {
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
    FILE* file = KwPaths::Open(path, "wb");
    if (!file) {
        error = std::strerror(errno);
        return false;
    }
    PngFailure failure{};
    errno = 0;
    bool ok = WritePng(file, png_uint_32(image.Width), png_uint_32(image.Height), gray, rows.data(),
                       KwRasterImage::PixelsPerMetre(image.DpiX, 0), KwRasterImage::PixelsPerMetre(image.DpiY, 0),
                       failure);
    int failureErrno = errno;
    if (std::fclose(file) != 0 && ok) {
        ok = false;
        failureErrno = errno;
    }
    if (!ok) {
        error = failure.Message[0] ? failure.Message : "could not write the PNG file";
        // libpng says only "Write Error": give the system's reason.
        if (failureErrno == EFBIG || failureErrno == ENOSPC)
            error = "could not write all bytes (" + std::string(std::strerror(failureErrno)) + "; disk full?)";
    }
    return ok;
}
