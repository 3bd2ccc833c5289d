// kwjpeg as a user meets it: each test runs the built tool in its own process,
// with the registry file that CTest names for this suite.
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "common/ExifBuilder.h"
#include "common/ScopedRegistryFile.h"
#include "common/TestJpeg.h"
#include "generated/KwVersion.h"

namespace {

const std::string Build = KW_TEST_BINARY_DIR;
const std::string ToolPath = Build + "/host/tool/kwjpeg";
const std::string Library = Build + "/src/libKwFilter_JPEG.so";

struct Outcome {
    int Status = -1;
    std::string Out, Err;
};

std::string Scratch()
{
    static std::string dir;
    if (dir.empty()) {
        char templ[] = "/tmp/kwjpeg-test-XXXXXX";
        dir = mkdtemp(templ);
        // Runs before dir itself is destroyed: atexit handlers and statics unwind in reverse order.
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(dir, ignored);
        });
    }
    return dir;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::vector<unsigned char>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

bool Exists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

size_t EntriesIn(const std::string& dir, const std::string& containing)
{
    size_t count = 0;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (std::string(e->d_name).find(containing) != std::string::npos) ++count;
        closedir(d);
    }
    return count;
}

// Runs a shell command line; env is prefixed as VAR=value assignments.
Outcome Shell(const std::string& command, const std::string& env = std::string())
{
    static int counter = 0;
    std::string out = Scratch() + "/out-" + std::to_string(++counter);
    std::string err = out + ".err";
    std::string line = env + " " + command + " >" + out + " 2>" + err;
    Outcome run;
    int raw = std::system(line.c_str());
    run.Status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.Out = ReadFile(out);
    run.Err = ReadFile(err);
    return run;
}

// Each test process registers into a registry file of its own: CTest runs the
// cases in parallel, and a registration rewrites the keys other readers need.
std::string OwnRegistry() { return "KWPLATFORM_REGISTRY=" + Scratch() + "/registry.reg"; }

Outcome Tool(const std::string& args, const std::string& env = std::string())
{
    return Shell(ToolPath + " " + args, env.empty() ? OwnRegistry() : env);
}

std::vector<std::string> Photos()
{
    // Baseline 4:4:4, baseline 4:2:2 with EXIF, progressive 4:2:0.
    return {"/usr/share/backgrounds/mate/desktop/GreenTraditional.jpg", "/usr/share/backgrounds/mate/nature/Storm.jpg",
            "/usr/share/backgrounds/mate/nature/FreshFlower.jpg"};
}

class KwjpegTool : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        Outcome r = Tool("register --quiet " + Library);
        ASSERT_EQ(r.Status, 0) << r.Err;
    }
};

TEST_F(KwjpegTool, HelpAndUsageErrors)
{
    Outcome help = Tool("--help");
    EXPECT_EQ(help.Status, 0);
    EXPECT_NE(help.Out.find("kwjpeg info"), std::string::npos);
    EXPECT_NE(help.Out.find("Exit status"), std::string::npos);
    Outcome none = Tool("");
    EXPECT_EQ(none.Status, 2);
    EXPECT_EQ(none.Out, "") << "a short usage, on standard error";
    EXPECT_NE(none.Err.find("Usage: kwjpeg info"), std::string::npos) << none.Err;
    EXPECT_LT(none.Err.size(), help.Out.size() / 4) << none.Err;
    Outcome unknown = Tool("frobnicate");
    EXPECT_EQ(unknown.Status, 2);
    EXPECT_NE(unknown.Err.find("unknown command 'frobnicate'"), std::string::npos);
    Outcome badOption = Tool("info --bogus x.jpg");
    EXPECT_EQ(badOption.Status, 2);
    Outcome convertArity = Tool("convert only-one.jpg");
    EXPECT_EQ(convertArity.Status, 2);
}

TEST_F(KwjpegTool, NothingRegisteredTellsTheUserToRegister)
{
    std::string jpg = Scratch() + "/plain.jpg";
    WriteFile(jpg, TestJpeg::Make(TestJpeg::Options()));
    std::string registry = Scratch() + "/empty-registry.reg";
    Outcome r = Tool("info " + jpg, "KWPLATFORM_REGISTRY=" + registry);
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find(jpg), std::string::npos) << r.Err;
    EXPECT_NE(r.Err.find("kwjpeg register"), std::string::npos) << r.Err;
}

TEST_F(KwjpegTool, RegisterFiltersUnregisterEachInItsOwnProcess)
{
    std::string registry = Scratch() + "/steps.reg";
    std::string env = "KWPLATFORM_REGISTRY=" + registry;
    ASSERT_EQ(Tool("register " + Library, env).Status, 0);
    std::string text = ReadFile(registry);
    EXPECT_NE(text.find("KwFilter_JPEG.KwFilterJPEG"), std::string::npos);
    EXPECT_NE(text.find(KW_VERSION_TEXT), std::string::npos);

    Outcome filters = Tool("filters", env);
    EXPECT_EQ(filters.Status, 0);
    EXPECT_NE(filters.Out.find("*.JPG,*.JPEG,*.JFIF,*.JFI"), std::string::npos) << filters.Out;
    EXPECT_NE(filters.Out.find("saves  JPEG File Interchange Format as .JPG"), std::string::npos) << filters.Out;

    // A load and a save found through the catalogue, in processes of their own.
    std::string jpg = Scratch() + "/steps.jpg";
    WriteFile(jpg, TestJpeg::Make(TestJpeg::Options()));
    EXPECT_EQ(Tool("info --json " + jpg, env).Status, 0);
    std::string bmp = Scratch() + "/steps.bmp";
    EXPECT_EQ(Tool("convert -q " + jpg + " " + bmp, env).Status, 0);
    EXPECT_EQ(Tool("convert -q " + bmp + " " + Scratch() + "/steps-out.jpg", env).Status, 0);

    // A damaged registry file: its keys still serve, the user is told once where, and it is never rewritten.
    const std::string sound = ReadFile(registry), damaged = sound + "damage\n";
    WriteFile(registry, std::vector<unsigned char>(damaged.begin(), damaged.end()));
    const std::string warning = "the registry file " + registry + " is damaged at line " +
                                std::to_string(std::count(damaged.begin(), damaged.end(), '\n')) + ";";
    Outcome r = Tool("info " + jpg + " " + jpg, env);
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Err.find(warning), std::string::npos) << r.Err;
    EXPECT_EQ(r.Err.find(warning), r.Err.rfind(warning)) << "said once: " << r.Err;
    r = Tool("register " + Library, env);
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("the registry file is damaged, and a damaged file is never rewritten"), std::string::npos)
        << r.Err;
    EXPECT_EQ(ReadFile(registry), damaged);
    WriteFile(registry, std::vector<unsigned char>(sound.begin(), sound.end()));

    ASSERT_EQ(Tool("unregister " + Library, env).Status, 0);
    text = ReadFile(registry);
    EXPECT_EQ(text.find("Quarvenx"), std::string::npos) << text;
    EXPECT_EQ(text.find("KwFilter_JPEG"), std::string::npos) << text;
    Outcome after = Tool("info " + jpg, env);
    EXPECT_EQ(after.Status, 1);
}

