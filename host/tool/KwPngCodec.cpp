#include "KwPngCodec.h"

#include <png.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "KwColourProfile.h"
#include "KwFileSeek.h"
#include "KwPaths.h"
#include "KwPipeInput.h"

namespace {

uint32_t Be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

// What the chunks say that libpng's simple reader does not tell: the size of
// the image data unpacked, the resolution, and a chunk that claims more bytes
// than the file has left (libpng would take memory for all of it first).
struct PngFacts {
    uint64_t DataBytes = 0; // filtered rows, not interlaced, as the header declares them
    uint32_t Width = 0, Height = 0;
    int BitDepth = 0;
    bool Colour = false;    // a gAMA, sRGB, iCCP or cHRM chunk says how its samples are encoded
    double DpiX = 0, DpiY = 0;
    std::string CutShort;   // "" when every chunk fits in the file
    std::vector<uint8_t> Profile; // the data of the iCCP chunk, still compressed
};

// Gives the next `n` bytes at `to`, or skips them when `to` is null; false
// when the data ends first.
using TakeBytes = std::function<bool(uint8_t* to, uint32_t n)>;

// Walks the chunks of a PNG file of `total` bytes from its start to its end
// chunk (reading only the headers of the image data).
PngFacts ReadFacts(const TakeBytes& take, uint64_t total)
{
    PngFacts facts;
    uint8_t bytes[13];
    uint64_t position = 8;
    bool imageData = false;
    bool more = take(bytes, 8) && std::memcmp(bytes, "\x89PNG\r\n\x1a\n", 8) == 0;
    // Every chunk moves at least 12 bytes on; the count bounds the work for a
    // file of many small chunks, past which nothing more is learnt.
    for (int chunk = 0; more && chunk < 100000 && take(bytes, 8); ++chunk) {
        position += 8;
        const uint32_t length = Be32(bytes);
        char type[4];
        std::memcpy(type, &bytes[4], 4);
        if (length > 0x7FFFFFFFu || uint64_t(length) + 4 > total - std::min(total, position)) {
            facts.CutShort = "its " + std::string(type, 4) + " chunk at offset " + std::to_string(position - 8) +
                             " claims " + std::to_string(length) + " bytes, past the end of the file";
            break;
        }
        if (!std::memcmp(type, "IEND", 4)) break;
        const bool header = !std::memcmp(type, "IHDR", 4) && length == 13;
        // libpng takes a pHYs chunk only before the image data.
        imageData = imageData || !std::memcmp(type, "IDAT", 4);
        const bool resolution = !imageData && !std::memcmp(type, "pHYs", 4) && length == 9;
        for (const char* colour : {"gAMA", "sRGB", "iCCP", "cHRM"})
            if (!imageData && !std::memcmp(type, colour, 4)) facts.Colour = true;
        // The colour profile: one chunk before the image data, of a size a JPEG file can carry.
        const bool profile = !imageData && !std::memcmp(type, "iCCP", 4) && facts.Profile.empty() && length > 2 &&
                             length <= KwColourProfile::MaxBytes + 4096;
        if (profile) {
            facts.Profile.resize(length);
            if (!take(facts.Profile.data(), length) || !take(nullptr, 4)) break;
            position += uint64_t(length) + 4;
            continue;
        }
        if (!take(header || resolution ? bytes : nullptr, length) || !take(nullptr, 4)) break; // the data, the CRC
        position += uint64_t(length) + 4;
        if (header) {
            // Samples per pixel by colour type (gray, -, RGB, palette, gray+alpha, -, RGBA).
            static const uint8_t channels[7] = {1, 0, 3, 1, 2, 0, 4};
            const uint64_t width = Be32(&bytes[0]), height = Be32(&bytes[4]);
            facts.Width = uint32_t(width);
            facts.Height = uint32_t(height);
            facts.BitDepth = bytes[8];
            const uint64_t bits = bytes[9] < 7 ? uint64_t(bytes[8]) * channels[bytes[9]] : 0;
            const uint64_t rowBytes = 1 + (width * bits + 7) / 8; // width < 2^32, bits <= 64
            facts.DataBytes = height && rowBytes > UINT64_MAX / height ? UINT64_MAX : rowBytes * height;
        }
        if (resolution && bytes[8] == 1) {
            // In pixels per metre; unit 0 gives only the aspect ratio.
            const uint32_t x = Be32(&bytes[0]), y = Be32(&bytes[4]);
            if (x && y && x <= 0x7FFFFFFFu && y <= 0x7FFFFFFFu) facts.DpiX = x * 0.0254, facts.DpiY = y * 0.0254;
        }
    }
    return facts;
}

// Finishes the read into a buffer of samples in png.format (8-bit, or 16-bit
// as stored with alpha premultiplied, as libpng gives them), and puts them
// into the image's rows: alpha on white, 16 bits scaled to 8 with rounding.
bool ReadSamples(png_image& png, bool wide, bool alpha, KwRasterImage& image)
{
    const size_t channels = PNG_IMAGE_SAMPLE_CHANNELS(png.format), width = png.width;
    std::vector<uint8_t> narrow;
    std::vector<uint16_t> samples;
    try {
        if (wide)
            samples.resize(width * png.height * channels);
        else
            narrow.resize(width * png.height * channels);
    } catch (const std::bad_alloc&) {
        std::snprintf(png.message, sizeof png.message, "not enough memory for the PNG samples");
        return false;
    }
    void* buffer = wide ? static_cast<void*>(samples.data()) : static_cast<void*>(narrow.data());
    if (!png_image_finish_read(&png, nullptr, buffer, 0, nullptr)) return false;
    const size_t colours = channels - (alpha ? 1 : 0);
    for (int32_t y = 0; y < image.Height; ++y) {
        uint8_t* out = image.Row(y);
        const size_t first = size_t(y) * width * channels;
        for (size_t x = 0; x < width; ++x) {
            uint8_t pixel[3];
            for (size_t c = 0; c < colours; ++c) {
                const size_t at = first + x * channels;
                if (wide) {
                    // Premultiplied: on white, what the alpha leaves is added.
                    const uint32_t value = samples[at + c] + (alpha ? 65535u - samples[at + colours] : 0u);
                    pixel[c] = uint8_t((value * 255u + 32767u) / 65535u);
                } else {
                    pixel[c] = alpha ? KwRasterImage::OverWhite(narrow[at + c], narrow[at + colours]) : narrow[at + c];
                }
            }
            if (colours == 1) {
                *out++ = pixel[0];
            } else {
                *out++ = pixel[2];
                *out++ = pixel[1];
                *out++ = pixel[0];
            }
        }
    }
    return true;
}

} // namespace

