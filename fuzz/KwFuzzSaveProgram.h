// The byte form of a save fuzz input: which calls the host makes on the save
// filter, with what arguments. The fuzz target reads it and the seed generator
// writes it; any byte string is a valid program (missing fields read as zero).
//
//   stream byte: bit 0 -> a U16 follows, the most bytes one Write accepts;
//                bit 1 -> a U8 follows, the Write call (from 1) that fails
//   level count U8 (0..3), then one U16 object type per nested structure level
//   then operations, each an opcode U8 (taken modulo OpCount) and its fields
#pragma once

#include <cstdint>
#include <vector>

namespace KwFuzzSave {

enum Op : uint8_t {
    OpCreateStorage = 0, // widthSel U8, width U16, heightSel U8, height U16, depth U8, colors U16, table U8 [+ entries]
    OpAddScanline = 1,   // type U8, start U16, lines U16, bytesPerLine U16, flags U8, then row bytes
    OpEndObject = 2,
    OpPutAttribute = 3,  // value U32
    OpIgnoredCalls = 4,  // AddScanline2, StartPolyClipRegion, AppendPolyClipRegion
    OpNewRaster = 5,     // the structure makes another raster-data object (the old one is released)
    OpCreateObject = 6,  // type U16: any object type, valid or not
    OpDropRaster = 7,    // releases the raster-data object without ending it
    OpCount = 8,
};

// Depth selector values and what they mean.
const int32_t Depths[] = {1, 4, 8, 16, 24, 32, 0, 2, -1, 33};
const int DepthCount = sizeof(Depths) / sizeof(Depths[0]);

// Extreme dimensions, chosen when the selector byte is a multiple of 8.
const int32_t SpecialWidths[] = {0, -1, 2147483647, -2147483647 - 1, 65500, 65501, 70000, 1 << 26};
const int32_t SpecialHeights[] = {0, -1, 2147483647, -2147483647 - 1, 65536, 65501, 1 << 29, 3};
const int SpecialCount = 8;

// AddScanline flags.
const uint8_t FlagNullData = 1;   // Scanlines is null
const uint8_t FlagAllLines = 2;   // NoLines is INT32_MAX (the rows from StartLine to the end)

struct Writer {
    std::vector<uint8_t> Bytes;
    Writer& U8(uint8_t v)
    {
        Bytes.push_back(v);
        return *this;
    }
    Writer& U16(uint16_t v) { return U8(static_cast<uint8_t>(v)).U8(static_cast<uint8_t>(v >> 8)); }
    Writer& U32(uint32_t v) { return U16(static_cast<uint16_t>(v)).U16(static_cast<uint16_t>(v >> 16)); }
    Writer& Raw(const std::vector<uint8_t>& data)
    {
        Bytes.insert(Bytes.end(), data.begin(), data.end());
        return *this;
    }
    // Width and height are used as given when below 65
    // (selector 1); depth is an index into Depths.
    Writer& CreateStorage(uint16_t width, uint16_t height, uint8_t depthIndex, uint16_t colors = 0,
                          bool table = false)
    {
        U8(OpCreateStorage).U8(1).U16(width).U8(1).U16(height).U8(depthIndex).U16(colors).U8(table ? 1 : 0);
        return *this;
    }
};

} // namespace KwFuzzSave
