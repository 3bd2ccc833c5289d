// The raster-data object: storage, every way a row is taken in, the conversion
// of every depth to the codec's red, green, blue, the object's states and the
// argument ranges it rejects or clips. Pixels are checked exactly by comparing
// the output with the codec's own encode of the expected pixels.
#include <gtest/gtest.h>

#include <climits>

#include "save/CKwSaveRasterData.h"
#include "com/KwAutomation.h"
#include "com/KwMemory.h"
#include "SaveTestSupport.h"

namespace {

Bytes Records(std::initializer_list<long long> values, int size)
{
    Bytes out;
    for (long long v : values)
        for (int i = 0; i < size; ++i) out.push_back(static_cast<unsigned char>(static_cast<unsigned long long>(v) >> (8 * i)));
    return out;
}
Bytes Rlc16(std::initializer_list<long long> values) { return Records(values, 2); }
Bytes Rlc32(std::initializer_list<long long> values) { return Records(values, 4); }

Bytes ToRgb(const std::vector<uint32_t>& pixels)
{
    Bytes rgb;
    for (uint32_t p : pixels) rgb.insert(rgb.end(), {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p)});
    return rgb;
}

// `width` pixels per row, white at the positions listed for each row, black elsewhere.
std::vector<uint32_t> WhiteAt(int width, std::vector<std::vector<int>> rows)
{
    std::vector<uint32_t> pixels;
    for (const auto& row : rows) {
        std::vector<uint32_t> line(static_cast<size_t>(width), 0);
        for (int x : row) line[static_cast<size_t>(x)] = 0xFFFFFF;
        pixels.insert(pixels.end(), line.begin(), line.end());
    }
    return pixels;
}

// `count` copies of `line`, one after the other.
Bytes Repeat(const Bytes& line, int count)
{
    Bytes out;
    for (int i = 0; i < count; ++i) out.insert(out.end(), line.begin(), line.end());
    return out;
}

const LONG EvenSplit = INT32_MIN;

struct Line {
    LONG row;
    LONG count;
    LONG type;
    Bytes data;               // count lines of data.size() / count bytes,
    LONG bytesPerLine = EvenSplit; // unless the step between them is given
};

struct ConversionCase {
    const char* what;
    LONG bitsPerPixel, width, height;
    std::vector<LONG> palette;
    std::vector<Line> lines;
    std::vector<uint32_t> expected;
};

const uint32_t White = 0xFFFFFF;

