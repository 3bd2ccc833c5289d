// The pieces kwjpeg streams rows through: the red/blue swap, the PPM/PGM
// reader that fills host rows a band at a time, the row sink that writes
// a PPM/PGM as the filter delivers rows, and the image handed to the save driver.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tool/KwNetpbmReader.h"
#include "tool/KwNetpbmRowWriter.h"
#include "tool/KwPixelSwap.h"
#include "tool/KwProgressBar.h"
#include "tool/KwRasterImage.h"

namespace {

std::string TempPath(const std::string& name)
{
    const std::string file = "kwtool-rows-" + std::to_string(getpid()) + "-" + name;
    return (std::filesystem::temp_directory_path() / file).string();
}

void WriteText(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Every length around the 5-pixel steps and the 16-byte loads, apart and in place.
TEST(KwPixelSwapTest, SwapsEveryPixelWithoutTouchingMore)
{
    for (size_t pixels = 0; pixels < 40; ++pixels) {
        std::vector<uint8_t> in(pixels * 3 + 8), out(pixels * 3 + 8, 0xEE);
        for (size_t i = 0; i < in.size(); ++i) in[i] = static_cast<uint8_t>(i * 37 + 1);
        KwPixelSwap::SwapRedBlue(in.data(), out.data(), pixels);
        for (size_t p = 0; p < pixels; ++p) {
            ASSERT_EQ(in[3 * p + 2], out[3 * p]) << pixels << " pixels, pixel " << p;
            ASSERT_EQ(in[3 * p + 1], out[3 * p + 1]);
            ASSERT_EQ(in[3 * p], out[3 * p + 2]);
        }
        for (size_t i = pixels * 3; i < out.size(); ++i) ASSERT_EQ(0xEE, out[i]) << "written past the row";
        std::vector<uint8_t> same = in;
        KwPixelSwap::SwapRedBlue(same.data(), same.data(), pixels);
        ASSERT_TRUE(std::equal(out.begin(), out.begin() + static_cast<long>(pixels * 3), same.begin())) << pixels;
    }
}

// Image files put a 4-bit byte's leftmost pixel in the high nibble and draw a
// set 1-bit pixel with palette entry 1; the save filter reads the opposite.
TEST(KwRasterImageTest, HostImageHasTheSaveFiltersNibbleAndBitOrder)
{
    const uint32_t black = 0x000000, white = 0xFFFFFF, red = 0xFF0000;
    for (int32_t bits : {1, 4, 8, 24}) {
        KwRasterImage image;
        ASSERT_TRUE(image.Allocate(9, 2, bits, nullptr));
        image.Palette = {black, white, red};
        for (size_t i = 0; i < image.Pixels.size(); ++i) image.Pixels[i] = static_cast<uint8_t>(0x12 + i);
        image.DpiX = 299.6;
        image.DpiY = 1e12;
        const std::vector<uint8_t> rows = image.Pixels;
        const KwHostImage host = KwRasterImage::ToHostImage(std::move(image));
        EXPECT_EQ(host.Stride(), bits == 1 ? 4 : bits == 4 ? 8 : bits == 8 ? 12 : 28) << "rows of whole words";
        EXPECT_EQ(host.DpiX, 300) << "whole dots per inch";
        EXPECT_EQ(host.DpiY, 0) << "out of range: unknown";
        ASSERT_EQ(host.Pixels.size(), rows.size());
        for (size_t i = 0; i < rows.size(); ++i) {
            const uint8_t swapped = static_cast<uint8_t>((rows[i] >> 4) | (rows[i] << 4));
            ASSERT_EQ(host.Pixels[i], bits == 4 ? swapped : rows[i]) << bits << " bits, byte " << i;
        }
        const std::vector<LONG> palette =
            bits == 1 ? std::vector<LONG>{LONG(white), LONG(black)} : std::vector<LONG>{LONG(black), LONG(white), LONG(red)};
        EXPECT_EQ(host.Palette, palette) << bits;
    }
}

TEST(KwNetpbmReaderTest, ReadsRowsIntoTheHostLayoutAcrossBands)
{
    // 700 x 600 colour pixels: more than one read band, and rows padded to 2100 + 0 bytes.
    const int w = 700, h = 600;
    std::string file = "P6\n# made by a test\n700 600\n255# the line end after a comment ends the header\n";
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            file += char(x & 0xFF);
            file += char(y & 0xFF);
            file += char((x + y) & 0xFF);
        }
    const std::string path = TempPath("band.ppm");
    WriteText(path, file);
    KwNetpbmReader reader;
    std::string error;
    ASSERT_TRUE(reader.Open(path, error)) << error;
    EXPECT_EQ(w, reader.Width());
    EXPECT_EQ(h, reader.Height());
    EXPECT_EQ(24, reader.BitsPerPixel());
    const size_t stride = 2104; // wider than the row: the padding stays as it was
    std::vector<uint8_t> rows(stride * h, 0xAB);
    ASSERT_TRUE(reader.ReadRows(rows.data(), stride, 1, error)) << error;
    ASSERT_TRUE(reader.ReadRows(rows.data() + stride, stride, h - 1, error)) << error;
    for (int y : {0, 1, 499, 599})
        for (int x : {0, 5, 699}) {
            const uint8_t* px = rows.data() + size_t(y) * stride + size_t(x) * 3;
            EXPECT_EQ(uint8_t((x + y) & 0xFF), px[0]) << x << "," << y; // blue
            EXPECT_EQ(uint8_t(y & 0xFF), px[1]);
            EXPECT_EQ(uint8_t(x & 0xFF), px[2]); // red
        }
    EXPECT_EQ(0xAB, rows[stride - 1]);
    EXPECT_FALSE(reader.ReadRows(rows.data(), stride, 1, error)) << "no rows are left";
    EXPECT_EQ("pixel data is cut short", error);
    std::remove(path.c_str());
}

TEST(KwNetpbmReaderTest, RefusesWhatItCannotRead)
{
    const std::string path = TempPath("bad.pgm");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"P3\n1 1\n255\n", "not a binary PPM or PGM file (expected P6 or P5)"},
        {"P5\n4 x\n255\n", "damaged PPM/PGM header"},
        {"P5\n4 4\n65535\n", "only 8-bit samples (maxval 255) are supported, the file has maxval 65535"},
        {"P5\n0 4\n255\n", "the image has no pixels (0 x 4)"},
        {"P5\n99999999 99999999\n255\n", "the image has 99999999 x 99999999 = 9999999800000001 pixels, more than the limit of 268435456 (--max-pixels)"},
        {"P5\n9999999999 1\n255\n", "damaged PPM/PGM header"},
        // Refused before the reader's caller takes memory for the rows.
        {"P5 3 2 255\nabcde", "pixel data is cut short (3 x 2 needs 6 bytes of samples, the file holds 5)"},
        {"P6\n16000 16000\n255\n", "pixel data is cut short (16000 x 16000 needs 768000000 bytes of samples, the file holds 0)"},
    };
    for (const auto& c : cases) {
        WriteText(path, c.first);
        KwNetpbmReader reader;
        std::string error;
        EXPECT_FALSE(reader.Open(path, error)) << c.first;
        EXPECT_EQ(c.second, error) << c.first;
    }
    std::remove(path.c_str());
}

