#include "JpegFrameHeader.h"

#include <cstdio>

namespace {

constexpr int Dhp = 0xDE;
constexpr int Sos = 0xDA;
constexpr int Eoi = 0xD9;

bool IsFrameMarker(int code) { return code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC; }

// Markers without a length field: TEM and RST0..7.
bool IsStandalone(int code) { return code == 0x01 || (code >= 0xD0 && code <= 0xD7); }

// The next byte of the stream, or EOF. A header is a few dozen bytes among
// segments that are skipped, so a byte at a time is enough.
int NextByte(IStream* stream)
{
    unsigned char byte = 0;
    ULONG got = 0;
    return SUCCEEDED(stream->Read(&byte, 1, &got)) && got == 1 ? byte : EOF;
}

bool Skip(IStream* stream, LONGLONG bytes)
{
    LARGE_INTEGER move;
    move.QuadPart = bytes;
    return SUCCEEDED(stream->Seek(move, STREAM_SEEK_CUR, nullptr));
}

} // namespace

bool JpegFrameHeader::Read(IStream* stream, JpegFrameHeader& header)
{
    header = JpegFrameHeader();
    LARGE_INTEGER start = {};
    if (!stream || FAILED(stream->Seek(start, STREAM_SEEK_SET, nullptr))) return false;
    if (NextByte(stream) != 0xFF || NextByte(stream) != 0xD8) return false;
    header.Jpeg = true;
    bool framed = false;
    // Every pass consumes at least two bytes, so the loop ends with the file.
    for (;;) {
        int c = NextByte(stream);
        header.EndsBeforeScan = c == EOF;
        if (c != 0xFF) return framed;
        int code;
        while ((code = NextByte(stream)) == 0xFF) {
        }
        header.EndsBeforeScan = code == EOF;
        if (code == EOF || code == Sos || code == Eoi || code == 0) return framed;
        if (IsStandalone(code)) continue;
        const int high = NextByte(stream), low = NextByte(stream);
        header.EndsBeforeScan = low == EOF;
        if (high == EOF || low == EOF) return framed;
        const long length = (long(high) << 8) | long(low);
        if (length < 2) return framed;
        if (code == Dhp) header.Hierarchical = true;
        if (IsFrameMarker(code) && !framed) {
            unsigned char field[5];
            ULONG got = 0;
            if (length < 8 || FAILED(stream->Read(field, sizeof field, &got)) || got != sizeof field) {
                header.EndsBeforeScan = length >= 8;
                return false;
            }
            framed = true;
            header.Marker = code;
            header.Precision = field[0];
            header.Height = (uint32_t(field[1]) << 8) | field[2];
            header.Width = (uint32_t(field[3]) << 8) | field[4];
            if ((code >= 0xC5 && code <= 0xC7) || code >= 0xCD) header.Hierarchical = true;
            if (!Skip(stream, length - 2 - LONGLONG(sizeof field))) return framed;
            continue;
        }
        if (!Skip(stream, length - 2)) return framed;
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
