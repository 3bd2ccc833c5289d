// Writes the seed corpora of the fuzz targets, made by code: JPEG files of
// every kind from the test image builder, EXIF blocks from the EXIF builder,
// save programs, and the BMP, PPM/PGM, PNG and registry files of the tool's and the
// platform's own readers. Usage: kwfuzz_seeds OUTDIR (makes OUTDIR/<target>).
#include <png.h>
#include <sys/stat.h>
#include <zlib.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/ExifBuilder.h"
#include "KwFuzzSaveProgram.h"
#include "common/TestJpeg.h"

namespace {

typedef std::vector<unsigned char> Bytes;

std::string g_root;
int g_written = 0;

void Write(const std::string& area, const std::string& name, const Bytes& bytes)
{
    const std::string dir = g_root + "/" + area;
    mkdir(dir.c_str(), 0755);
    const std::string path = dir + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
        std::fprintf(stderr, "kwfuzz_seeds: cannot write %s\n", path.c_str());
        std::exit(1);
    }
    std::fclose(f);
    ++g_written;
    // The codec target reads what the load target reads, without the filter.
    if (area == "load") Write("codec", name, bytes);
}

// A camera-like EXIF block: IFD0 with make, model and resolution, the EXIF
// sub-directory with exposure values, an interoperability directory and IFD1.
ExifBuilder CameraExif(bool motorola)
{
    ExifBuilder b(motorola);
    const int exif = b.AddDirectory();
    const int interop = b.AddDirectory();
    const int ifd1 = b.AddDirectory();
    b.AddAscii(0, 0x010F, "Quarvenx Optics").AddAscii(0, 0x0110, "QX-100 Mark II").AddShort(0, 0x0112, 1);
    b.AddRational(0, 0x011A, 300, 1).AddRational(0, 0x011B, 300, 1).AddShort(0, 0x0128, 2);
    b.AddLink(0, 0x8769, exif).SetNext(0, ifd1);
    b.AddRational(exif, 0x829A, 1, 125).AddRational(exif, 0x829D, 28, 10).AddShort(exif, 0x8822, 2);
    b.AddShort(exif, 0x8827, 100).AddUndefined(exif, 0x9000, {'0', '2', '2', '0'});
    b.AddAscii(exif, 0x9003, "2024:05:06 07:08:09").AddSRational(exif, 0x9201, 7, 1);
    b.AddRational(exif, 0x9202, 4, 1).AddSRational(exif, 0x9203, -1, 3).AddSRational(exif, 0x9204, 0, 1);
    b.AddRational(exif, 0x9206, 5, 2).AddShort(exif, 0x9207, 5).AddShort(exif, 0x9208, 1).AddShort(exif, 0x9209, 0x19);
    b.AddRational(exif, 0x920A, 50, 1);
    Bytes comment = {'A', 'S', 'C', 'I', 'I', 0, 0, 0, 'H', 'e', 'l', 'l', 'o', ' ', ' ', ' '};
    b.AddUndefined(exif, 0x9286, comment).AddLong(exif, 0xA002, 2048).AddLong(exif, 0xA003, 1536);
    b.AddRational(exif, 0xA20E, 1600, 1).AddRational(exif, 0xA20F, 1600, 1).AddShort(exif, 0xA210, 3);
    b.AddLink(exif, 0xA005, interop);
    b.AddAscii(interop, 0x0001, "R98");
    b.AddRational(ifd1, 0x011A, 72, 1).AddLong(ifd1, 0x0201, 8).AddLong(ifd1, 0x0202, 16);
    b.AddFloat(exif, 0x9102, 2.5f).AddDouble(exif, 0x9206, 1.25).AddSByte(exif, 0x9208, -1);
    return b;
}

