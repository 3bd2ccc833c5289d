#include "KwJpegMetadataWriter.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "KwColourProfile.h"
#include "KwExifBlock.h"
#include "KwPaths.h"

namespace {

bool ReadWhole(const std::string& path, std::vector<uint8_t>& bytes, std::string& error)
{
    std::FILE* file = KwPaths::Open(path, "rb");
    if (!file) {
        error = std::string("cannot open the JPEG file to add its metadata: ") + std::strerror(errno);
        return false;
    }
    uint8_t block[65536];
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0) bytes.insert(bytes.end(), block, block + got);
    const bool ok = !std::ferror(file);
    std::fclose(file);
    if (!ok) error = "cannot read the JPEG file to add its metadata";
    return ok;
}

} // namespace

bool KwJpegMetadataWriter::Write(const std::string& path, const std::vector<uint8_t>& exif,
                                 const std::vector<uint8_t>& profile, std::string& error)
{
    if (exif.empty() && profile.empty()) return true;
    if (exif.size() > KwExifBlock::MaxBytes || profile.size() > KwColourProfile::MaxBytes) {
        error = "the EXIF block or the colour profile is larger than a JPEG file can hold";
        return false;
    }
    std::vector<uint8_t> file;
    if (!ReadWhole(path, file, error)) return false;
    // SOI, then the save filter's APP0 "JFIF\0".
    const bool jfif = file.size() >= 11 && file[0] == 0xFF && file[1] == 0xD8 && file[2] == 0xFF && file[3] == 0xE0 &&
                      std::memcmp(&file[6], "JFIF", 5) == 0;
    const size_t headerEnd = jfif ? 4 + ((size_t(file[4]) << 8) | file[5]) : 0;
    if (!jfif || headerEnd > file.size()) {
        error = "the JPEG file has no JFIF header to put its metadata after";
        return false;
    }
    std::vector<uint8_t> out(file.begin(), file.begin() + std::ptrdiff_t(headerEnd));
    if (!exif.empty()) {
        const size_t length = exif.size() + 2;
        const uint8_t marker[] = {0xFF, 0xE1, uint8_t(length >> 8), uint8_t(length)};
        out.insert(out.end(), marker, marker + sizeof marker);
        out.insert(out.end(), exif.begin(), exif.end());
    }
    const std::vector<uint8_t> chunks = KwColourProfile::JpegSegments(profile);
    out.insert(out.end(), chunks.begin(), chunks.end());
    out.insert(out.end(), file.begin() + std::ptrdiff_t(headerEnd), file.end());
    file.clear();

    std::FILE* target = KwPaths::Open(path, "wb");
    if (!target) {
        error = std::string("cannot write the JPEG file's metadata: ") + std::strerror(errno);
        return false;
    }
    bool written = std::fwrite(out.data(), 1, out.size(), target) == out.size();
    const int writeErrno = errno;
    written = std::fclose(target) == 0 && written;
    if (!written)
        error = "could not write all bytes (" + std::string(std::strerror(writeErrno ? writeErrno : errno)) +
                "; disk full?)";
    return written;
}