TEST_F(KwjpegTool, InfoJsonReportsDensitiesDepthsAndRefusals)
{
    struct Case {
        int Unit, X, Y;
        TestJpeg::Color Kind;
        const char* LpiX;
        const char* LpiY;
        const char* Bits;
    } cases[] = {
        {1, 300, 300, TestJpeg::Rgb, "\"LpiX\":300,", "\"LpiY\":300}", "\"BitsPerPixel\":24"},
        {2, 118, 118, TestJpeg::Rgb, "\"LpiX\":299.72", "\"LpiY\":299.72", "\"BitsPerPixel\":24"},
        {0, 1, 1, TestJpeg::Gray, "\"LpiX\":96,", "\"LpiY\":96}", "\"BitsPerPixel\":8"},
        {1, 300, 5, TestJpeg::Gray, "\"LpiX\":300,", "\"LpiY\":96}", "\"BitsPerPixel\":8"},
    };
    int n = 0;
    for (const Case& c : cases) {
        TestJpeg::Options o;
        o.Kind = c.Kind;
        o.DensityUnit = c.Unit;
        o.XDensity = c.X;
        o.YDensity = c.Y;
        std::string path = Scratch() + "/density" + std::to_string(n++) + ".jpg";
        WriteFile(path, TestJpeg::Make(o));
        Outcome r = Tool("info --json " + path);
        EXPECT_EQ(r.Status, 0) << r.Err;
        EXPECT_EQ(r.Out.rfind("{\"file\":\"" + path + "\",\"result\":\"0x00000000\",\"document\":{", 0), 0u) << r.Out;
        EXPECT_NE(r.Out.find(c.LpiX), std::string::npos) << r.Out;
        EXPECT_NE(r.Out.find(c.LpiY), std::string::npos) << r.Out;
        EXPECT_NE(r.Out.find(c.Bits), std::string::npos) << r.Out;
        EXPECT_NE(r.Out.find("\"raster\":{\"width\":16,\"height\":16,"), std::string::npos) << r.Out;
        EXPECT_EQ(std::count(r.Out.begin(), r.Out.end(), '\n'), 1) << "one line per file";
    }

    // A file the acceptance test refuses still shows what was published, and fails.
    std::string text = Scratch() + "/not-a-jpeg.jpg";
    WriteFile(text, std::vector<unsigned char>(100, 'x'));
    Outcome refused = Tool("info --json " + text);
    EXPECT_EQ(refused.Status, 1);
    EXPECT_NE(refused.Out.find("\"result\":\"0x80004005\""), std::string::npos) << refused.Out;
    EXPECT_NE(refused.Out.find("\"raster\":null"), std::string::npos) << refused.Out;
    EXPECT_NE(refused.Err.find(text), std::string::npos);
    EXPECT_NE(refused.Err.find(text + ": the file is not a JPEG file"), std::string::npos) << refused.Err;
    EXPECT_NE(refused.Out.find("\"error\":\"the file is not a JPEG file"), std::string::npos) << refused.Out;
}

TEST_F(KwjpegTool, InfoShowsCameraDataWithUnits)
{
    Outcome r = Tool("info /usr/share/backgrounds/mate/nature/Storm.jpg");
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Out.find("Format \"JPEG (Exif)\""), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("SummaryInformation"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find(" s\n"), std::string::npos) << "exposure in seconds: " << r.Out;
    Outcome json = Tool("info --json /usr/share/backgrounds/mate/nature/Storm.jpg");
    EXPECT_NE(json.Out.find("\"SummaryInformation\":{\"ExifVersion\":"), std::string::npos) << json.Out;
}

// The pixels kwjpeg writes are the pixels the filter delivered, which for a
// well-formed file are libjpeg's fast-IDCT decode: djpeg is the oracle.
TEST_F(KwjpegTool, ConvertMatchesDjpegOnPhotographsAndTestImages)
{
    std::vector<std::string> inputs = Photos();
    TestJpeg::Options gray;
    gray.Kind = TestJpeg::Gray;
    gray.Width = 77;
    gray.Height = 130;
    TestJpeg::Options prog;
    prog.Subsampling = TestJpeg::S422;
    prog.Progressive = true;
    prog.Width = 99;
    prog.Height = 65;
    WriteFile(Scratch() + "/oracle-gray.jpg", TestJpeg::Make(gray));
    WriteFile(Scratch() + "/oracle-prog.jpg", TestJpeg::Make(prog));
    inputs.push_back(Scratch() + "/oracle-gray.jpg");
    inputs.push_back(Scratch() + "/oracle-prog.jpg");
    for (const std::string& in : inputs) {
        ASSERT_TRUE(Exists(in)) << in << " is missing: scripts/setup installs mate-backgrounds";
        bool isGray = in.find("gray") != std::string::npos;
        std::string ours = Scratch() + "/ours" + (isGray ? ".pgm" : ".ppm");
        std::string theirs = Scratch() + "/theirs" + (isGray ? ".pgm" : ".ppm");
        Outcome r = Tool("convert -q " + in + " " + ours);
        ASSERT_EQ(r.Status, 0) << r.Err;
        Outcome d = Shell("djpeg -dct fast -pnm -outfile " + theirs + " " + in);
        ASSERT_EQ(d.Status, 0) << "djpeg (libjpeg-turbo-progs) is needed: " << d.Err;
        EXPECT_TRUE(ReadFile(ours) == ReadFile(theirs)) << in;
    }
}

// A BMP of 1, 4, 8 or 24 bits saved through the filter is byte for byte what
// cjpeg writes for the colours the BMP shows.
TEST_F(KwjpegTool, ConvertBmpToJpegMatchesCjpeg)
{
    const int w = 37, h = 23;
    for (int bpp : {1, 4, 8, 24}) {
        int stride = ((w * bpp + 31) / 32) * 4;
        int colors = bpp <= 8 ? (1 << bpp) : 0;
        std::vector<unsigned char> bmp(54 + size_t(colors) * 4 + size_t(stride) * h, 0);
        auto put32 = [&](size_t at, unsigned v) {
            for (int i = 0; i < 4; ++i) bmp[at + i] = (unsigned char)(v >> (8 * i));
        };
        bmp[0] = 'B';
        bmp[1] = 'M';
        put32(2, unsigned(bmp.size()));
        put32(10, 54 + colors * 4);
        put32(14, 40);
        put32(18, w);
        put32(22, h);
        bmp[26] = 1;
        bmp[28] = (unsigned char)bpp;
        put32(46, colors);
        std::vector<unsigned> palette(static_cast<size_t>(colors));
        for (int i = 0; i < colors; ++i) {
            palette[size_t(i)] = (unsigned(i * 53 % 256) << 16) | (unsigned(255 - i * 17 % 256) << 8) | unsigned(i * 97 % 256);
            put32(54 + size_t(i) * 4, palette[size_t(i)]);
        }
        if (bpp == 1) palette = {0x102030, 0xF0E0D0}, put32(54, 0x102030), put32(58, 0xF0E0D0);
        std::string ppm = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
        size_t pixelStart = 54 + size_t(colors) * 4;
        for (int y = 0; y < h; ++y) {
            unsigned char* row = &bmp[pixelStart + size_t(h - 1 - y) * size_t(stride)]; // bottom-up file
            for (int x = 0; x < w; ++x) {
                unsigned rgb;
                int index = (x * 7 + y * 3) % (colors ? colors : 1);
                if (bpp == 1) {
                    if (index) row[x / 8] |= (unsigned char)(0x80 >> (x % 8));
                    rgb = palette[size_t(index)];
                } else if (bpp == 4) {
                    row[x / 2] |= (unsigned char)(x % 2 ? index : index << 4);
                    rgb = palette[size_t(index)];
                } else if (bpp == 8) {
                    row[x] = (unsigned char)index;
                    rgb = palette[size_t(index)];
                } else {
                    rgb = (unsigned(x * 7) << 16) | (unsigned(y * 11) << 8) | unsigned((x + y) * 3);
                    row[3 * x] = (unsigned char)rgb;
                    row[3 * x + 1] = (unsigned char)(rgb >> 8);
                    row[3 * x + 2] = (unsigned char)(rgb >> 16);
                }
                ppm += char(rgb >> 16);
                ppm += char(rgb >> 8);
                ppm += char(rgb);
            }
        }
        std::string base = Scratch() + "/pal" + std::to_string(bpp);
        WriteFile(base + ".bmp", bmp);
        {
            std::ofstream out(base + ".ppm", std::ios::binary);
            out << ppm;
        }
        Outcome r = Tool("convert -q " + base + ".bmp " + base + ".jpg");
        ASSERT_EQ(r.Status, 0) << r.Err;
        Outcome c = Shell("cjpeg -quality 75 -baseline -outfile " + base + "-cjpeg.jpg " + base + ".ppm");
        ASSERT_EQ(c.Status, 0) << "cjpeg (libjpeg-turbo-progs) is needed: " << c.Err;
        EXPECT_TRUE(ReadFile(base + ".jpg") == ReadFile(base + "-cjpeg.jpg")) << bpp << " bits per pixel";
    }
}