void SectionSeeds()
{
    const Bytes camera = CameraExif(false).Payload();
    Write("sections", "camera-ii.jpg", ExifBuilder::MinimalJpeg(ExifBuilder::App1(camera)));
    Write("sections", "camera-mm.jpg", ExifBuilder::MinimalJpeg(ExifBuilder::App1(CameraExif(true).Payload())));
    Write("sections", "camera-payload", camera);
    Write("sections", "camera-tiff", CameraExif(true).Tiff());

    // Directory cycles and a deep chain: links that the walk must refuse or bound.
    ExifBuilder cycle;
    const int a = cycle.AddDirectory();
    cycle.AddAscii(0, 0x010F, "Cycle").AddLink(0, 0x8769, a).AddLink(a, 0x8769, 0).SetNext(a, 0);
    Write("sections", "exif-cycle", cycle.Payload());
    ExifBuilder chain(true);
    int previous = 0;
    for (int i = 0; i < 60; ++i) {
        const int next = chain.AddDirectory();
        chain.AddShort(next, 0x0112, static_cast<uint16_t>(1 + i % 9));
        chain.SetNext(previous, next);
        previous = next;
    }
    Write("sections", "exif-chain", chain.Payload());

    // Hostile entries: a value offset past the block, a huge count, bad formats.
    ExifBuilder hostile;
    hostile.AddRaw(0, 0x010F, 2, 0x40000000u, 8).AddRaw(0, 0x0110, 13, 1, 0).AddRaw(0, 0x8769, 4, 1, 0xFFFFFFF0u);
    Write("sections", "exif-hostile", hostile.Payload());

    // Comments, fill bytes, short and long sections around a frame header.
    Bytes comment = {'A', '\r', '\n', 'B', 7, 'C'};
    Bytes sections = ExifBuilder::Section(0xFE, comment);
    sections.insert(sections.end(), {0xFF, 0xFF, 0xFF});
    const Bytes second = ExifBuilder::Section(0xFE, Bytes(1200, 'x'));
    sections.insert(sections.end(), second.begin(), second.end());
    const Bytes app0 = ExifBuilder::Section(0xE0, {'J', 'F', 'I', 'F', 0, 1, 2, 0, 0, 1, 0, 1, 0, 0});
    sections.insert(sections.end(), app0.begin(), app0.end());
    Write("sections", "comments.jpg", ExifBuilder::MinimalJpeg(sections, 640, 480, 1));
    Write("sections", "short-frame.jpg", Bytes{0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x04, 0x08, 0x00, 0xFF, 0xDA, 0x00, 0x02});
    Write("sections", "length-1.jpg", Bytes{0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x01});
    Write("sections", "length-max.jpg", Bytes{0xFF, 0xD8, 0xFF, 0xE2, 0xFF, 0xFF, 1, 2, 3});
    TestJpeg::Options small;
    small.Width = 8;
    small.Height = 8;
    Write("sections", "jfif.jpg", TestJpeg::Make(small));
}

