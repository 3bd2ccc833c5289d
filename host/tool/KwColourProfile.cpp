#include "KwColourProfile.h"

#include <zlib.h>

#include <cstring>

namespace {

constexpr size_t HeaderBytes = 128;
constexpr size_t MaxDescription = 256; // characters shown

uint32_t Be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
uint32_t Be16(const uint8_t* p) { return uint32_t(p[0]) << 8 | p[1]; }

void AppendUtf8(std::string& out, uint32_t c)
{
    if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0)) return; // nothing that moves a terminal
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

// textDescriptionType: 'desc', 4 reserved, the ASCII count (with its NUL), the text.
std::string AsciiDescription(const uint8_t* tag, size_t size)
{
    if (size < 12) return std::string();
    const size_t count = Be32(tag + 8);
    if (count > size - 12) return std::string();
    std::string out;
    for (size_t i = 0; i < count && tag[12 + i] != 0 && out.size() < MaxDescription; ++i)
        if (tag[12 + i] < 0x80) AppendUtf8(out, tag[12 + i]);
    return out;
}

// multiLocalizedUnicodeType: 'mluc', 4 reserved, record count, record size,
// then records of language, country, byte length and offset from the tag's start.
std::string UnicodeDescription(const uint8_t* tag, size_t size)
{
    if (size < 28) return std::string();
    const size_t records = Be32(tag + 8), recordSize = Be32(tag + 12);
    if (records == 0 || recordSize < 12 || recordSize > size) return std::string();
    const size_t length = Be32(tag + 20), offset = Be32(tag + 24);
    if (offset > size || length > size - offset) return std::string();
    std::string out;
    const uint8_t* text = tag + offset;
    for (size_t i = 0; i + 1 < length && out.size() < MaxDescription; i += 2) {
        uint32_t c = Be16(text + i);
        if (c == 0) break;
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < length) {
            const uint32_t low = Be16(text + i + 2);
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        if (c >= 0xD800 && c < 0xE000) continue; // a lone half of a pair
        AppendUtf8(out, c);
    }
    return out;
}

} // namespace

std::string KwColourProfile::Description(const std::vector<uint8_t>& profile)
{
    const size_t size = profile.size();
    if (size < HeaderBytes + 4) return std::string();
    const uint8_t* p = profile.data();
    const size_t tags = Be32(p + HeaderBytes);
    if (tags > (size - HeaderBytes - 4) / 12) return std::string();
    for (size_t i = 0; i < tags; ++i) {
        const uint8_t* entry = p + HeaderBytes + 4 + i * 12;
        if (std::memcmp(entry, "desc", 4) != 0) continue;
        const size_t offset = Be32(entry + 4), length = Be32(entry + 8);
        if (offset > size || length > size - offset || length < 8) return std::string();
        const uint8_t* tag = p + offset;
        if (std::memcmp(tag, "desc", 4) == 0) return AsciiDescription(tag, length);
        if (std::memcmp(tag, "mluc", 4) == 0) return UnicodeDescription(tag, length);
        return std::string();
    }
    return std::string();
}

bool KwColourProfile::FromPngChunk(const uint8_t* data, size_t size, std::vector<uint8_t>& profile)
{
    profile.clear();
    if (!data || size < 3) return false;
    // A name of 1 to 79 bytes, its NUL, compression method 0 (deflate).
    const void* end = std::memchr(data, 0, size < 80 ? size : 80);
    if (!end) return false;
    const size_t at = size_t(static_cast<const uint8_t*>(end) - data) + 1;
    if (at < 2 || at >= size || data[at] != 0) return false;
    z_stream z;
    std::memset(&z, 0, sizeof z);
    if (inflateInit(&z) != Z_OK) return false;
    z.next_in = const_cast<Bytef*>(data + at + 1);
    z.avail_in = uInt(size - at - 1);
    uint8_t block[16384];
    int status = Z_OK;
    while (status == Z_OK) {
        z.next_out = block;
        z.avail_out = sizeof block;
        status = inflate(&z, Z_NO_FLUSH);
        const size_t got = sizeof block - z.avail_out;
        if ((status != Z_OK && status != Z_STREAM_END) || profile.size() + got > MaxBytes) {
            status = Z_DATA_ERROR;
            break;
        }
        profile.insert(profile.end(), block, block + got);
        if (status == Z_OK && got == 0 && z.avail_in == 0) status = Z_DATA_ERROR; // cut short
    }
    inflateEnd(&z);
    if (status != Z_STREAM_END || profile.empty()) {
        profile.clear();
        return false;
    }
    return true;
}

std::vector<uint8_t> KwColourProfile::JpegSegments(const std::vector<uint8_t>& profile)
{
    std::vector<uint8_t> out;
    if (profile.empty() || profile.size() > MaxBytes) return out;
    const size_t chunks = (profile.size() + ChunkBytes - 1) / ChunkBytes;
    for (size_t i = 0; i < chunks; ++i) {
        const size_t from = i * ChunkBytes;
        const size_t bytes = profile.size() - from < ChunkBytes ? profile.size() - from : ChunkBytes;
        const size_t length = bytes + 14 + 2;
        const uint8_t head[] = {0xFF, 0xE2, uint8_t(length >> 8), uint8_t(length), 'I', 'C', 'C', '_', 'P', 'R',
                                'O',  'F',  'I',  'L',  'E',  0,    uint8_t(i + 1),  uint8_t(chunks)};
        out.insert(out.end(), head, head + sizeof head);
        out.insert(out.end(), profile.begin() + std::ptrdiff_t(from), profile.begin() + std::ptrdiff_t(from + bytes));
    }
    return out;
}
