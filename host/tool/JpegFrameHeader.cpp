#include "JpegFrameHeader.h"

#include <cstdio>
#include <memory>

#include "KwPaths.h"

namespace {

constexpr int Dhp = 0xDE;
constexpr int Sos = 0xDA;
constexpr int Eoi = 0xD9;

bool IsFrameMarker(int code) { return code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC; }

// Markers without a length field: TEM and RST0..7.
bool IsStandalone(int code) { return code == 0x01 || (code >= 0xD0 && code <= 0xD7); }

} // namespace

bool JpegFrameHeader::Read(const std::string& path, JpegFrameHeader& header)
{
    std::unique_ptr<FILE, int (*)(FILE*)> file(KwPaths::Open(path, "rb"), std::fclose);
    if (!file) return false;
    FILE* f = file.get();
    if (std::fgetc(f) != 0xFF || std::fgetc(f) != 0xD8) return false;
    header = JpegFrameHeader();
    // Every pass consumes at least two bytes, so the loop ends with the file.
    for (;;) {
        int c = std::fgetc(f);
        if (c != 0xFF) return false;
        int code;
        while ((code = std::fgetc(f)) == 0xFF) {
        }
        if (code == EOF || code == Sos || code == Eoi || code == 0) return false;
        if (IsStandalone(code)) continue;
        const int high = std::fgetc(f), low = std::fgetc(f);
        if (high == EOF || low == EOF) return false;
        const long length = (long(high) << 8) | long(low);
        if (length < 2) return false;
        if (code == Dhp) header.Hierarchical = true;
        if (IsFrameMarker(code)) {
            unsigned char field[5];
            if (length < 8 || std::fread(field, 1, sizeof field, f) != sizeof field) return false;
            header.Marker = code;
            header.Precision = field[0];
            header.Height = (uint32_t(field[1]) << 8) | field[2];
            header.Width = (uint32_t(field[3]) << 8) | field[4];
            if ((code >= 0xC5 && code <= 0xC7) || code >= 0xCD) header.Hierarchical = true;
            return true;
        }
        if (std::fseek(f, length - 2, SEEK_CUR) != 0) return false;
    }
}

std::string JpegFrameHeader::UnusualKind() const
{
    const bool lossless = Marker == 0xC3 || Marker == 0xC7 || Marker == 0xCB || Marker == 0xCF;
    const bool deep = Precision != 8;
    if (!lossless && !deep && !Hierarchical) return std::string();
    std::string kind;
    if (deep) kind += std::to_string(Precision) + "-bit ";
    if (Hierarchical) kind += "hierarchical ";
    if (lossless) kind += "lossless ";
    char marker[16];
    std::snprintf(marker, sizeof marker, "SOF%d", Marker - 0xC0);
    std::string detail = std::string("frame marker ") + marker;
    if (deep) detail += ", " + std::to_string(Precision) + "-bit samples";
    const bool vowel = kind.compare(0, 2, "8-") == 0 || kind.compare(0, 3, "11-") == 0;
    return (vowel ? "an " : "a ") + kind + "JPEG (" + detail + ")";
}
