// Real photographs decoded through the filter into the host give the pixels
// that djpeg (libjpeg-turbo-progs) gives with the fast integer IDCT. The photos
// come from Debian's mate-backgrounds; a missing tool or photo is a failure. A
// photo cut off in its scan data ("NAME@BYTES": its first BYTES) decodes as djpeg
// decodes it, the last byte there included.
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>
#include <sys/stat.h>

#include "hostdouble/KwHostDouble.h"
#include "engine/KwHostFileStream.h"
#include "LoadFixture.h"

namespace {

const char* const PhotoDirectory = "/usr/share/backgrounds/mate/";

struct Image {
    int width = 0;
    int height = 0;
    int channels = 0;
    Bytes samples;
};

// Runs djpeg on the file and reads its PPM or PGM output; channels 0 on failure.
Image Djpeg(const std::string& path)
{
    Image image;
    const std::string command = "djpeg -dct fast -ppm '" + path + "' 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe) return image;
    char magic[3] = {};
    int maxValue = 0;
    if (std::fscanf(pipe.get(), "%2s %d %d %d", magic, &image.width, &image.height, &maxValue) != 4 ||
        maxValue != 255 || std::fgetc(pipe.get()) == EOF)
        return image;
    const int channels = std::string(magic) == "P6" ? 3 : std::string(magic) == "P5" ? 1 : 0;
    if (channels == 0) return image;
    image.samples.resize(static_cast<size_t>(image.width) * image.height * channels);
    if (std::fread(image.samples.data(), 1, image.samples.size(), pipe.get()) != image.samples.size()) return image;
    image.channels = channels;
    return image;
}

} // namespace

class OracleTest : public LoadFixture, public ::testing::WithParamInterface<const char*> {};

TEST_P(OracleTest, PixelsEqualDjpeg)
{
    const std::string param = GetParam();
    std::string path = std::string(PhotoDirectory) + param.substr(0, param.find('@'));
    struct stat info;
    ASSERT_EQ(stat(path.c_str(), &info), 0) << path << " is missing: run scripts/setup (mate-backgrounds)";
    if (param.find('@') != std::string::npos) {
        std::ifstream in(path, std::ios::binary);
        std::vector<char> head(std::stoul(param.substr(param.find('@') + 1)));
        ASSERT_TRUE(in.read(head.data(), static_cast<std::streamsize>(head.size())));
        path = ::testing::TempDir() + "cut.jpg";
        ASSERT_TRUE(std::ofstream(path, std::ios::binary).write(head.data(), static_cast<std::streamsize>(head.size())));
    }
    const Image oracle = Djpeg(path);
    ASSERT_NE(oracle.channels, 0) << "djpeg failed or is missing: run scripts/setup (libjpeg-turbo-progs)";

    KwComPtr<KwHostFileStream> file;
    ASSERT_EQ(KwHostFileStream::Open(path, KwHostFileMode::Read, file.Receive(), context), S_OK);
    ASSERT_EQ(KwHostDataObject::Create(static_cast<IStream*>(file.Get()), path, dataObject.Receive(), context), S_OK);
    ASSERT_EQ(filter->OpenDocument(dataObject.Get(), document.Get(), nullptr), S_OK);
    KwHostDouble(context).Log().SetEnabled(false); // a photo makes thousands of calls; they are not the point here
    ASSERT_EQ(Load(), S_OK);

    KwHostRasterBlock* raster = Raster();
    ASSERT_NE(raster, nullptr);
    ASSERT_EQ(raster->Width(), oracle.width);
    ASSERT_EQ(raster->Height(), oracle.height);
    ASSERT_EQ(raster->BitsPerPixel(), oracle.channels == 1 ? 8 : 24);
    int wrongRows = 0;
    for (int y = 0; y < oracle.height; ++y) {
        const unsigned char* row = raster->Row(y);
        const unsigned char* expected = oracle.samples.data() + static_cast<size_t>(y) * oracle.width * oracle.channels;
        for (int x = 0; x < oracle.width; ++x) {
            const bool same = oracle.channels == 1
                                  ? row[x] == expected[x]
                                  : row[3 * x] == expected[3 * x + 2] && row[3 * x + 1] == expected[3 * x + 1] &&
                                        row[3 * x + 2] == expected[3 * x];
            if (!same) {
                ++wrongRows;
                break;
            }
        }
    }
    EXPECT_EQ(wrongRows, 0);
    EXPECT_EQ(NodeAttribute("Loaded")->Value.Get().boolVal, VARIANT_TRUE);
}

// Progressive and baseline, with and without EXIF, both EXIF byte orders.
INSTANTIATE_TEST_SUITE_P(Photos, OracleTest,
                         ::testing::Values("nature/FreshFlower.jpg", "desktop/GreenTraditional.jpg",
                                           "nature/GreenMeadow.jpg", "nature/Blinds.jpg", "nature/Blinds.jpg@20000"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             std::string name = info.param;
                             name = name.substr(name.find('/') + 1);
                             const std::string cut = name.find('@') == std::string::npos ? "" : "Cut";
                             return name.substr(0, name.find('.')) + cut;
                         });