// A message that cannot wait for the bar to finish (an interrupt) asks
// whether the terminal's line is open.
TEST(KwProgressBarTest, SaysWhileItsLineIsOpen)
{
    KwProgressBar bar(true, true);
    bar.Update("x", 50, 0, 1);
    EXPECT_TRUE(KwProgressBar::LineOpen());
    bar.Finish();
    EXPECT_FALSE(KwProgressBar::LineOpen());
}

TEST(KwNetpbmRowWriterTest, WritesRowsAsTheyComeAndFillsWhatNeverCame)
{
    const std::string path = TempPath("out.ppm");
    {
        KwNetpbmRowWriter writer(path, false);
        ASSERT_EQ(S_OK, writer.Begin(2, 3, 24, {}));
        const unsigned char rows[16] = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0};
        ASSERT_EQ(S_OK, writer.Rows(0, 2, rows, 8));
        EXPECT_EQ(E_UNEXPECTED, writer.Rows(0, 1, rows, 8)) << "rows go forward only";
        std::string error;
        ASSERT_TRUE(writer.Finish(error)) << error;
    }
    EXPECT_EQ(std::string("P6\n2 3\n255\n") + std::string("\3\2\1\6\5\4\11\10\7\14\13\12", 12) +
                  std::string(6, '\0'),
              ReadText(path))
        << "B, G, R rows become R, G, B; the row never delivered is black";

    // An 8-bit palette image: PGM through the levels, PPM through the colours.
    std::vector<LONG> inverted(256);
    for (LONG i = 0; i < 256; ++i) inverted[size_t(i)] = (255 - i) * 0x010101;
    {
        KwNetpbmRowWriter writer(path, true);
        ASSERT_EQ(S_OK, writer.Begin(3, 1, 8, inverted));
        const unsigned char row[4] = {0, 1, 255, 9};
        ASSERT_EQ(S_OK, writer.Rows(0, 1, row, 4));
        std::string error;
        ASSERT_TRUE(writer.Finish(error)) << error;
    }
    EXPECT_EQ(std::string("P5\n3 1\n255\n\xFF\xFE\0", 14), ReadText(path));
    {
        KwNetpbmRowWriter writer(path, true);
        EXPECT_EQ(E_INVALIDARG, writer.Begin(3, 1, 8, {0xFF0000, 0x00FF00}));
        EXPECT_EQ("a PGM file holds gray images only, and this image has colour (write .ppm or .png instead)",
                  writer.Error());
        std::string error;
        EXPECT_FALSE(writer.Finish(error));
    }
    {
        KwNetpbmRowWriter writer(TempPath("no-such-folder/out.ppm"), false);
        EXPECT_TRUE(FAILED(writer.Begin(3, 1, 24, {}))) << "the folder does not exist";
        EXPECT_FALSE(writer.Error().empty());
    }
    std::remove(path.c_str());
}

} // namespace
