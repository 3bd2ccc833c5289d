// An independent oracle: for the same pixels, the filter writes byte for byte
// what the distribution's `cjpeg -quality 75 -baseline` writes from a PPM file.
// Real photographs (Debian's mate-backgrounds), saved as 24-bit rows and as
// 8-bit palette images; a missing cjpeg or photograph is a failure.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include <sys/stat.h>

#include "save/CKwFilterSaveJPEG.h"
#include "engine/KwHostSaveDriver.h"
#include "SaveTestSupport.h"

namespace {

const char* const Photos[] = {
    "/usr/share/backgrounds/mate/nature/Garden.jpg",          // 96 dpi, baseline
    "/usr/share/backgrounds/mate/desktop/GreenTraditional.jpg",
    "/usr/share/backgrounds/mate/nature/FreshFlower.jpg",     // progressive
    "/usr/share/backgrounds/mate/nature/Storm.jpg",
};

Bytes Cjpeg(const Bytes& rgb, LONG width, LONG height, const std::string& name)
{
    const std::string dir = std::string(KW_TEST_BINARY_DIR) + "/save-oracle";
    mkdir(dir.c_str(), 0777);
    const std::string ppm = dir + "/" + name + ".ppm", jpeg = dir + "/" + name + ".jpg";
    {
        std::ofstream out(ppm, std::ios::binary);
        out << "P6\n" << width << " " << height << "\n255\n";
        out.write(reinterpret_cast<const char*>(rgb.data()), static_cast<std::streamsize>(rgb.size()));
    }
    std::remove(jpeg.c_str());
    if (std::system(("cjpeg -quality 75 -baseline -outfile '" + jpeg + "' '" + ppm + "'").c_str()) != 0) return {};
    return ReadFileBytes(jpeg);
}

Bytes SaveThroughFilter(const KwHostImage& image)
{
    KwComPtr<IKwFilterSave> filter;
    KwCreateComObject<CKwFilterSaveJPEG>(nullptr, IID_IKwFilterSave, reinterpret_cast<void**>(filter.Receive()));
    KwComPtr<KwHostMemoryStream> stream;
    KwHostMemoryStream::Create(nullptr, 0, stream.Receive());
    KwHostSaveOptions options; // as a host walks its tree down to the raster block
    options.Levels = {KW_DOCUMENT, KW_CONTENTS, KW_CONTAINER};
    EXPECT_EQ(KwHostSaveDriver().Save(filter.Get(), stream.Get(), image, options), S_OK);
    return stream->Bytes();
}

} // namespace

TEST(SaveOracle, PhotographsAreSavedAsCjpegWritesThem)
{
    ASSERT_EQ(std::system("command -v cjpeg > /dev/null"), 0) << "cjpeg is missing (libjpeg-turbo-progs)";
    int index = 0;
    for (const char* photo : Photos) {
        SCOPED_TRACE(photo);
        // A quarter-size decode, cropped to an odd size so that rows carry padding.
        DecodedJpeg decoded = DecodeJpeg(ReadFileBytes(photo), 4);
        ASSERT_TRUE(decoded.ok) << "photograph missing or unreadable (mate-backgrounds)";
        const LONG width = std::min(decoded.width, 401), height = std::min(decoded.height, 299);
        KwHostImage color = KwHostImage::Make(width, height, 24);
        KwHostImage indexed = KwHostImage::Make(width, height, 8);
        for (LONG i = 0; i < 256; ++i) // 3-3-2 levels of red, green, blue
            indexed.Palette[i] = ((i >> 5) * 255 / 7) << 16 | (((i >> 2) & 7) * 255 / 7) << 8 | (i & 3) * 255 / 3;
        Bytes rgb, rgbIndexed;
        for (LONG y = 0; y < height; ++y) {
            for (LONG x = 0; x < width; ++x) {
                const unsigned char* p = &decoded.rgb[(static_cast<size_t>(y) * decoded.width + x) * 3];
                unsigned char* bgr = color.Row(y) + 3 * x;
                bgr[0] = p[2], bgr[1] = p[1], bgr[2] = p[0];
                rgb.insert(rgb.end(), p, p + 3);
                const LONG i = (p[0] >> 5) << 5 | (p[1] >> 5) << 2 | p[2] >> 6;
                indexed.Row(y)[x] = static_cast<unsigned char>(i);
                const LONG entry = indexed.Palette[i];
                rgbIndexed.insert(rgbIndexed.end(), {uint8_t(entry >> 16), uint8_t(entry >> 8), uint8_t(entry)});
            }
        }
        const std::string name = "photo" + std::to_string(index++);
        Bytes expected = Cjpeg(rgb, width, height, name);
        ASSERT_FALSE(expected.empty()) << "cjpeg failed";
        EXPECT_TRUE(SaveThroughFilter(color) == expected) << "24 bits per pixel";
        EXPECT_TRUE(SaveThroughFilter(indexed) == Cjpeg(rgbIndexed, width, height, name + "-indexed"))
            << "8 bits per pixel";
    }
}