// PPM and PGM files go to JPEG a band at a time: the same bytes as cjpeg, also
// across bands; a file cut short or a colour image asked for as PGM is an
// error that names the file and leaves nothing behind.
TEST_F(KwjpegTool, NetpbmConversionsStreamAndMatchTheCodecsTools)
{
    const int w = 700, h = 600; // 1.26 MB of samples: two bands
    std::string ppm = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            ppm += char((x * 3) & 0xFF);
            ppm += char((y * 5 + x) & 0xFF);
            ppm += char((x ^ y) & 0xFF);
        }
    const std::string base = Scratch() + "/stream";
    WriteFile(base + ".ppm", std::vector<unsigned char>(ppm.begin(), ppm.end()));
    Outcome r = Tool("convert -q " + base + ".ppm " + base + ".jpg");
    ASSERT_EQ(r.Status, 0) << r.Err;
    Outcome c = Shell("cjpeg -quality 75 -baseline -outfile " + base + "-cjpeg.jpg " + base + ".ppm");
    ASSERT_EQ(c.Status, 0) << c.Err;
    EXPECT_TRUE(ReadFile(base + ".jpg") == ReadFile(base + "-cjpeg.jpg"));

    r = Tool("convert -q " + base + ".jpg " + base + "-back.ppm");
    ASSERT_EQ(r.Status, 0) << r.Err;
    ASSERT_EQ(Shell("djpeg -dct fast -outfile " + base + "-djpeg.ppm " + base + ".jpg").Status, 0);
    EXPECT_TRUE(ReadFile(base + "-back.ppm") == ReadFile(base + "-djpeg.ppm"));

    WriteFile(base + "-cut.ppm", std::vector<unsigned char>(ppm.begin(), ppm.begin() + 1100000));
    r = Tool("convert " + base + "-cut.ppm " + base + "-cut.jpg");
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find(base + "-cut.ppm: pixel data is cut short"), std::string::npos) << r.Err;
    EXPECT_FALSE(Exists(base + "-cut.jpg"));

    r = Tool("convert " + base + ".jpg " + base + "-colour.pgm");
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("-colour.pgm: a PGM file holds gray images only"), std::string::npos) << r.Err;
    EXPECT_FALSE(Exists(base + "-colour.pgm"));
    EXPECT_EQ(Shell("ls " + Scratch() + " | grep -c part-").Out, "0\n") << "no temporary files left";
}

TEST_F(KwjpegTool, FailedConversionLeavesNoFileBehind)
{
    // A header of a few bytes, and a whole header that declares 16384 x 16384
    // pixels (1 GiB) or masks other than blue, green, red in 4 bytes.
    std::vector<unsigned char> huge(54, 0), masks(66, 0);
    for (auto* bmp : {&huge, &masks}) {
        std::vector<unsigned char>& b = *bmp;
        b[0] = 'B', b[1] = 'M', b[10] = 54, b[14] = 40, b[19] = 0x40, b[23] = 0x40, b[26] = 1, b[28] = 32;
    }
    masks[30] = 3, masks[54] = 0xFF, masks[59] = 0xFF, masks[64] = 0xFF; // red and blue swapped
    const std::vector<std::pair<std::vector<unsigned char>, std::string>> cases = {
        {{'B', 'M', 1, 2, 3}, "not a BMP file"},
        {huge, "BMP pixel data is cut short (16384 x 16384 at 32 bits needs 1073741824 bytes from offset 54, "
               "the file holds 54)"},
        {masks, "unsupported BMP colour masks"},
    };
    for (const auto& c : cases) {
        std::string broken = Scratch() + "/broken.bmp";
        WriteFile(broken, c.first);
        std::string out = Scratch() + "/never.jpg";
        Outcome r = Tool("convert " + broken + " " + out);
        EXPECT_EQ(r.Status, 1);
        EXPECT_NE(r.Err.find(broken + ": " + c.second), std::string::npos) << r.Err;
        EXPECT_FALSE(Exists(out));
    }

    std::string notJpeg = Scratch() + "/text.jpg";
    WriteFile(notJpeg, std::vector<unsigned char>(64, 'a'));
    std::string png = Scratch() + "/never.png";
    Outcome r = Tool("convert " + notJpeg + " " + png);
    EXPECT_EQ(r.Status, 1);
    EXPECT_FALSE(Exists(png));
    EXPECT_EQ(Shell("ls " + Scratch() + " | grep -c part-").Out, "0\n") << "no temporary files left";
}

// AddressSanitizer's shadow makes allocated but untouched memory resident (the
// save filter's whole-image storage, for one), so only the plain build holds
// the tool to its memory bounds.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool MeasureMemory = false;
#else
constexpr bool MeasureMemory = true;
#endif

// Runs kwjpeg with `args` (output thrown away) and returns its peak resident
// memory in KiB, or -1 when it did not exit with `status`.
long PeakKilobytes(const std::vector<std::string>& args, int expected = 0)
{
    std::vector<char*> argv{const_cast<char*>("kwjpeg")};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("KWPLATFORM_REGISTRY", (Scratch() + "/registry.reg").c_str(), 1);
        if (!freopen("/dev/null", "w", stdout) || !freopen("/dev/null", "w", stderr)) _exit(126);
        execv(ToolPath.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != expected) return -1;
    return usage.ru_maxrss;
}

// A reader takes the image, not the file: a BMP, PNG or PPM followed by a
// gigabyte of sparse tail converts as without it, in far less memory than the
// file; read from a pipe or standard input it converts the same; above the
// pixel limit it is refused at its header, and a header of 16384 x 16384
// pixels with no rows behind it through a pipe takes no memory for them;
// cut in half it is refused.
TEST_F(KwjpegTool, ReadersTakeTheImageNotTheFile)
{
    TestJpeg::Options o;
    o.Width = 64;
    o.Height = 48;
    const std::string jpg = Scratch() + "/tail.jpg";
    WriteFile(jpg, TestJpeg::Make(o));
    // The headers of 16384 x 16384 pixels: BMP width and height, PNG IHDR (its CRC follows), PPM.
    std::string bmpHeader(54, '\0'), pngHeader("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\x40\0\0\0\x40\0\x08\x02\0\0\0", 29);
    bmpHeader.replace(0, 2, "BM");
    for (size_t at : {10, 14, 19, 23, 26, 28}) bmpHeader[at] = at == 10 ? 54 : at == 14 ? 40 : at == 26 ? 1 : at == 28 ? 24 : 0x40;
    const uLong ihdr = crc32(0, reinterpret_cast<const Bytef*>(&pngHeader[12]), 17);
    for (int shift = 24; shift >= 0; shift -= 8) pngHeader += char(ihdr >> shift);
    const std::pair<std::string, std::string> cases[] = {
        {"bmp", "BMP pixel data is cut short (64 x 48 at 24 bits needs 9216 bytes from offset 54, the file holds 4635)"},
        {"png", "the PNG file is cut short or damaged: its IDAT chunk at offset "},
        {"ppm", "pixel data is cut short (64 x 48 needs 9216 bytes of samples, the file holds 4601)"},
    };
    const std::string headers[] = {bmpHeader, pngHeader, "P6\n16384 16384\n255\n"};
    size_t index = 0;
    ASSERT_EQ(Tool("convert -q " + jpg + " " + Scratch() + "/tail.ppm").Status, 0);
    const std::string samples = ReadFile(Scratch() + "/tail.ppm");
    const off_t tail = off_t(1) << 30;
    for (const auto& c : cases) {
        const std::string base = Scratch() + "/tail-" + c.first, image = base + "." + c.first;
        ASSERT_EQ(Tool("convert -q " + jpg + " " + image).Status, 0);
        // Into a file of its own: the PPM case would otherwise name its input.
        ASSERT_EQ(Tool("convert -q " + image + " " + base + "-back.ppm").Status, 0);
        EXPECT_TRUE(ReadFile(base + "-back.ppm") == samples) << c.first << " written and read back";
        ASSERT_EQ(Tool("convert -q " + image + " " + base + ".jpg").Status, 0);
        const std::string whole = ReadFile(base + ".jpg");

        const std::string pipe = base + "-pipe." + c.first;
        ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
        Shell("timeout 60 cat " + image + " >" + pipe + " &");
        Outcome r = Tool("convert -q " + pipe + " " + base + "-pipe.jpg");
        ASSERT_EQ(r.Status, 0) << c.first << ": " << r.Err;
        EXPECT_TRUE(ReadFile(base + "-pipe.jpg") == whole) << c.first << " through a pipe";
        r = Shell("cat " + image + " | " + OwnRegistry() + " " + ToolPath + " convert -q - " + base + "-stdin.jpg");
        EXPECT_EQ(r.Status, 0) << c.first << ": " << r.Err;
        EXPECT_TRUE(ReadFile(base + "-stdin.jpg") == whole) << c.first << " from standard input";
        r = Tool("convert --max-pixels 3071 " + image + " " + base + "-over.jpg");
        EXPECT_NE(r.Err.find(image + ": the image has 64 x 48 = 3072 pixels, more than the limit of 3071"),
                  std::string::npos) << r.Err;
        const std::string header = Scratch() + "/header-pipe." + c.first;
        ASSERT_EQ(mkfifo(header.c_str(), 0600), 0);
        WriteFile(base + "-header", std::vector<unsigned char>(headers[index].begin(), headers[index].end()));
        Shell("timeout 60 cat " + base + "-header >" + header + " &");
        const long headerPeak = PeakKilobytes({"convert", header, base + "-header.jpg"}, 1);
        EXPECT_GT(headerPeak, 0) << c.first << " header through a pipe";
        if (MeasureMemory) {
            EXPECT_LT(headerPeak, 64 * 1024) << c.first << ": memory taken for rows that never came";
        }
        std::remove(header.c_str());
        ++index;

        const std::string tailed = base + "-tail." + c.first;
        const std::string bytes = ReadFile(image);
        WriteFile(tailed, std::vector<unsigned char>(bytes.begin(), bytes.end()));
        ASSERT_EQ(truncate(tailed.c_str(), off_t(bytes.size()) + tail), 0);
        const long peak = PeakKilobytes({"convert", "-q", tailed, base + "-tail.jpg"});
        EXPECT_GT(peak, 0) << c.first << " with a sparse tail";
        EXPECT_LT(peak, long(tail / 1024 / 4)) << c.first << ": the tail was read";
        EXPECT_TRUE(ReadFile(base + "-tail.jpg") == whole) << c.first << " with a sparse tail";
        std::remove(tailed.c_str());

        ASSERT_EQ(truncate(image.c_str(), off_t(bytes.size() / 2)), 0);
        r = Tool("convert " + image + " " + base + "-cut.jpg");
        EXPECT_EQ(r.Status, 1);
        EXPECT_NE(r.Err.find(image + ": " + c.second), std::string::npos) << r.Err;
    }
    // A pipe is refused at its bound (4 bytes a pixel), holding no more than it.
    const std::string endless = Scratch() + "/endless.png";
    ASSERT_EQ(mkfifo(endless.c_str(), 0600), 0);
    Shell("(printf '\\211PNG'; head -c 100000000 /dev/zero) >" + endless + " &");
    const long peak = PeakKilobytes({"convert", "--max-pixels", "16777216", endless, endless + ".jpg"}, 1);
    EXPECT_GT(peak, 0);
    if (MeasureMemory) {
        EXPECT_LT(peak, 80 * 1024) << "more than the 64 MB bound held";
    }
}