void LoadSeeds()
{
    struct Kind {
        const char* Name;
        TestJpeg::Color Color;
        TestJpeg::Sampling Sampling;
        bool Progressive;
        bool Arithmetic;
        int Restart;
    };
    const Kind kinds[] = {
        {"gray", TestJpeg::Gray, TestJpeg::S444, false, false, 0},
        {"rgb444", TestJpeg::Rgb, TestJpeg::S444, false, false, 0},
        {"rgb422", TestJpeg::Rgb, TestJpeg::S422, false, false, 0},
        {"rgb420", TestJpeg::Rgb, TestJpeg::S420, false, false, 0},
        {"cmyk", TestJpeg::Cmyk, TestJpeg::S444, false, false, 0},
        {"ycck", TestJpeg::Ycck, TestJpeg::S444, false, false, 0},
        {"progressive-rgb", TestJpeg::Rgb, TestJpeg::S420, true, false, 0},
        {"progressive-gray", TestJpeg::Gray, TestJpeg::S444, true, false, 0},
        {"arithmetic", TestJpeg::Rgb, TestJpeg::S420, false, true, 0},
        {"restart", TestJpeg::Rgb, TestJpeg::S420, false, false, 1},
        {"raw2", TestJpeg::Raw, TestJpeg::S444, false, false, 0},
    };
    for (const Kind& kind : kinds) {
        TestJpeg::Options o;
        o.Width = 24;
        o.Height = 20;
        o.Kind = kind.Color;
        o.Subsampling = kind.Sampling;
        o.Progressive = kind.Progressive;
        o.Arithmetic = kind.Arithmetic;
        o.RestartInterval = kind.Restart;
        o.Quality = 50;
        const Bytes file = TestJpeg::Make(o);
        Write("load", std::string(kind.Name) + ".jpg", file);
        Write("sections", std::string(kind.Name) + ".jpg", file);
    }
    // Tall enough for progress events, with a JFIF density in centimetres.
    TestJpeg::Options tall;
    tall.Width = 8;
    tall.Height = 200;
    tall.Kind = TestJpeg::Gray;
    tall.DensityUnit = 2;
    tall.XDensity = 118;
    tall.YDensity = 118;
    Write("load", "tall.jpg", TestJpeg::Make(tall));
    TestJpeg::Options plain;
    plain.Width = 16;
    plain.Height = 16;
    plain.JfifMarker = false;
    const Bytes noJfif = TestJpeg::Make(plain);
    Write("load", "no-jfif.jpg", noJfif);
    Write("load", "exif.jpg", ExifBuilder::InsertAfterSoi(noJfif, ExifBuilder::App1(CameraExif(false).Payload())));
    Write("load", "exif-mm.jpg", ExifBuilder::InsertAfterSoi(noJfif, ExifBuilder::App1(CameraExif(true).Payload())));
    Write("load", "tables-only.jpg", TestJpeg::TablesOnly());
    Write("load", "cut-in-scan.jpg", TestJpeg::Cut(noJfif, TestJpeg::ScanDataOffset(noJfif) + 20));
    Write("load", "cut-in-header.jpg", TestJpeg::Cut(noJfif, 60));
    // A huge declared frame: the host's pixel limit or the codec's memory limit must stop it early.
    Bytes huge = TestJpeg::Make(tall);
    for (size_t i = 0; i + 8 < huge.size(); ++i) {
        if (huge[i] == 0xFF && (huge[i + 1] == 0xC0 || huge[i + 1] == 0xC2)) {
            huge[i + 5] = 0xFF; huge[i + 6] = 0xDC; huge[i + 7] = 0xFF; huge[i + 8] = 0xDC;
            break;
        }
    }
    Write("load", "huge-frame.jpg", huge);
}

void SaveSeeds()
{
    using namespace KwFuzzSave;
    const uint8_t depthIndex[] = {0, 1, 2, 3, 4, 5}; // 1, 4, 8, 16, 24, 32 bits
    const uint8_t rowTypes[] = {5, 4, 5, 1, 1, 2};   // a matching AddScanline1 type
    for (int d = 0; d < 6; ++d) {
        Writer w;
        w.U8(0).U8(1).U16(2); // an intact stream, one container level
        const uint16_t width = 13, height = 9;
        w.CreateStorage(width, height, depthIndex[d], d < 3 ? 16 : 0, d < 3);
        if (d < 3) for (int i = 0; i < 16 * 4; ++i) w.U8(static_cast<uint8_t>(i * 37));
        const uint16_t rowSize = static_cast<uint16_t>(((Depths[depthIndex[d]] * width + 31) / 32) * 4);
        w.U8(OpAddScanline).U8(rowTypes[d]).U16(8).U16(height + 2).U16(rowSize + 2).U8(0);
        for (int i = 0; i < height * rowSize; ++i) w.U8(static_cast<uint8_t>(i * 7 + d));
        w.U8(OpEndObject).U8(OpEndObject);
        Write("save", "depth-" + std::to_string(Depths[depthIndex[d]]), w.Bytes);
    }
    // One-bit runs, both record forms.
    Writer runs;
    runs.U8(0).U8(0).CreateStorage(40, 4, 0);
    runs.U8(OpAddScanline).U8(7).U16(8).U16(3).U16(14).U8(0);
    runs.U16(0).U16(3).U16(10).U16(11).U16(0xFFFF).U16(0).U16(0);
    runs.U8(OpAddScanline).U8(8).U16(9).U16(3).U16(20).U8(0);
    runs.U32(5).U32(5).U32(5).U32(8).U32(0xFFFFFFFFu).U32(0);
    runs.U8(OpEndObject);
    Write("save", "runs", runs.Bytes);
    // Short writes and a failing write; a second storage; another raster object.
    Writer faults;
    faults.U8(3).U16(100).U8(2).U8(0).CreateStorage(64, 64, 4).U8(OpEndObject);
    Write("save", "short-write", faults.Bytes);
    Writer again;
    again.U8(0).U8(3).U16(0).U16(1).U16(2).CreateStorage(8, 8, 4).CreateStorage(16, 2, 2).U8(OpEndObject);
    again.U8(OpNewRaster).CreateStorage(3, 3, 0).U8(OpPutAttribute).U32(7).U8(OpIgnoredCalls).U8(OpEndObject);
    again.U8(OpCreateObject).U16(1200).U8(OpDropRaster).U8(OpEndObject);
    Write("save", "sequence", again.Bytes);
    // Extremes: special widths and heights, an unknown depth, rows out of range.
    Writer extremes;
    extremes.U8(0).U8(0);
    for (uint8_t s = 0; s < SpecialCount; ++s)
        extremes.U8(OpCreateStorage).U8(static_cast<uint8_t>(s * 8)).U16(3).U8(1).U16(2).U8(4).U16(2).U8(0).U8(OpEndObject);
    for (uint8_t s = 0; s < SpecialCount; ++s)
        extremes.U8(OpCreateStorage).U8(1).U16(5).U8(static_cast<uint8_t>(s * 8)).U16(3).U8(0).U16(2).U8(0).U8(OpEndObject);
    extremes.CreateStorage(10, 10, 7).U8(OpAddScanline).U8(1).U16(0).U16(1).U16(40).U8(1).U8(OpEndObject);
    Write("save", "extremes", extremes.Bytes);
}

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

