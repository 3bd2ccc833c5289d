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

bool KwImageFiles::Read(const std::string& path, KwRasterImage& image, std::string& error)
{
    std::string format = FormatOf(path);
    if (format == "ppm" || format == "pgm") return KwNetpbmCodec::Read(path, image, error);
    if (format != "bmp" && format != "png") {
        error = "unknown image format (use .bmp, .ppm, .pgm or .png)";
        return false;
    }
    std::FILE* file = KwPaths::Open(path, "rb");
    if (!file) {
        error = std::strerror(errno);
        return false;
    }
    const bool ok = format == "bmp" ? KwBmpCodec::Read(file, image, error) : KwPngCodec::Read(file, image, error);
    std::fclose(file);
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
