#include "KwExifBlock.h"

#include <cstring>

namespace {

constexpr int App1 = 0xE1;
constexpr int Sos = 0xDA;
constexpr int Eoi = 0xD9;
constexpr size_t TiffStart = 6; // after "Exif\0\0"
// Markers between SOI and the first scan; past this many the file is not a photograph's header.
constexpr int MaxSegments = 4096;

int NextByte(IStream* stream)
{
    unsigned char byte = 0;
    ULONG got = 0;
    return SUCCEEDED(stream->Read(&byte, 1, &got)) && got == 1 ? byte : -1;
}

bool IsStandalone(int code) { return code == 0x01 || (code >= 0xD0 && code <= 0xD7); }

std::vector<uint8_t> Find(IStream* stream)
{
    std::vector<uint8_t> none;
    if (NextByte(stream) != 0xFF || NextByte(stream) != 0xD8) return none;
    for (int segment = 0; segment < MaxSegments; ++segment) {
        if (NextByte(stream) != 0xFF) return none;
        int code;
        while ((code = NextByte(stream)) == 0xFF) {
        }
        if (code < 0 || code == Sos || code == Eoi || code == 0) return none;
        if (IsStandalone(code)) continue;
        const int high = NextByte(stream), low = NextByte(stream);
        if (high < 0 || low < 0) return none;
        const size_t length = (size_t(high) << 8) | size_t(low);
        if (length < 2) return none;
        const size_t payload = length - 2;
        if (code == App1 && payload >= TiffStart) {
            std::vector<uint8_t> block(payload);
            ULONG got = 0;
            if (FAILED(stream->Read(block.data(), ULONG(payload), &got)) || got != payload) return none;
            if (std::memcmp(block.data(), "Exif\0\0", TiffStart) == 0) return block;
            continue; // XMP and other APP1 segments
        }
        LARGE_INTEGER move;
        move.QuadPart = LONGLONG(payload);
        if (FAILED(stream->Seek(move, STREAM_SEEK_CUR, nullptr))) return none;
    }
    return none;
}

} // namespace

std::vector<uint8_t> KwExifBlock::Read(IStream* stream)
{
    LARGE_INTEGER start = {};
    if (!stream || FAILED(stream->Seek(start, STREAM_SEEK_SET, nullptr))) return std::vector<uint8_t>();
    std::vector<uint8_t> block = Find(stream);
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    return block;
}

bool KwExifBlock::SetUpright(std::vector<uint8_t>& block)
{
    if (block.size() < TiffStart + 8 || block.size() > MaxBytes) return false;
    uint8_t* tiff = block.data() + TiffStart;
    const size_t size = block.size() - TiffStart;
    bool little;
    if (std::memcmp(tiff, "II*\0", 4) == 0)
        little = true;
    else if (std::memcmp(tiff, "MM\0*", 4) == 0)
        little = false;
    else
        return false;
    auto u16 = [&](size_t at) {
        return little ? uint32_t(tiff[at]) | uint32_t(tiff[at + 1]) << 8 : uint32_t(tiff[at]) << 8 | tiff[at + 1];
    };
    auto u32 = [&](size_t at) {
        return little ? u16(at) | u16(at + 2) << 16 : u16(at) << 16 | u16(at + 2);
    };
    const size_t directory = u32(4);
    if (directory < 8 || directory > size - 2) return false;
    const size_t entries = u16(directory);
    for (size_t i = 0; i < entries; ++i) {
        const size_t entry = directory + 2 + i * 12;
        if (entry + 12 > size) return false;
        // Tag 0x0112, SHORT, one value: the value sits in the first two bytes of the field.
        if (u16(entry) != 0x0112) continue;
        if (u16(entry + 2) != 3 || u32(entry + 4) != 1) return false;
        tiff[entry + 8] = little ? 1 : 0;
        tiff[entry + 9] = little ? 0 : 1;
        return true;
    }
    return false;
}