// A BMP file: a 40-byte header (or a longer one, zero-filled past the usual
// fields), the palette, then the rows, bottom-up unless the height is negative.
Bytes Bmp(int32_t width, int32_t height, uint16_t bpp, uint32_t colors, uint32_t headerSize = 40,
          uint32_t compression = 0)
{
    Bytes b;
    auto put16 = [&b](uint32_t v) { b.push_back(uint8_t(v)); b.push_back(uint8_t(v >> 8)); };
    auto put32 = [&](uint32_t v) { put16(v & 0xFFFF); put16(v >> 16); };
    const uint32_t masks = compression == 3 ? 12 : 0;
    const uint32_t offset = 14 + headerSize + (headerSize == 40 ? masks : 0) + colors * 4;
    const uint32_t stride = ((uint32_t(bpp) * uint32_t(width) + 31) / 32) * 4;
    const uint32_t rows = height < 0 ? uint32_t(-height) : uint32_t(height);
    b.push_back('B');
    b.push_back('M');
    put32(offset + stride * rows);
    put32(0);
    put32(offset);
    put32(headerSize);
    put32(uint32_t(width));
    put32(uint32_t(height));
    put16(1);
    put16(bpp);
    put32(compression);
    put32(stride * rows);
    put32(2835);
    put32(2835);
    put32(colors);
    put32(0);
    if (compression == 3) { put32(0x00FF0000); put32(0x0000FF00); put32(0x000000FF); }
    while (b.size() < 14 + headerSize) b.push_back(0);
    for (uint32_t i = 0; i < colors; ++i) put32((i * 0x3F1D2Bu) & 0x00FFFFFF);
    for (uint32_t i = 0; i < stride * rows; ++i) b.push_back(uint8_t(i * 29 + 7));
    return b;
}

void BmpSeeds()
{
    Write("bmp", "1bit.bmp", Bmp(13, 5, 1, 2));
    Write("bmp", "4bit.bmp", Bmp(9, 4, 4, 16));
    Write("bmp", "4bit-6colours.bmp", Bmp(7, 3, 4, 6));
    Write("bmp", "8bit.bmp", Bmp(5, 6, 8, 256));
    Write("bmp", "8bit-no-count.bmp", Bmp(6, 2, 8, 0));
    Write("bmp", "24bit.bmp", Bmp(7, 5, 24, 0));
    Write("bmp", "24bit-top-down.bmp", Bmp(3, -4, 24, 0));
    Write("bmp", "32bit.bmp", Bmp(4, 3, 32, 0));
    Write("bmp", "32bit-bitfields.bmp", Bmp(5, 2, 32, 0, 40, 3));
    Write("bmp", "v4-bitfields.bmp", Bmp(3, -3, 32, 0, 108, 3));
    Write("bmp", "v5-8bit.bmp", Bmp(4, 4, 8, 4, 124));
    Write("bmp", "rle8.bmp", Bmp(4, 4, 8, 4, 40, 1));
    Write("bmp", "16bit.bmp", Bmp(4, 4, 16, 0));
    Bytes cut = Bmp(30, 20, 24, 0);
    cut.resize(cut.size() / 2);
    Write("bmp", "cut.bmp", cut);
    // A header of a few bytes that declares a gigabyte of rows.
    Bytes huge = Bmp(1, 1, 32, 0);
    huge[18] = 0x00; huge[19] = 0x40; huge[22] = 0x00; huge[23] = 0x40; // 16384 x 16384
    Write("bmp", "huge-claim.bmp", huge);
}