TEST_F(KwjpegTool, BatchConversionEqualsOneAtATimeAndSummarisesFailures)
{
    std::string in = Scratch() + "/batch-in";
    mkdir(in.c_str(), 0777);
    mkdir((in + "/sub").c_str(), 0777);
    for (int i = 0; i < 5; ++i) {
        TestJpeg::Options o;
        o.Width = 40 + i * 13;
        o.Height = 150 + i;
        o.Seed = unsigned(i + 3);
        o.Kind = i == 2 ? TestJpeg::Gray : TestJpeg::Rgb;
        WriteFile(in + (i == 4 ? "/sub/" : "/") + "img" + std::to_string(i) + ".jpg", TestJpeg::Make(o));
    }
    WriteFile(in + "/bad.jpg", std::vector<unsigned char>(50, 0));
    std::string outDir = Scratch() + "/batch-out";
    Outcome r = Tool("convert --to png -j 3 -o " + outDir + " " + in);
    EXPECT_EQ(r.Status, 1) << "one input is not a JPEG file";
    EXPECT_NE(r.Out.find("5 converted, 1 failed"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("FAILED  " + in + "/bad.jpg"), std::string::npos) << r.Out;
    for (int i = 0; i < 5; ++i) {
        std::string name = "img" + std::to_string(i);
        std::string single = Scratch() + "/" + name + "-single.png";
        ASSERT_EQ(Tool("convert -q " + in + (i == 4 ? "/sub/" : "/") + name + ".jpg " + single).Status, 0);
        EXPECT_TRUE(ReadFile(outDir + "/" + name + ".png") == ReadFile(single)) << name;
    }
}

// What kwjpeg says and writes, a case per row, run in a folder of inputs made
// here: the arguments, the exit status, text that standard output and standard
// error must hold or must not, and bytes an output file must hold (an empty
// `fileHolds`: the file must not exist). A row with a signal starts the tool,
// sends the signal once a partial output file appears in `file`, and then
// expects no partial file there. A row with a `feed` pipes that command's
// output into the tool; one with `sameAs` wants standard output to be exactly
// that file.
TEST_F(KwjpegTool, CommandsTellTheTruthAndRefuseWhatTheyCannotDo)
{
    const std::string dir = Scratch() + "/table";
    mkdir(dir.c_str(), 0777);
    mkdir((dir + "/batch").c_str(), 0777);
    TestJpeg::Options dense;
    dense.DensityUnit = 1;
    dense.XDensity = dense.YDensity = 300;
    const TestJpeg::Bytes jpeg = TestJpeg::Make(dense);
    WriteFile(dir + "/dpi300.jpg", jpeg);
    WriteFile(dir + "/-dash.jpg", jpeg);
    WriteFile(dir + "/photo", jpeg);
    WriteFile(dir + "/photo.jpe", jpeg);
    WriteFile(dir + "/notes", {'h', 'i', '\n'});
    WriteFile(dir + "/secret.jpg", jpeg);
    chmod((dir + "/secret.jpg").c_str(), 0);
    WriteFile(dir + "/notes.xyz", {'h', 'i', '\n'});
    WriteFile(dir + "/empty", {});
    WriteFile(dir + "/batch/good.jpg", jpeg);
    WriteFile(dir + "/batch/bad.jpg", std::vector<unsigned char>(40, 'x'));
    WriteFile(dir + "/batch/notes.txt", {'h', 'i', '\n'});
    ExifBuilder exif;
    const int sub = exif.AddDirectory();
    exif.AddShort(0, 0x0112, 6).AddLink(0, 0x8769, sub).AddRational(sub, 0x829A, 1, 4000);
    WriteFile(dir + "/camera.jpg", ExifBuilder::InsertAfterSoi(jpeg, ExifBuilder::App1(exif.Payload())));
    // What a JPEG of it keeps: the same block, upright.
    ExifBuilder upright;
    const int uprightSub = upright.AddDirectory();
    upright.AddShort(0, 0x0112, 1).AddLink(0, 0x8769, uprightSub).AddRational(uprightSub, 0x829A, 1, 4000);
    const TestJpeg::Bytes uprightApp1 = ExifBuilder::App1(upright.Payload());
    symlink("dpi300.jpg", (dir + "/link.jpg").c_str());
    // A version 2 RGB display profile of 164 bytes described "Test P3", in one APP2 chunk after the JFIF header.
    TestJpeg::Bytes profile(164, 0);
    auto be32 = [&](size_t at, uint32_t v) { for (int i = 0; i < 4; ++i) profile[at + size_t(i)] = uint8_t(v >> (24 - 8 * i)); };
    auto text = [&](size_t at, const char* t) { std::copy(t, t + std::strlen(t), profile.begin() + std::ptrdiff_t(at)); };
    be32(0, 164), be32(8, 0x02100000), text(12, "mntrRGB XYZ "), text(36, "acsp");
    be32(68, 0xF6D6), be32(72, 0x10000), be32(76, 0xD32D), be32(128, 1), text(132, "desc"), be32(136, 144), be32(140, 20);
    text(144, "desc"), be32(152, 8), text(156, "Test P3");
    TestJpeg::Bytes iccChunk = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0, 1, 1};
    iccChunk.insert(iccChunk.end(), profile.begin(), profile.end());
    const TestJpeg::Bytes app2 = ExifBuilder::Section(0xE2, iccChunk);
    TestJpeg::Bytes withProfile = jpeg;
    withProfile.insert(withProfile.begin() + 20, app2.begin(), app2.end()); // SOI and the 18 bytes of APP0
    WriteFile(dir + "/icc.jpg", withProfile);
    // Kinds the codec does not decode, told by their frame header: SOF3, 12-bit samples, SOF5.
    const unsigned char sof0[] = {0xFF, 0xC0};
    const size_t frame = size_t(std::search(jpeg.begin(), jpeg.end(), std::begin(sof0), std::end(sof0)) - jpeg.begin());
    ASSERT_LT(frame, jpeg.size());
    for (const auto& kind : {std::make_pair(1, 0xC3), std::make_pair(4, 12), std::make_pair(1, 0xC5)}) {
        TestJpeg::Bytes odd = jpeg;
        odd[frame + size_t(kind.first)] = (unsigned char)kind.second;
        WriteFile(dir + "/kind" + std::to_string(kind.second) + ".jpg", odd);
    }
    TestJpeg::Options large;
    large.Width = 400;
    large.Height = 300;
    const TestJpeg::Bytes big = TestJpeg::Make(large);
    WriteFile(dir + "/big.jpg", big);
    WriteFile(dir + "/cut.jpg", TestJpeg::Cut(big, TestJpeg::ScanDataOffset(big) + 3000));
    WriteFile(dir + "/cut-early.jpg", TestJpeg::Cut(big, TestJpeg::ScanDataOffset(big) / 2));
    // A PNG header that declares 30000 x 30000 pixels, in a file of 33 bytes.
    std::vector<unsigned char> claim = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R',
                                        0, 0, 0x75, 0x30, 0, 0, 0x75, 0x30, 8, 2, 0, 0, 0};
    const uLong crc = crc32(0, &claim[12], 17);
    for (int shift = 24; shift >= 0; shift -= 8) claim.push_back((unsigned char)(crc >> shift));
    WriteFile(dir + "/claim.png", claim);
    // One row of 16-bit RGB without a word on its encoding (taken as sRGB:
    // 8 bits by rounding, no gamma change), and one of 8-bit RGBA, the same
    // picture as a BMP with an alpha mask (both put on white).
    auto png = [](int depth, int type, int width, const std::string& row) {
        std::string file("\x89PNG\r\n\x1a\n", 8);
        auto chunk = [&file](const std::string& type, const std::string& data) {
            for (int shift = 24; shift >= 0; shift -= 8) file += char(data.size() >> shift);
            const std::string body = type + data;
            file += body;
            const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()));
            for (int shift = 24; shift >= 0; shift -= 8) file += char(crc >> shift);
        };
        chunk("IHDR", std::string("\0\0\0", 3) + char(width) + std::string("\0\0\0\x01", 4) + char(depth) + char(type) +
                          std::string(3, '\0'));
        const std::string filtered = std::string(1, '\0') + row;
        std::string packed(filtered.size() + 64, '\0');
        uLongf size = uLongf(packed.size());
        compress(reinterpret_cast<Bytef*>(&packed[0]), &size, reinterpret_cast<const Bytef*>(filtered.data()),
                 uLong(filtered.size()));
        chunk("IDAT", packed.substr(0, size));
        chunk("IEND", "");
        return std::vector<unsigned char>(file.begin(), file.end());
    };
    WriteFile(dir + "/wide.png", png(16, 2, 2, std::string("\x40\x00\x80\x80\xC0\xFF\xFF\xFF\x00\x00\x7F\x80", 12)));
    const std::string rgba("\0\0\0\x80\xFF\0\0\0\x0A\x14\x1E\xFF\x64\xC8\x32\x40", 16);
    WriteFile(dir + "/alpha.png", png(8, 6, 4, rgba));
    std::string bmp("BM\0\0\0\0\0\0\0\0\x8A\0\0\0\x7C\0\0\0\x04\0\0\0\xFF\xFF\xFF\xFF\x01\0\x20\0\x03", 31);
    bmp.resize(54, '\0');
    bmp += std::string("\0\0\xFF\0\0\xFF\0\0\xFF\0\0\0\0\0\0\xFF", 16);
    bmp.resize(138, '\0');
    for (size_t at = 0; at < rgba.size(); at += 4) bmp += {rgba[at + 2], rgba[at + 1], rgba[at], rgba[at + 3]};
    WriteFile(dir + "/alpha.bmp", std::vector<unsigned char>(bmp.begin(), bmp.end()));
    const std::string onWhite("P6\n4 1\n255\n\x7F\x7F\x7F\xFF\xFF\xFF\x0A\x14\x1E\xD8\xF1\xCC", 23);

    // A system-wide registry: the suite's registrations, in a folder the user cannot write.
    ScopedRegistryFile system;
    std::ofstream(system.Path()) << ReadFile(Scratch() + "/registry.reg");
    const std::string systemText = ReadFile(system.Path()), asUser = system.DenyWrites();
    chmod(Scratch().c_str(), 0755);
    mkdir((dir + "/user").c_str(), 0777);
    chmod((dir + "/user").c_str(), 0777);

    const std::string pHYs300("pHYs\0\0\x2e\x23\0\0\x2e\x23\x01", 13), bmp300("\x23\x2e\0\0\x23\x2e\0\0", 8),
                      jfif300("JFIF\0\x01\x01\x01\x01\x2c\x01\x2c", 12);
    const std::string photos = "/usr/share/backgrounds/mate/nature";
    struct Row {
        std::string Args;
        int Status;
        std::vector<std::string> Out, Err, Absent;
        std::string File, FileHolds;
        int Signal;
        bool SystemRegistry = false; // run by a user who cannot write the registry
        std::string Feed = std::string(), SameAs = std::string();
    } rows[] = {
        // The exposure as published (1/4000 s is 0.0003, not 1/3333); empty EXIF texts left out.
        {"info camera.jpg", 0, {"    ExifExposure         0.0003 s\n", "Orientation 6 (turn 90\u00b0 clockwise"}, {}, {" 1/", "ExifMake"}, "", "", 0},
        {"info kind195.jpg", 1, {}, {"kind195.jpg: the file is a lossless JPEG (frame marker SOF3), which the codec"}, {}, "", "", 0},
        {"info kind12.jpg", 1, {}, {"the file is a 12-bit JPEG (frame marker SOF0, 12-bit samples)"}, {}, "", "", 0},
        {"info --json kind197.jpg", 1, {"\"error\":\"the file is a hierarchical JPEG (frame marker SOF5)"}, {}, {}, "", "", 0},
        {"info --max-pixels 255 dpi300.jpg", 1, {}, {"16 x 16 = 256 pixels, more than the limit of 255 (--max-pixels)"}, {}, "", "", 0},
        {"info --max-pixels 256 dpi300.jpg", 0, {}, {}, {}, "", "", 0},
        // Resolution kept: 300 dpi is 11811 pixels per metre.
        {"convert dpi300.jpg dpi300.png", 0, {"wrote dpi300.png"}, {}, {}, "dpi300.png", pHYs300, 0},
        {"convert dpi300.jpg dpi300.bmp", 0, {}, {}, {}, "dpi300.bmp", bmp300, 0},
        {"convert dpi300.png png300.jpg", 0, {}, {}, {}, "png300.jpg", jfif300, 0},
        {"convert dpi300.bmp bmp300.jpg", 0, {}, {}, {}, "bmp300.jpg", jfif300, 0},
        {"convert claim.png claim.jpg", 1, {}, {"the PNG file's 33 bytes cannot hold the 2700030000 bytes"}, {}, "claim.jpg", "", 0},
        {"convert wide.png wide.ppm", 0, {}, {}, {}, "wide.ppm", std::string("P6\n2 1\n255\n\x40\x80\xC0\xFF\0\x7F", 17), 0},
        {"convert alpha.png alpha.ppm", 0, {}, {}, {}, "alpha.ppm", onWhite, 0},
        {"convert alpha.bmp alphab.ppm", 0, {}, {}, {}, "alphab.ppm", onWhite, 0},
        {"info alpha.png", 1, {}, {"alpha.png: the file is a PNG file, not a JPEG"}, {}, "", "", 0},
        {"info --json cut-early.jpg", 1, {"\"error\":\"the file ends before its image data"}, {"cut-early.jpg: the file ends before its image data"}, {}, "", "", 0},
        // Never onto itself, through a link too; JPEG to JPEG keeps the EXIF block, upright.
        {"convert link.jpg dpi300.jpg", 2, {}, {"link.jpg and dpi300.jpg are the same file"}, {}, "dpi300.jpg", std::string(jpeg.begin(), jpeg.end()), 0},
        {"convert camera.jpg camera-again.jpg", 0, {}, {}, {}, "camera-again.jpg", std::string(uprightApp1.begin(), uprightApp1.end()), 0},
        // The colour profile: told, and kept byte for byte through PNG back into JPEG, right after the JFIF header.
        {"info --json icc.jpg", 0, {"\"ICCProfile\":{\"bytes\":164,\"description\":\"Test P3\"}"}, {}, {}, "", "", 0},
        {"convert icc.jpg icc.png", 0, {}, {}, {}, "icc.png", "iCCPICC Profile", 0},
        {"convert icc.png icc-again.jpg", 0, {}, {}, {}, "icc-again.jpg", jfif300 + std::string(2, '\0') + std::string(app2.begin(), app2.end()), 0},
        {"convert icc.jpg icc.ppm", 0, {}, {"icc.jpg: warning: the colour profile is left out"}, {}, "", "", 0},
        // Damage: told on standard error and in the JSON, and still a success.
        {"info --json cut.jpg", 0, {"\"warnings\":[\"Premature end of JPEG file"}, {"cut.jpg: warning: damaged JPEG data: Premature end of JPEG file"}, {}, "", "", 0},
        {"convert cut.jpg cut.ppm", 0, {}, {"cut.jpg: warning: damaged JPEG data"}, {}, "cut.ppm", "P6\n400 300\n", 0},
        {"convert -q --to png -o out dpi300.jpg cut.jpg", 0, {}, {"cut.jpg: warning: damaged JPEG data"}, {}, "", "", 0},
        // A log gets plain lines.
        {"convert --progress big.jpg progress.ppm", 0, {}, {"kwjpeg: progress "}, {"\033", "\r"}, "", "", 0},
        {"convert --to ppm -o out batch", 1, {"FAILED  batch/bad.jpg: ", "ok      batch/good.jpg -> out/good.ppm\n", "1 converted, 1 failed, 1 skipped (1 file of no image kind"}, {"kwjpeg: batch/bad.jpg: "}, {}, "", "", 0},
        {"convert --to jpg -o out batch", 1, {}, {"no files to convert in the paths given: 3 skipped (2 files already JPEG, which --to jpg does not take"}, {}, "", "", 0},
        {"convert --to ppm -o stdin dpi300.jpg -", 2, {}, {"standard input converts on its own"}, {}, "stdin", "", 0},
        {"convert --to ppm -o clash dpi300.jpg batch/../dpi300.jpg", 1, {"1 converted, 1 failed"}, {"batch/../dpi300.jpg: another input has the same name; its output clash/dpi300.ppm"}, {}, "", "", 0},
        // The command line: strict numbers, --, output names.
        {"convert --to png -o out -j 3x dpi300.jpg", 2, {}, {"-j takes a whole number"}, {}, "", "", 0},
        {"convert --to png -o out -j -1 dpi300.jpg", 2, {}, {"not '-1'"}, {}, "", "", 0},
        {"info --max-pixels -1 dpi300.jpg", 2, {}, {"--max-pixels takes"}, {}, "", "", 0},
        {"info --max-pixels 99999999999999999999999 dpi300.jpg", 2, {}, {"--max-pixels takes"}, {}, "", "", 0},
        {"info -dash.jpg", 2, {}, {"unknown option -dash.jpg"}, {}, "", "", 0},
        {"info -- -dash.jpg", 0, {"-dash.jpg\n  result     loaded"}, {}, {}, "", "", 0},
        {"convert dpi300.jpg dpi300.xyz", 2, {}, {"unknown output format for dpi300.xyz"}, {}, "dpi300.xyz", "", 0},
        {"sample sample.png", 2, {}, {"sample writes a JPEG file"}, {}, "sample.png", "", 0},
        // Only registering writes the registry; a library not registered is told so.
        {"info dpi300.jpg", 0, {"result     loaded"}, {}, {}, "", "", 0, true},
        {"filters", 0, {"KwFilterJPEG  (KwFilter_JPEG.KwFilterJPEG"}, {}, {}, "", "", 0, true},
        {"convert dpi300.jpg user/dpi300.png", 0, {}, {}, {}, "user/dpi300.png", pHYs300, 0, true},
        // A file the user may not read is there; a folder that is not there is said so.
        {"info secret.jpg", 1, {}, {"cannot open the file for reading (0x80030005 (STG_E_ACCESSDENIED)"}, {"no such file"}, "", "", 0, true},
        {"convert dpi300.png nodir/x.jpg", 1, {}, {"nodir/x.jpg: cannot create the file: 0x80030003 (STG_E_PATHNOTFOUND)"}, {}, "", "", 0},
        {"convert dpi300.jpg nodir/x.png", 1, {}, {"nodir/x.png: cannot create the file: "}, {}, "", "", 0},
        {"register " + Library, 1, {}, {"cannot register " + Library + ": the registry is not writable (" + system.Path() + ")"}, {}, "", "", 0, true},
        {"unregister " + Library, 1, {}, {"cannot unregister " + Library + ": the registry is not writable (" + system.Path() + ")"}, {}, "", "", 0, true},
        {"unregister " + Library, 0, {"unregistered " + Library}, {}, {}, "", "", 0},
        {"unregister " + Library, 0, {Library + " is not registered\n  in the registry "}, {}, {"0x8002801C"}, "", "", 0},
        {"register --quiet " + Library, 0, {}, {}, {}, "", "", 0},
        // Names that do not tell: the content does, and refusals say what was given.
        {"info photo photo.jpe", 0, {"photo\n  result     loaded", "photo.jpe\n  result     loaded"}, {}, {}, "", "", 0},
        {"info notes", 1, {}, {"notes: it has no extension, and no registered filter recognises its content"}, {}, "", "", 0},
        {"info notes.xyz", 1, {}, {"notes.xyz: no registered filter opens .xyz files or recognises its content"}, {}, "", "", 0},
        {"info batch", 1, {}, {"batch: it is a folder, not a file"}, {"(none)"}, "", "", 0},
        {"convert notes notes.png", 1, {}, {"notes: it has no extension, and its content is not a JPEG, PNG"}, {}, "notes.png", "", 0},
        // Pipes: - is standard input or output, and a pipe named as a file is read whole.
        {"info -", 0, {"standard input\n  result     loaded"}, {}, {}, "", "", 0, false, "cat photo"},
        {"info --json /dev/stdin", 0, {"\"file\":\"/dev/stdin\",\"result\":\"0x00000000\""}, {}, {}, "", "", 0, false, "cat dpi300.jpg"},
        {"info -", 1, {}, {"standard input: the file is a lossless JPEG"}, {}, "", "", 0, false, "cat kind195.jpg"},
        {"info --max-pixels 256 -", 1, {}, {"standard input: more than 16777216 bytes to read"}, {}, "", "", 0, false, "head -c 16777217 /dev/zero"},
        {"convert --max-pixels 256 - piped.jpg", 1, {}, {"standard input: more than 16777216 bytes to read"}, {}, "", "", 0, false, "(printf '\\211PNG'; head -c 16777217 /dev/zero)"},
        {"convert - piped.png", 0, {"wrote piped.png"}, {}, {}, "piped.png", pHYs300, 0, false, "cat dpi300.jpg"},
        {"convert dpi300.jpg dpi300.ppm", 0, {}, {}, {}, "dpi300.ppm", "P6\n16 16\n", 0},
        // No resolution is not made up on the way: PPM to BMP to JPEG keeps the filter's 1:1.
        {"convert dpi300.ppm nodpi.bmp", 0, {}, {}, {}, "", "", 0},
        {"convert nodpi.bmp nodpi.jpg", 0, {}, {}, {}, "nodpi.jpg", std::string("JFIF\0\x01\x01\0\0\x01\0\x01", 12), 0},
        {"convert - - --to PPM", 0, {}, {}, {}, "", "", 0, false, "cat dpi300.jpg", "dpi300.ppm"},
        {"convert dpi300.jpg - --to png", 0, {pHYs300}, {}, {"wrote"}, "", "", 0},
        {"convert - -", 2, {}, {"an OUT of - (standard output) needs --to FORMAT"}, {}, "", "", 0, false, "cat dpi300.jpg", "empty"},
        {"convert notes - --to png", 1, {}, {"notes: it has no extension"}, {}, "", "", 0, false, "", "empty"},
        {"convert - empty.png", 1, {}, {"standard input: it is empty"}, {}, "empty.png", "", 0, false, "cat empty"},
        // Interrupted: the partial files of conversions in flight go, the status says why.
        {"convert -q --to png -j 2 -o int " + photos, 130, {}, {"interrupted"}, {}, "int", "", SIGINT},
        {"convert -q --to png -j 2 -o term " + photos, 143, {}, {}, {}, "term", "", SIGTERM},
        {"convert -q --to png -j 2 -o hup " + photos, 129, {}, {}, {}, "hup", "", SIGHUP},
    };
    int index = 0;
    for (const Row& row : rows) {
        const std::string out = dir + "/row" + std::to_string(++index);
        const std::string line = "cd " + dir + " && " + (row.Feed.empty() ? "" : row.Feed + " | ") +
                                 (row.SystemRegistry ? "KWPLATFORM_REGISTRY=" + system.Path() + " exec " + asUser
                                                     : OwnRegistry() + " exec") +
                                 " " + ToolPath + " " + row.Args + " >" + out + ".out 2>" + out + ".err";
        Outcome r;
        if (!row.Signal) {
            r.Status = WEXITSTATUS(std::system(line.c_str()));
        } else {
            mkdir((dir + "/" + row.File).c_str(), 0777);
            pid_t pid = fork();
            if (pid == 0) {
                // As a script's background job starts: with interrupts ignored.
                if (row.Signal == SIGINT) signal(SIGINT, SIG_IGN);
                execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char*>(nullptr));
                _exit(127);
            }
            // Waits for a conversion in flight (each photograph takes a good part of a second).
            for (int wait = 0; wait < 60000 && EntriesIn(dir + "/" + row.File, ".part-") == 0; ++wait) usleep(1000);
            EXPECT_GT(EntriesIn(dir + "/" + row.File, ".part-"), 0u) << row.Args;
            kill(pid, row.Signal);
            int raw = 0;
            waitpid(pid, &raw, 0);
            r.Status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
            EXPECT_EQ(EntriesIn(dir + "/" + row.File, ".part-"), 0u) << row.Args;
        }
        r.Out = ReadFile(out + ".out");
        r.Err = ReadFile(out + ".err");
        EXPECT_EQ(r.Status, row.Status) << row.Args << "\n" << r.Out << r.Err;
        for (const std::string& text : row.Out) EXPECT_NE(r.Out.find(text), std::string::npos) << row.Args << ": " << r.Out;
        for (const std::string& text : row.Err) EXPECT_NE(r.Err.find(text), std::string::npos) << row.Args << ": " << r.Err;
        for (const std::string& text : row.Absent)
            EXPECT_EQ((r.Out + r.Err).find(text), std::string::npos) << row.Args << ": " << r.Out << r.Err;
        if (!row.SameAs.empty()) {
            EXPECT_TRUE(r.Out == ReadFile(dir + "/" + row.SameAs)) << row.Args << ": " << r.Err;
        }
        if (row.File.empty() || row.Signal) continue;
        if (row.FileHolds.empty())
            EXPECT_FALSE(Exists(dir + "/" + row.File)) << row.Args;
        else
            EXPECT_NE(ReadFile(dir + "/" + row.File).find(row.FileHolds), std::string::npos) << row.Args;
    }
    EXPECT_EQ(ReadFile(system.Path()), systemText);
    EXPECT_EQ(EntriesIn(system.Folder(), "registry.reg."), 0u) << "no lock or temporary file beside the registry";
}

