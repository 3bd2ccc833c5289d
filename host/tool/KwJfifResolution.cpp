#include "KwJfifResolution.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "KwPaths.h"

bool KwJfifResolution::Write(const std::string& path, long dpiX, long dpiY, std::string& error)
{
    if (dpiX < 1 || dpiX > 65535 || dpiY < 1 || dpiY > 65535) {
        error = "a resolution of " + std::to_string(dpiX) + " x " + std::to_string(dpiY) +
                " dpi does not fit in a JFIF header";
        return false;
    }
    std::FILE* file = KwPaths::Open(path, "r+b");
    if (!file) {
        error = std::string("cannot open the JPEG file to write its resolution: ") + std::strerror(errno);
        return false;
    }
    // SOI, then APP0 of at least 16 bytes: "JFIF\0", version, unit, X and Y density.
    uint8_t header[18];
    const bool jfif = std::fread(header, 1, sizeof header, file) == sizeof header && header[0] == 0xFF &&
                      header[1] == 0xD8 && header[2] == 0xFF && header[3] == 0xE0 &&
                      ((header[4] << 8) | header[5]) >= 16 && std::memcmp(&header[6], "JFIF", 5) == 0;
    if (!jfif) {
        std::fclose(file);
        error = "the JPEG file has no JFIF header to hold its resolution";
        return false;
    }
    const uint8_t density[5] = {1, uint8_t(dpiX >> 8), uint8_t(dpiX), uint8_t(dpiY >> 8), uint8_t(dpiY)};
    bool written = std::fseek(file, 13, SEEK_SET) == 0 && std::fwrite(density, 1, sizeof density, file) == sizeof density;
    const int writeErrno = errno;
    written = std::fclose(file) == 0 && written;
    if (!written) error = std::string("cannot write the resolution into the JPEG file: ") + std::strerror(writeErrno);
    return written;
}