const ConversionCase conversions[] = {
    {"24 bits are blue, green, red in memory", 24, 2, 1, {},
     {{0, 1, KW_RASTER_RGB, {0x10, 0x20, 0x30, 0xFF, 0x00, 0x80, 0, 0}}}, {0x302010, 0x8000FF}},
    {"1 bit, default palette: runs are white", 1, 16, 1, {},
     {{0, 1, KW_RASTER_RLC_16, Rlc16({0, 3, 10, 11, 0xFFFF})}}, WhiteAt(16, {{0, 1, 2, 10}})},
    {"run records (5,5), (5,6) and (5,8)", 1, 16, 3, {},
     {{0, 1, KW_RASTER_RLC_16, Rlc16({5, 5, 0xFFFF})},
      {1, 1, KW_RASTER_RLC_16, Rlc16({5, 6, 0xFFFF})},
      {2, 1, KW_RASTER_RLC_32, Rlc32({5, 8, -1})}},
     WhiteAt(16, {{5}, {5}, {5, 6, 7}})},
    {"a run line starting with the terminator clears the row", 1, 16, 1, {},
     {{0, 1, KW_RASTER_RLC_32, Rlc32({0, 16, -1})}, {0, 1, KW_RASTER_RLC_32, Rlc32({-1, 3, 9})}},
     WhiteAt(16, {{}})},
    {"runs before and past the row are clipped", 1, 16, 1, {},
     {{0, 1, KW_RASTER_RLC_32, Rlc32({-5, 3, 14, 70000, -1})}}, WhiteAt(16, {{0, 1, 2, 14, 15}})},
    {"a run line ends at its terminator; BytesPerLine is only the step", 1, 64, 4, {},
     {{0, 1, KW_RASTER_RLC_16, Rlc16({0, 3, 10, 11, 0xFFFF}), 0},
      {1, 1, KW_RASTER_RLC_16, Rlc16({2, 4, 60, 64, 0xFFFF}), 8},
      {2, 2, KW_RASTER_RLC_32, Rlc32({7, 9, -1}), 0}},
     WhiteAt(64, {{0, 1, 2, 10}, {2, 3, 60, 61, 62, 63}, {7, 8}, {7, 8}})},
    {"a run line without its terminator ends after one record per pixel of the row", 1, 16, 2, {},
     {{0, 1, KW_RASTER_RLC_16, Repeat(Rlc16({3, 4}), 32), 0}, {1, 1, KW_RASTER_RLC_32, Repeat(Rlc32({5, 6}), 32), 0}},
     WhiteAt(16, {{3}, {5}})},
    {"1 bit, caller's palette: a set bit is entry 0", 1, 3, 1, {0xFF0000, 0x0000FF},
     {{0, 1, KW_RASTER_INDEX_8, {0x80, 0, 0, 0}}}, {0xFF0000, 0x0000FF, 0x0000FF}},
    {"4 bits: the low nibble is the left pixel", 4, 2, 1, {0, 0x112233, 0x445566},
     {{0, 1, KW_RASTER_INDEX_4, {0x21, 0, 0, 0}}}, {0x112233, 0x445566}},
    {"8 bits: indices past the palette are black", 8, 3, 1, {White, 0x808080},
     {{0, 1, KW_RASTER_INDEX_8, {0, 1, 5, 0}}}, {White, 0x808080, 0}},
    {"16 bits are 5-5-5 words", 16, 4, 1, {},
     {{0, 1, KW_RASTER_RGB, {0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00, 0x10, 0x42}}},
     {0xFF0000, 0x00FF00, 0x0000FF, 0x848484}},
    {"32 bits are blue, green, red and a spare byte", 32, 2, 1, {},
     {{0, 1, KW_RASTER_RGBA, {1, 2, 3, 99, 4, 5, 6, 99}}}, {0x030201, 0x060504}},
    {"forms not taken in leave rows untouched", 24, 1, 5, {},
     {{0, 1, KW_RASTER_BW, {9, 9, 9, 0}}, {1, 1, KW_RASTER_INDEX_2, {9, 9, 9, 0}},
      {2, 1, KW_RASTER_RLE_8, {9, 9, 9, 0}}, {3, 1, KW_RASTER_WB, {9, 9, 9, 0}}, {4, 1, 42, {9, 9, 9, 0}}},
     {0, 0, 0, 0, 0}},
    {"rows in any order, repeated, several per call", 24, 1, 3, {},
     {{2, 1, KW_RASTER_RGB, {0, 0, 255, 0}}, {0, 1, KW_RASTER_RGB, {255, 0, 0, 0}},
      {0, 1, KW_RASTER_RGB, {0, 255, 0, 0}}, {1, 2, KW_RASTER_RGB, {9, 9, 9, 0, 0, 0, 0, 0, 1, 2, 3, 0, 0, 0, 0, 0}}},
     {0x00FF00, 0x090909, 0x030201}},
    {"unpadded lines are read no further than their length", 24, 2, 2, {},
     {{0, 2, KW_RASTER_RGB, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}}}, {0x030201, 0x060504, 0x090807, 0x0C0B0A}},
    {"lines outside the image are skipped", 24, 1, 2, {},
     {{-1, 2, KW_RASTER_RGB, {1, 1, 1, 0, 2, 2, 2, 0}}, {1, 3, KW_RASTER_RGB, Bytes(12, 3)}, {2, 1, KW_RASTER_RGB, Bytes(4, 4)}},
     {0x020202, 0x030303}},
};