// A file is walked for its facts, then read by libpng from where it began; a
// pipe is read into memory first.
bool KwPngCodec::Read(std::FILE* file, KwRasterImage& image, std::string& error, unsigned long long maxPixels)
{
    const int64_t size = KwFileSeek::BytesLeft(file);
    std::vector<uint8_t> piped;
    PngFacts facts;
    std::fpos_t start;
    const bool seekable = size >= 0 && std::fgetpos(file, &start) == 0;
    if (seekable) {
        uint64_t position = 0;
        facts = ReadFacts([&](uint8_t* to, uint32_t n) {
            if (!to) return KwFileSeek::MoveTo(file, position, position + n);
            const size_t got = std::fread(to, 1, n, file);
            position += got;
            return got == n;
        }, uint64_t(size));
        std::clearerr(file);
        if (std::fsetpos(file, &start) != 0) {
            error = "cannot go back to the start of the PNG file";
            return false;
        }
    } else {
        if (!KwPipeInput::ReadStream(file, KwPipeInput::LimitFor(maxPixels), piped, error)) return false;
        size_t at = 0;
        facts = ReadFacts([&](uint8_t* to, uint32_t n) {
            if (n > piped.size() - at) return false;
            if (to) std::memcpy(to, &piped[at], n);
            at += n;
            return true;
        }, piped.size());
    }
    // Deflate packs at most 1032 bytes into one: a file too small for the rows
    // it declares is refused before memory is taken for them.
    const uint64_t bytes = seekable ? uint64_t(size) : piped.size();
    if (!facts.CutShort.empty()) {
        error = "the PNG file is cut short or damaged: " + facts.CutShort;
        return false;
    }
    if (facts.DataBytes > bytes * 1032 + 65536) {
        error = "the PNG file's " + std::to_string(bytes) + " bytes cannot hold the " +
                std::to_string(facts.DataBytes) + " bytes of rows its header declares";
        return false;
    }
    if (!KwRasterImage::WithinPixelLimit(facts.Width, facts.Height, maxPixels, error)) return false;
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    const bool begun = seekable ? png_image_begin_read_from_stdio(&png, file)
                                 : png_image_begin_read_from_memory(&png, piped.data(), piped.size());
    if (!begun) {
        error = png.message[0] ? png.message : "not a PNG file";
        return false;
    }
    const bool gray = (png.format & PNG_FORMAT_FLAG_COLOR) == 0;
    const bool alpha = (png.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    // libpng takes 16-bit samples without a word on their encoding for linear
    // light; browsers and other tools take them for sRGB, as 8-bit ones are.
    // They are then read as they stand and scaled here, with no gamma change.
    const bool asStored = facts.BitDepth == 16 && !facts.Colour;
    if (png.width > INT32_MAX || png.height > INT32_MAX ||
        !image.Allocate(int32_t(png.width), int32_t(png.height), gray ? 8 : 24, &error)) {
        if (error.empty()) error = "image too large";
        png_image_free(&png);
        return false;
    }
    bool read;
    if (!alpha && !asStored) {
        png.format = gray ? PNG_FORMAT_GRAY : PNG_FORMAT_BGR;
        // Our rows are already padded to 4 bytes; libpng writes with our stride.
        read = png_image_finish_read(&png, nullptr, image.Pixels.data(), png_int_32(image.Stride()), nullptr);
    } else {
        png.format = (gray ? 0 : PNG_FORMAT_FLAG_COLOR) | (alpha ? PNG_FORMAT_FLAG_ALPHA : 0) |
                     (asStored ? PNG_FORMAT_FLAG_LINEAR : 0);
        read = ReadSamples(png, asStored, alpha, image);
    }
    if (!read) {
        error = png.message[0] ? png.message : "damaged PNG data";
        png_image_free(&png);
        return false;
    }
    if (gray) {
        image.Palette.resize(256);
        for (uint32_t i = 0; i < 256; ++i) image.Palette[i] = (i << 16) | (i << 8) | i;
    }
    image.DpiX = facts.DpiX;
    image.DpiY = facts.DpiY;
    // A damaged profile is left behind, as libpng leaves it.
    if (!facts.Profile.empty()) KwColourProfile::FromPngChunk(facts.Profile.data(), facts.Profile.size(), image.IccProfile);
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
// The image's colour profile goes into iCCP, where libpng takes it for the
// image; otherwise the rows are said to be sRGB.
bool WritePng(FILE* file, png_uint_32 width, png_uint_32 height, bool gray, png_bytepp rows, png_uint_32 perMetreX,
              png_uint_32 perMetreY, const std::vector<uint8_t>& profile, bool& profileKept, PngFailure& failure)
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
    if (!profile.empty() && profile.size() <= KwColourProfile::MaxBytes) {
        // A profile libpng finds unfit (damaged, or for colour where the image is gray) is left out, not fatal.
        png_set_benign_errors(png, 1);
        png_set_iCCP(png, info, "ICC Profile", PNG_COMPRESSION_TYPE_BASE, profile.data(), png_uint_32(profile.size()));
        profileKept = png_get_valid(png, info, PNG_INFO_iCCP) != 0;
    }
    if (!profileKept) png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
    if (perMetreX && perMetreY) png_set_pHYs(png, info, perMetreX, perMetreY, PNG_RESOLUTION_METER);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

bool KwPngCodec::Write(const std::string& path, const KwRasterImage& image, bool gray, std::string& error,
                       std::string* warning)
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
    FILE* file = KwPaths::Create(path, error);
    if (!file) return false;
    PngFailure failure{};
    errno = 0;
    bool profileKept = false;
    bool ok = WritePng(file, png_uint_32(image.Width), png_uint_32(image.Height), gray, rows.data(),
                       KwRasterImage::PixelsPerMetre(image.DpiX, 0), KwRasterImage::PixelsPerMetre(image.DpiY, 0),
                       image.IccProfile, profileKept, failure);
    if (ok && !image.IccProfile.empty() && !profileKept && warning)
        *warning = "the colour profile is left out: libpng finds it damaged or unfit for this image";
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