// Each of the eight EXIF orientations: convert shows the image as a viewer does
// (the PPM streamed and turned after, the BMP turned whole), and
// --keep-orientation writes the rows as stored.
TEST_F(KwjpegTool, ConvertTurnsEachOrientationAsViewersDo)
{
    struct Image {
        int Width = 0, Height = 0;
        std::string Pixels; // R, G, B from the top row
    };
    auto readPpm = [](const std::string& path) {
        Image image;
        std::string data = ReadFile(path);
        int header = 0;
        if (std::sscanf(data.c_str(), "P6\n%d %d\n255\n%n", &image.Width, &image.Height, &header) == 2 && header > 0)
            image.Pixels = data.substr(size_t(header));
        return image;
    };
    auto readBmp = [](const std::string& path) {
        Image image;
        std::string data = ReadFile(path);
        if (data.size() < 54) return image;
        auto le32 = [&](size_t at) { return int(uint8_t(data[at]) | uint8_t(data[at + 1]) << 8 | uint8_t(data[at + 2]) << 16); };
        image.Width = le32(18);
        image.Height = le32(22);
        const size_t stride = (size_t(image.Width) * 3 + 3) / 4 * 4;
        for (int y = image.Height - 1; y >= 0; --y)
            for (int x = 0; x < image.Width; ++x) {
                const size_t at = 54 + size_t(y) * stride + size_t(x) * 3;
                image.Pixels += {data[at + 2], data[at + 1], data[at]};
            }
        return image;
    };
    TestJpeg::Options o;
    o.Width = 24;
    o.Height = 16;
    const TestJpeg::Bytes jpeg = TestJpeg::Make(o);
    for (int n = 1; n <= 8; ++n) {
        ExifBuilder exif;
        exif.AddShort(0, 0x0112, uint16_t(n));
        const std::string base = Scratch() + "/orientation" + std::to_string(n);
        WriteFile(base + ".jpg", ExifBuilder::InsertAfterSoi(jpeg, ExifBuilder::App1(exif.Payload())));
        ASSERT_EQ(Tool("convert -q --keep-orientation " + base + ".jpg " + base + "-kept.ppm").Status, 0);
        ASSERT_EQ(Tool("convert -q " + base + ".jpg " + base + ".ppm").Status, 0);
        ASSERT_EQ(Tool("convert -q " + base + ".jpg " + base + ".bmp").Status, 0);
        const Image kept = readPpm(base + "-kept.ppm"), shown = readPpm(base + ".ppm");
        const int w = kept.Width, h = kept.Height;
        ASSERT_EQ(w, 24);
        ASSERT_EQ(shown.Width, n >= 5 ? h : w) << n;
        ASSERT_EQ(shown.Height, n >= 5 ? w : h) << n;
        ASSERT_EQ(shown.Pixels.size(), kept.Pixels.size()) << n;
        int wrong = 0;
        for (int y = 0; y < shown.Height; ++y)
            for (int x = 0; x < shown.Width; ++x) {
                // Where the shown pixel (x, y) is stored.
                const int at[9][2] = {{0, 0},         {x, y},         {w - 1 - x, y},         {w - 1 - x, h - 1 - y},
                                      {x, h - 1 - y}, {y, x},         {y, h - 1 - x},         {w - 1 - y, h - 1 - x},
                                      {w - 1 - y, x}};
                const size_t stored = (size_t(at[n][1]) * size_t(w) + size_t(at[n][0])) * 3;
                wrong += shown.Pixels.compare((size_t(y) * size_t(shown.Width) + size_t(x)) * 3, 3, kept.Pixels, stored, 3) != 0;
            }
        EXPECT_EQ(wrong, 0) << "orientation " << n;
        if (n > 1 && n < 5) {
            EXPECT_NE(shown.Pixels, kept.Pixels) << "the pattern shows a turn";
        }
        const Image bmp = readBmp(base + ".bmp");
        EXPECT_EQ(bmp.Width, shown.Width);
        EXPECT_TRUE(bmp.Pixels == shown.Pixels) << "orientation " << n;
    }
}