unsigned long g_failingAllocation = 0;
bool FailOne(unsigned long number, std::size_t) { return number == g_failingAllocation; }
std::size_t g_lastAllocationSize = 0;
bool RecordSize(unsigned long, std::size_t size)
{
    g_lastAllocationSize = size;
    return false;
}

} // namespace

TEST(SaveRasterData, ConvertsEveryDepthAndRowForm)
{
    for (const ConversionCase& c : conversions) {
        SCOPED_TRACE(c.what);
        SaveSession session;
        std::vector<LONG> palette = c.palette;
        ASSERT_EQ(session.raster->CreateRasterStorage(c.width, c.height, c.bitsPerPixel, 0, 0, nullptr,
                                                      static_cast<LONG>(palette.size()), palette.data()),
                  S_OK);
        for (const Line& line : c.lines) {
            Bytes data = line.data; // exactly as long as the caller says
            const LONG step =
                line.bytesPerLine == EvenSplit ? static_cast<LONG>(data.size()) / line.count : line.bytesPerLine;
            EXPECT_EQ(session.raster->AddScanline1(static_cast<KW_RASTER_TYPE>(line.type), line.row, line.count,
                                                   step, data.data()),
                      S_OK);
        }
        ASSERT_EQ(session.raster->EndObject(), S_OK);
        EXPECT_TRUE(session.Output() == EncodeDirect(ToRgb(c.expected), c.width, c.height));
    }
}

TEST(SaveRasterData, RowSizesArePaddedToFourBytes)
{
    // The storage is the one block CreateRasterStorage takes: two rows of the padded size.
    const LONG cases[][3] = {{10, 1, 4}, {10, 24, 32}, {3, 8, 4}, {33, 1, 8}, {9, 4, 8}, {3, 16, 8}, {3, 32, 12}};
    for (const auto& c : cases) {
        CKwSaveRasterData* raster = nullptr;
        ASSERT_EQ(KwCreatePlainObject(&raster), S_OK);
        g_lastAllocationSize = 0;
        KwSetAllocationHook(&RecordSize);
        EXPECT_EQ(raster->CreateRasterStorage(c[0], 2, c[1], 0, 0, nullptr, 0, nullptr), S_OK);
        KwSetAllocationHook(nullptr);
        EXPECT_EQ(g_lastAllocationSize, static_cast<std::size_t>(c[2]) * 2) << c[0] << " x " << c[1];
        raster->Release();
    }
}

TEST(SaveRasterData, OutputIsJfifAtQuality75WhateverTheHostSays)
{
    SaveSession session;
    KwBstr name(OLESTR("Quality"));
    VARIANT ten = EmptyVariant();
    ten.vt = VT_I4;
    ten.lVal = 10;
    EXPECT_EQ(session.raster->PutAttribute(name.Get(), ten), S_OK);
    ASSERT_EQ(session.raster->CreateRasterStorage(64, 16, 1, 300, 300, nullptr, 0, nullptr), S_OK);
    Bytes runs = Rlc16({16, 48, 0xFFFF});
    std::vector<uint32_t> expected;
    for (int y = 0; y < 16; ++y) {
        ASSERT_EQ(session.raster->AddScanline1(KW_RASTER_RLC_16, y, 1, 6, runs.data()), S_OK);
        for (int x = 0; x < 64; ++x) expected.push_back(x >= 16 && x < 48 ? White : 0);
    }
    ASSERT_EQ(session.raster->EndObject(), S_OK);
    Bytes output = session.Output();
    EXPECT_TRUE(output == EncodeDirect(ToRgb(expected), 64, 16));
    // SOI, then APP0 "JFIF" 1.01 with density unit 0 and densities 1, 1.
    const Bytes jfif = {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1};
    ASSERT_GT(output.size(), jfif.size());
    EXPECT_TRUE(std::equal(jfif.begin(), jfif.end(), output.begin()));
    DecodedJpeg decoded = DecodeJpeg(output);
    ASSERT_TRUE(decoded.ok);
    for (int c = 0; c < 3; ++c) {
        EXPECT_GT(decoded.rgb[(8 * 64 + 32) * 3 + c], 200) << "inside a run";
        EXPECT_LT(decoded.rgb[(8 * 64 + 4) * 3 + c], 50) << "outside the runs";
    }
}

