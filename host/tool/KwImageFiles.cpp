#include "KwImageFiles.h"

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <chrono>
#include <system_error>

#include "KwBmpCodec.h"
#include "KwNetpbmCodec.h"
#include "KwPaths.h"
#include "KwPngCodec.h"
#include "KwTemporaryFiles.h"

std::string KwImageFiles::FormatOf(const std::string& path)
{
    std::string ext = KwPaths::Extension(path);
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (ext == "jpg" || ext == "jpeg" || ext == "jfif" || ext == "jfi") return "jpg";
    if (ext == "bmp" || ext == "ppm" || ext == "pgm" || ext == "png") return ext;
    return std::string();
}

std::string KwImageFiles::FormatOfContent(const unsigned char* head, size_t size)
{
    if (size == 0) return std::string();
    const int second = size > 1 ? head[1] : -1;
    auto is = [second](int wanted) { return second < 0 || second == wanted; };
    if (head[0] == 0xFF && is(0xD8)) return "jpg";
    if (head[0] == 0x89 && is('P')) return "png";
    if (head[0] == 'B' && is('M')) return "bmp";
    if (head[0] == 'P' && (is('5') || is('6'))) return "ppm";
    return std::string();
}

std::string KwImageFiles::Described(const std::string& format)
{
    if (format == "ppm" || format == "pgm") return "a PPM or PGM file";
    std::string name = format == "jpg" ? "JPEG" : format;
    for (char& c : name) c = char(std::toupper(static_cast<unsigned char>(c)));
    return "a " + name + " file";
}

bool KwImageFiles::Read(const std::string& path, KwRasterImage& image, std::string& error,
                        unsigned long long maxPixels, const std::string& format, std::FILE* stream)
{
    const std::string kind = format.empty() ? FormatOf(path) : format;
    if (kind != "bmp" && kind != "png" && kind != "ppm" && kind != "pgm") {
        if (stream && stream != stdin) std::fclose(stream);
        error = "unknown image format (use .bmp, .ppm, .pgm or .png)";
        return false;
    }
    std::FILE* file = stream ? stream : KwPaths::Open(path, "rb");
    if (!file) {
        error = std::strerror(errno);
        return false;
    }
    const bool ok = kind == "bmp"   ? KwBmpCodec::Read(file, image, error, maxPixels)
                    : kind == "png" ? KwPngCodec::Read(file, image, error, maxPixels)
                                    : KwNetpbmCodec::Read(file, image, error, maxPixels);
    if (file != stdin) std::fclose(file);
    return ok;
}

std::string KwImageFiles::TemporaryPathFor(const std::string& path)
{
    static std::atomic<unsigned> counter{0};
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    std::string temporary = path + ".part-" + std::to_string(stamp) + "-" + std::to_string(counter++);
    KwTemporaryFiles::Add(temporary);
    return temporary;
}

void KwImageFiles::DiscardTemporary(const std::string& temporary)
{
    KwPaths::Remove(temporary);
    KwTemporaryFiles::Forget(temporary);
}

bool KwImageFiles::CommitTemporary(const std::string& temporary, const std::string& path, std::string& error)
{
    std::error_code failure;
    KwPaths::Rename(temporary, path, failure);
    if (failure) {
        error = "cannot move the finished file into place: " + failure.message();
        DiscardTemporary(temporary);
        return false;
    }
    KwTemporaryFiles::Forget(temporary);
    return true;
}

std::string KwImageFiles::ProfileDropped(const std::string& format)
{
    std::string upper = format;
    for (char& c : upper) c = char(c - 'a' + 'A');
    return "the colour profile is left out: the tool writes " + upper +
           " files without one (write .png or .jpg to keep it)";
}

bool KwImageFiles::Write(const std::string& path, const KwRasterImage& image, std::string& error, std::string* warning)
{
    std::string format = FormatOf(path);
    bool gray = image.IsGrayPalette();
    if (format == "pgm" && !gray) {
        error = "a PGM file holds gray images only, and this image has colour (write .ppm or .png instead)";
        return false;
    }
    std::string temporary = TemporaryPathFor(path);
    bool ok;
    if (format == "bmp")
        ok = KwBmpCodec::Write(temporary, image, error);
    else if (format == "ppm" || format == "pgm")
        ok = KwNetpbmCodec::Write(temporary, image, format == "pgm", error);
    else if (format == "png")
        ok = KwPngCodec::Write(temporary, image, gray, error, warning);
    else {
        error = "unknown output format (use .bmp, .ppm, .pgm or .png)";
        return false;
    }
    if (!ok) {
        DiscardTemporary(temporary);
        return false;
    }
    if (format != "png" && !image.IccProfile.empty() && warning) *warning = ProfileDropped(format);
    return CommitTemporary(temporary, path, error);
}