Bytes Netpbm(const std::string& header, size_t samples)
{
    Bytes b = Text(header);
    for (size_t i = 0; i < samples; ++i) b.push_back(uint8_t(i * 31 + 3));
    return b;
}

// A PNG file made by libpng from samples of a pattern, with `chunks` (each
// type then data, as in the file) put in after the header chunk.
Bytes Png(uint32_t width, uint32_t height, uint32_t format, const std::vector<std::string>& chunks = {})
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = width;
    image.height = height;
    image.format = format;
    Bytes samples(PNG_IMAGE_SIZE(image));
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = uint8_t(i * 37 + 11);
    png_alloc_size_t size = 0;
    if (!png_image_write_get_memory_size(image, size, 0, samples.data(), 0, nullptr)) std::exit(1);
    Bytes png(size);
    if (!png_image_write_to_memory(&image, png.data(), &size, 0, samples.data(), 0, nullptr)) std::exit(1);
    png.resize(size);
    Bytes extra;
    for (const std::string& chunk : chunks) {
        const uint32_t length = uint32_t(chunk.size() - 4);
        for (int shift = 24; shift >= 0; shift -= 8) extra.push_back(uint8_t(length >> shift));
        extra.insert(extra.end(), chunk.begin(), chunk.end());
        const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(chunk.data()), uInt(chunk.size()));
        for (int shift = 24; shift >= 0; shift -= 8) extra.push_back(uint8_t(crc >> shift));
    }
    png.insert(png.begin() + 33, extra.begin(), extra.end()); // after the signature and IHDR
    return png;
}

void PngSeeds()
{
    const std::string dpi300("pHYs\0\0\x2e\x23\0\0\x2e\x23\x01", 13), aspect("pHYs\0\0\0\x02\0\0\0\x01\0", 13);
    Write("png", "rgb.png", Png(5, 3, PNG_FORMAT_RGB));
    Write("png", "gray-300dpi.png", Png(4, 4, PNG_FORMAT_GRAY, {dpi300}));
    Write("png", "rgba-text-aspect.png", Png(3, 3, PNG_FORMAT_RGBA, {std::string("tEXtComment\0made here", 21), aspect}));
    Write("png", "gray-alpha-16bit.png", Png(2, 5, PNG_FORMAT_LINEAR_Y_ALPHA, {dpi300}));
    Bytes huge = Png(2, 2, PNG_FORMAT_RGB);
    huge[16] = huge[20] = 0x7F; // about 2^31 wide and high, in a header with its CRC
    const uLong crc = crc32(0, &huge[12], 17);
    for (int i = 0; i < 4; ++i) huge[29 + size_t(i)] = uint8_t(crc >> (24 - 8 * i));
    Write("png", "huge-claim.png", huge);
}

void NetpbmSeeds()
{
    Write("netpbm", "gray.pgm", Netpbm("P5\n5 3\n255\n", 15));
    Write("netpbm", "gray-4wide.pgm", Netpbm("P5 4 4 255\n", 16));
    Write("netpbm", "colour.ppm", Netpbm("P6\n7 2\n255\n", 42));
    Write("netpbm", "comments.ppm", Netpbm("P6\n# made here\n3 # width\n# and height\n2\n255#last\n", 18));
    Write("netpbm", "crlf.pgm", Netpbm("P5\r\n2 2\r\n255\r", 4));
    Write("netpbm", "two-images.pgm", Netpbm("P5\n2 1\n255\n\x01\x02P5\n1 1\n255\n", 1));
    Write("netpbm", "16bit.pgm", Netpbm("P5\n2 2\n65535\n", 8));
    Write("netpbm", "maxval-15.pgm", Netpbm("P5\n2 2\n15\n", 4));
    Write("netpbm", "ascii.ppm", Text("P3\n1 1\n255\n1 2 3\n"));
    Write("netpbm", "cut.ppm", Netpbm("P6\n9 9\n255\n", 100));
    Write("netpbm", "huge-claim.ppm", Text("P6\n30000 30000\n255\n"));
    Write("netpbm", "long-number.pgm", Text("P5\n99999999999999999999 1\n255\n"));
}