TEST(SaveRasterData, StatesNewReadyEnded)
{
    SaveSession session;
    IKwSaveRasterData* raster = session.raster.Get();
    unsigned char line[4] = {1, 2, 3, 0};
    EXPECT_EQ(raster->AddScanline1(KW_RASTER_RGB, 0, 1, 4, line), E_FAIL);
    EXPECT_EQ(raster->EndObject(), E_FAIL);
    EXPECT_EQ(raster->AddScanline2(KW_RASTER_RGB, 0, 1, nullptr, 0, nullptr), S_OK);
    EXPECT_EQ(raster->StartPolyClipRegion(0, nullptr, 0, nullptr, 0), S_OK);
    EXPECT_EQ(raster->AppendPolyClipRegion(0, nullptr, 0, nullptr, 0), S_OK);
    EXPECT_EQ(raster->CreateRasterStorage(1, 1, 2, 0, 0, nullptr, 0, nullptr), E_FAIL);
    EXPECT_EQ(raster->AddScanline1(KW_RASTER_RGB, 0, 1, 4, line), E_FAIL);
    EXPECT_EQ(raster->EndObject(), E_FAIL);
    EXPECT_TRUE(session.Output().empty());
    // A second storage replaces the first, palette included: the file has the
    // second one's size, and index 2, which only the first palette had, is black.
    LONG whites[3] = {0xFFFFFF, 0xFFFFFF, 0xFFFFFF};
    ASSERT_EQ(raster->CreateRasterStorage(8, 8, 8, 0, 0, nullptr, 3, whites), S_OK);
    ASSERT_EQ(raster->CreateRasterStorage(2, 1, 8, 0, 0, nullptr, 2, whites), S_OK);
    line[1] = 2;
    EXPECT_EQ(raster->AddScanline1(KW_RASTER_INDEX_8, 0, 1, 4, line), S_OK);
    EXPECT_EQ(raster->EndObject(), S_OK);
    Bytes output = session.Output();
    EXPECT_TRUE(output == EncodeDirect({255, 255, 255, 0, 0, 0}, 2, 1));
    EXPECT_EQ(raster->EndObject(), E_FAIL);
    EXPECT_EQ(raster->AddScanline1(KW_RASTER_RGB, 0, 1, 4, line), E_FAIL);
    EXPECT_TRUE(session.Output() == output);
}