// Runs kwjpeg with the process's file size limit at `limit` bytes and SIGXFSZ
// ignored: every write past the limit fails as on a full disk.
Outcome ToolOnFullDisk(size_t limit, const std::string& args, const std::string& env = std::string())
{
    return Shell("sh -c \"trap '' XFSZ; exec prlimit --fsize=" + std::to_string(limit) + " " + ToolPath + " " + args +
                     "\"",
                 env.empty() ? OwnRegistry() : env);
}

TEST_F(KwjpegTool, FullDiskFailsEachWriteNamingTheFileAndKeepsEarlierFiles)
{
    const size_t limit = 2048;
    // The registry: the write of a registration is refused and the earlier file stays.
    const std::string registry = Scratch() + "/full.reg";
    const std::string earlier = "; kwplatform registry\n[HKEY_LOCAL_MACHINE\\Software\\Earlier]\n\"Kept\"=\"yes\"\n";
    WriteFile(registry, std::vector<unsigned char>(earlier.begin(), earlier.end()));
    Outcome r = ToolOnFullDisk(limit, "register " + Library, "KWPLATFORM_REGISTRY=" + registry);
    EXPECT_EQ(r.Status, 1) << r.Out;
    EXPECT_NE(r.Err.find("DllRegisterServer failed"), std::string::npos) << r.Err;
    EXPECT_NE(r.Err.find("cannot be written (is the disk full?)"), std::string::npos) << r.Err;
    EXPECT_EQ(ReadFile(registry), earlier);
    ASSERT_EQ(Tool("register -q " + Library, "KWPLATFORM_REGISTRY=" + registry).Status, 0);
    EXPECT_GT(ReadFile(registry).size(), limit) << "the limit is below a registration";

    // One file at a time, each way: a failure that names the file and the reason,
    // no partial output, and an earlier output left as it was.
    const std::string dir = Scratch() + "/full";
    mkdir(dir.c_str(), 0777);
    TestJpeg::Options big;
    big.Width = 200;
    big.Height = 150;
    WriteFile(dir + "/big.jpg", TestJpeg::Make(big));
    ASSERT_EQ(Tool("convert -q " + dir + "/big.jpg " + dir + "/big.bmp").Status, 0);
    ASSERT_EQ(Tool("convert -q " + dir + "/big.jpg " + dir + "/big.ppm").Status, 0);
    const char* conversions[][2] = {{"big.jpg", "out.bmp"}, {"big.jpg", "out.png"}, {"big.jpg", "out.ppm"},
                                    {"big.bmp", "out.jpg"}, {"big.ppm", "out2.jpg"}};
    int index = 0;
    for (const auto& c : conversions) {
        const std::string in = dir + "/" + c[0], out = dir + "/" + c[1];
        const bool hasEarlier = index++ % 2 == 0;
        if (hasEarlier) WriteFile(out, std::vector<unsigned char>{'e', 'a', 'r', 'l', 'y'});
        r = ToolOnFullDisk(limit, "convert " + in + " " + out);
        EXPECT_EQ(r.Status, 1) << in << " -> " << out;
        EXPECT_NE(r.Err.find(in), std::string::npos) << r.Err;
        EXPECT_NE(r.Err.find("disk full"), std::string::npos) << r.Err;
        if (hasEarlier)
            EXPECT_EQ(ReadFile(out), "early") << out;
        else
            EXPECT_FALSE(Exists(out)) << out;
        ASSERT_EQ(Tool("convert -q " + in + " " + out).Status, 0);
        EXPECT_GT(ReadFile(out).size(), limit) << out << " must not fit below the limit";
    }

    // A batch: the files that fit are written whole, the others fail by name.
    const std::string batchIn = dir + "/in", batchOut = dir + "/out";
    mkdir(batchIn.c_str(), 0777);
    mkdir(batchOut.c_str(), 0777);
    for (int i = 0; i < 5; ++i) {
        TestJpeg::Options o;
        o.Width = i < 3 ? 12 + i : 150 + i;
        o.Height = i < 3 ? 10 : 120;
        o.Seed = unsigned(i + 1);
        WriteFile(batchIn + "/f" + std::to_string(i) + ".jpg", TestJpeg::Make(o));
    }
    WriteFile(batchOut + "/f4.bmp", std::vector<unsigned char>{'e', 'a', 'r', 'l', 'y'});
    r = ToolOnFullDisk(limit, "convert --to bmp -j 2 -o " + batchOut + " " + batchIn);
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Out.find("3 converted, 2 failed"), std::string::npos) << r.Out;
    for (int i = 0; i < 5; ++i) {
        const std::string name = "f" + std::to_string(i);
        if (i >= 3) {
            EXPECT_NE(r.Out.find("FAILED  " + batchIn + "/" + name + ".jpg: "), std::string::npos) << r.Out;
            continue;
        }
        const std::string single = dir + "/" + name + "-single.bmp";
        ASSERT_EQ(Tool("convert -q " + batchIn + "/" + name + ".jpg " + single).Status, 0);
        EXPECT_TRUE(ReadFile(batchOut + "/" + name + ".bmp") == ReadFile(single)) << name;
    }
    EXPECT_FALSE(Exists(batchOut + "/f3.bmp"));
    EXPECT_EQ(ReadFile(batchOut + "/f4.bmp"), "early");
    EXPECT_EQ(EntriesIn(dir, ".part-") + EntriesIn(batchOut, ".part-"), 0u) << "no partial files left";
}