void RegistrySeeds()
{
    // As the registry writes it.
    Write("registry", "registered.reg", Text(
        "; kwplatform registry\n"
        "[HKEY_CLASSES_ROOT\\CLSID\\{6B1F3C2A-0D4E-4C59-9A7B-2E5D8F104A31}]\n"
        "@=\"Quarvenx JPEG load filter\"\n"
        "[HKEY_CLASSES_ROOT\\CLSID\\{6B1F3C2A-0D4E-4C59-9A7B-2E5D8F104A31}\\InprocServer32]\n"
        "@=\"/usr/lib/libKwFilter_JPEG.so\"\n"
        "\"ThreadingModel\"=\"Apartment\"\n"
        "[HKEY_CLASSES_ROOT\\Quarvenx.KwFilterJPEG.1]\n"
        "\"RasterSupport\"=dword:00000108\n"
        "[HKEY_LOCAL_MACHINE]\n"
        "\"AtTheRoot\"=hex:\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Quarvenx\\Odd%25Name%0a]\n"
        "\"Tricky \\\"name\\\"\"=\"quote \\\" backslash \\\\ newline \\n tab \\t bell \\x07 end\"\n"
        "\"Multi\"=hex(7):6f,6e,65,00,74,77,6f,00,00\n"
        "\"Unterminated\"=hex(1):61,62,63\n"
        "\"Binary\"=hex:00,ff,10\n"
        "\"Qword\"=hex(b):01,02,03,04,05,06,07,08\n"
        "[HKEY_CURRENT_USER\\Software\\Quarvenx]\n"
        "[HKEY_USERS\\.DEFAULT\\a\\b\\c\\d]\n"
        "@=\"deep\"\n"));
    // Edited by hand: other case, CR LF, damaged lines, repeated keys and values.
    Write("registry", "edited.reg", Text(
        "garbage before any key\r\n"
        "[hkey_local_machine\\SOFTWARE\\Good]\r\n"
        "\"Fine\"=\"yes\"\r\n"
        "\"fine\"=\"again\"\r\n"
        "\"Broken\"=\"no closing quote\r\n"
        "\"BadDword\"=dword:12\r\n"
        "\"BadHex\"=hex:1,zz\r\n"
        "\"BadType\"=hex(123456789):00\r\n"
        "\"Escape\"=\"bad \\q escape\"\r\n"
        "\"\"=\"empty name\"\r\n"
        "[HKEY_NOWHERE\\X]\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Bad%zzName]\r\n"
        "[HKEY_LOCAL_MACHINE\\\\Empty]\r\n"
        "[unterminated header\r\n"
        "[HKEY_LOCAL_MACHINE\\software\\good]\r\n"
        "\"AlsoFine\"=dword:00000001\r\n"
        "\"Name\x01\"=\"\x02\"\n"));
    // Deep and long: a path near the bound on levels, a long name, a long value.
    std::string deep = "[HKEY_CURRENT_USER";
    for (int i = 0; i < 520; ++i) deep += "\\" + std::to_string(i % 10);
    Write("registry", "deep.reg", Text(deep + "]\n@=\"x\"\n"));
    std::string longValue = "[HKEY_CURRENT_USER\\" + std::string(300, 'k') + "]\n\"" + std::string(400, 'v') + "\"=hex:";
    for (int i = 0; i < 600; ++i) longValue += (i ? ",a" : "a") + std::to_string(i % 10);
    Write("registry", "long.reg", Text(longValue + "\n"));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: kwfuzz_seeds OUTDIR\n");
        return 2;
    }
    g_root = argv[1];
    mkdir(g_root.c_str(), 0755);
    SectionSeeds();
    LoadSeeds();
    SaveSeeds();
    BmpSeeds();
    NetpbmSeeds();
    PngSeeds();
    RegistrySeeds();
    std::printf("kwfuzz_seeds: %d seeds in %s\n", g_written, g_root.c_str());
    return 0;
}