TEST(SaveRasterData, RejectsArgumentsOutsideTheirRanges)
{
    std::vector<LONG> palette(256, 0x123456); // exactly 256 entries: NoColors 256 reads no further
    const struct {
        LONG width, height, bitsPerPixel, noColors;
        bool table;
        HRESULT expected;
    } storage[] = {
        {0, 1, 24, 0, false, E_INVALIDARG},      {1, 0, 24, 0, false, E_INVALIDARG},
        {-3, 1, 8, 0, false, E_INVALIDARG},      {1, -3, 8, 0, false, E_INVALIDARG},
        {INT_MAX, 1, 32, 0, false, E_INVALIDARG}, {65536, 65536, 8, 0, false, E_INVALIDARG},
        {4, 4, 8, 257, true, E_INVALIDARG},      {4, 4, 8, -1, true, E_INVALIDARG},
        {4, 4, 8, 2, false, E_POINTER},          {4, 4, 8, 256, true, S_OK},
    };
    for (const auto& c : storage) {
        SaveSession session;
        EXPECT_EQ(session.raster->CreateRasterStorage(c.width, c.height, c.bitsPerPixel, 0, 0, nullptr, c.noColors,
                                                      c.table ? palette.data() : nullptr),
                  c.expected)
            << c.width << " x " << c.height << " x " << c.bitsPerPixel << ", " << c.noColors << " colors";
        EXPECT_EQ(session.raster->EndObject(), c.expected == S_OK ? S_OK : E_FAIL);
    }

    SaveSession session;
    IKwSaveRasterData* raster = session.raster.Get();
    ASSERT_EQ(raster->CreateRasterStorage(2, 2, 24, 0, 0, nullptr, 0, nullptr), S_OK);
    Bytes line(8, 0);
    EXPECT_EQ(raster->AddScanline1(KW_RASTER_RGB, 0, 1, 8, nullptr), E_POINTER);
    EXPECT_EQ(raster->AddScanline1(KW_RASTER_RGB, 0, 0, 8, nullptr), S_OK);
    EXPECT_EQ(raster->AddScanline1(KW_RASTER_RGB, 0, 1, 0, line.data()), E_INVALIDARG);
    Bytes terminator = Rlc32({-1});
    EXPECT_EQ(raster->AddScanline1(KW_RASTER_RLC_32, 0, 1, -8, terminator.data()), S_OK) << "a step of any value";
    EXPECT_EQ(raster->AddScanline1(KW_RASTER_RGB, INT_MAX, INT_MAX, 8, line.data()), S_OK);
    EXPECT_EQ(raster->AddScanline1(KW_RASTER_RGB, INT_MIN, 2, 8, line.data()), S_OK);
    // Forms the filter does not read, and row types outside the list, as a host
    // may pass any 32-bit value (the sanitizer build would report an enum value
    // its type cannot hold): accepted whatever the lines are.
    for (int type : {int(KW_RASTER_BW), int(KW_RASTER_INDEX_2), int(KW_RASTER_RLE_8), int(KW_RASTER_WB), -1, 10, 16,
                     255, 100000, INT_MIN, INT_MAX}) {
        EXPECT_EQ(raster->AddScanline1(static_cast<KW_RASTER_TYPE>(type), 0, 1, 8, line.data()), S_OK) << type;
        EXPECT_EQ(raster->AddScanline1(static_cast<KW_RASTER_TYPE>(type), 0, 1, 0, nullptr), S_OK) << type;
    }
    EXPECT_EQ(raster->EndObject(), S_OK);
}

TEST(SaveRasterData, AllocationFailuresAndCodecErrors)
{
    MessageBoxCapture boxes;
    SaveSession session;
    IKwSaveRasterData* raster = session.raster.Get();
    g_failingAllocation = 1;
    KwSetAllocationHook(&FailOne);
    EXPECT_EQ(raster->CreateRasterStorage(4, 4, 24, 0, 0, nullptr, 0, nullptr), E_OUTOFMEMORY);
    KwSetAllocationHook(nullptr);
    unsigned char line[12] = {};
    EXPECT_EQ(raster->AddScanline1(KW_RASTER_RGB, 0, 1, 12, line), E_FAIL);

    // The row buffer: nothing written, the image kept for another try.
    ASSERT_EQ(raster->CreateRasterStorage(4, 4, 24, 0, 0, nullptr, 0, nullptr), S_OK);
    KwSetAllocationHook(&FailOne);
    EXPECT_EQ(raster->EndObject(), E_OUTOFMEMORY);
    KwSetAllocationHook(nullptr);
    EXPECT_TRUE(session.Output().empty());
    EXPECT_EQ(raster->EndObject(), S_OK);
    EXPECT_TRUE(boxes.calls.empty());

    // A fatal codec error before any output: one box with the codec's message.
    SaveSession wide;
    ASSERT_EQ(wide.raster->CreateRasterStorage(70000, 1, 1, 0, 0, nullptr, 0, nullptr), S_OK);
    EXPECT_EQ(wide.raster->EndObject(), E_FAIL);
    ASSERT_EQ(boxes.calls.size(), 1u);
    EXPECT_EQ(boxes.calls[0].text, "Maximum supported image dimension is 65500 pixels");
    EXPECT_EQ(boxes.calls[0].caption, "JPEG Error");
    EXPECT_EQ(wide.raster->EndObject(), E_FAIL);
}