// A registration killed at a random moment, 200 times over one registry file:
// the file is always wholly as it was before the interrupted call or after it,
// and nothing left behind stops the next writer.
TEST_F(KwjpegTool, KilledRegistryWritersLeaveTheFileWholeBeforeOrAfter)
{
    const std::string dir = Scratch() + "/killed";
    mkdir(dir.c_str(), 0777);
    const std::string registry = dir + "/registry.reg";
    const std::string env = "KWPLATFORM_REGISTRY=" + registry;
    auto run = [&](bool reg, int killAfterMicroseconds) {
        std::fflush(stdout);
        pid_t pid = fork();
        if (pid == 0) {
            setenv("KWPLATFORM_REGISTRY", registry.c_str(), 1);
            if (!freopen("/dev/null", "w", stdout) || !freopen("/dev/null", "w", stderr)) _exit(126);
            execl(ToolPath.c_str(), "kwjpeg", reg ? "register" : "unregister", Library.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        if (killAfterMicroseconds >= 0) {
            usleep(static_cast<useconds_t>(killAfterMicroseconds));
            kill(pid, SIGKILL);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        return status;
    };
    // A whole call, timed: the kills fall anywhere in up to one and a half times its length.
    int callMicroseconds = 0;
    auto timedRun = [&](bool reg) {
        auto start = std::chrono::steady_clock::now();
        const int status = run(reg, -1);
        callMicroseconds = std::max(callMicroseconds, int(std::chrono::duration_cast<std::chrono::microseconds>(
                                                              std::chrono::steady_clock::now() - start)
                                                              .count()));
        return status;
    };
    ASSERT_EQ(timedRun(true), 0);
    const std::string registered = ReadFile(registry);
    ASSERT_EQ(timedRun(false), 0);
    const std::string unregistered = ReadFile(registry);
    ASSERT_NE(registered, unregistered);

    const unsigned seed = std::random_device()();
    std::mt19937 random(seed);
    int before = 0, after = 0;
    std::string state = unregistered;
    for (int i = 0; i < 200; ++i) {
        const bool reg = i % 2 == 0;
        const std::string target = reg ? registered : unregistered;
        run(reg, std::uniform_int_distribution<int>(0, callMicroseconds * 3 / 2)(random));
        const std::string now = ReadFile(registry);
        ASSERT_TRUE(now == state || now == target) << "kill " << i << " (seed " << seed << ") left:\n" << now;
        (now == state ? before : after)++;
        state = now;
        if (i % 10 == 9) {
            // Whatever the kills left behind, the next writer completes (a
            // registration, which may repeat; a removal needs something to remove).
            ASSERT_EQ(timedRun(true), 0) << "after kill " << i;
            ASSERT_EQ(ReadFile(registry), registered);
            state = registered;
        }
    }
    std::printf("200 kills within %d us: %d left the file unchanged, %d after the call's change\n", callMicroseconds * 3 / 2,
                before, after);
    EXPECT_GT(after, 0) << "some calls finished before the kill";
    EXPECT_GT(before, 0) << "some calls were cut short";
    ASSERT_EQ(run(true, -1), 0);
    EXPECT_EQ(ReadFile(registry), registered);
    Outcome filters = Tool("filters", env);
    EXPECT_NE(filters.Out.find("KwFilterSaveJPEG"), std::string::npos) << filters.Out;
    ASSERT_EQ(run(false, -1), 0);
    EXPECT_EQ(ReadFile(registry), unregistered);
    EXPECT_LE(EntriesIn(dir, "registry.reg"), 3u) << "the file, its lock and at most one temporary file";
}

} // namespace

namespace {

// `cmake --install` gives a working tool: the installed kwjpeg registers the
// installed library (found in the plugin folder) and loads through it.
TEST(KwjpegInstall, InstalledToolRegistersTheInstalledLibrary)
{
    std::string prefix = Scratch() + "/prefix";
    Outcome install = Shell("cmake --install " + Build + " --prefix " + prefix);
    ASSERT_EQ(install.Status, 0) << install.Out << install.Err;
    for (const char* file : {"/bin/kwjpeg", "/lib/kwfilter/libKwFilter_JPEG.so", "/lib/libkwplatform.so",
                             "/include/kwfilter/KwFilterInterfaces.h", "/include/kwfilter/KwPlatform.h",
                             "/share/man/man1/kwjpeg.1"})
        EXPECT_TRUE(Exists(prefix + file)) << file;
    EXPECT_FALSE(Exists(prefix + "/lib/libKwFilter_JPEG.so")) << "the filter is no library to link";
    std::string env = "KWPLATFORM_REGISTRY=" + Scratch() + "/installed.reg";
    Outcome reg = Shell(prefix + "/bin/kwjpeg register", env);
    ASSERT_EQ(reg.Status, 0) << reg.Err;
    EXPECT_NE(reg.Out.find(prefix + "/lib/kwfilter/libKwFilter_JPEG.so"), std::string::npos) << reg.Out;
    std::string jpg = Scratch() + "/installed.jpg";
    WriteFile(jpg, TestJpeg::Make(TestJpeg::Options()));
    Outcome info = Shell(prefix + "/bin/kwjpeg info --json " + jpg, env);
    EXPECT_EQ(info.Status, 0) << info.Err;
    EXPECT_NE(info.Out.find("\"Loaded\":true"), std::string::npos) << info.Out;
}

} // namespace
