// The EXIF parser on blocks built byte by byte, in both byte orders: header
// checks, the conversion of every tag it knows, the derived values, and the
// order in which directories overwrite each other.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>

#include "common/ExifBuilder.h"
#include "metadata/JpegSectionReader.h"

namespace {

typedef ExifBuilder::Bytes Bytes;

enum Tag : uint16_t {
    Make = 0x010F, Model = 0x0110, Orientation = 0x0112, XResolution = 0x011A, YResolution = 0x011B,
    ResolutionUnit = 0x0128, DateTime = 0x0132, ThumbnailOffset = 0x0201, ThumbnailLength = 0x0202,
    ExposureTime = 0x829A, FNumber = 0x829D, ExifIfd = 0x8769, ExposureProgram = 0x8822, GpsIfd = 0x8825,
    Iso = 0x8827, ExifVersion = 0x9000, DateTimeOriginal = 0x9003, DateTimeDigitized = 0x9004,
    CompressedBpp = 0x9102, ShutterSpeed = 0x9201, Aperture = 0x9202, Brightness = 0x9203, ExposureBias = 0x9204,
    MaxAperture = 0x9205, SubjectDistance = 0x9206, MeteringMode = 0x9207, LightSource = 0x9208, Flash = 0x9209,
    FocalLength = 0x920A, UserComment = 0x9286, PixelX = 0xA002, PixelY = 0xA003, InteropIfd = 0xA005,
    FocalPlaneX = 0xA20E, FocalPlaneY = 0xA20F, FocalPlaneUnit = 0xA210,
};

// Parses a payload from an exactly sized buffer, so that the sanitizer build
// sees any read past its end.
struct Parse {
    explicit Parse(const Bytes& payload) : reader(&metadata), buffer(payload)
    {
        result = reader.ParseExif(buffer.empty() ? nullptr : buffer.data(), static_cast<uint32_t>(buffer.size()));
    }
    JpegMetadata metadata{};
    JpegSectionReader reader;
    Bytes buffer;
    bool result;
};

class ExifParser : public testing::TestWithParam<bool> {
protected:
    ExifBuilder NewBuilder() const { return ExifBuilder(GetParam()); }
};

std::string OrderName(const testing::TestParamInfo<bool>& info) { return info.param ? "Motorola" : "Intel"; }

} // namespace

INSTANTIATE_TEST_SUITE_P(ByteOrder, ExifParser, testing::Bool(), OrderName);

TEST_P(ExifParser, MinimalBlockWithMakeAndModel)
{
    ExifBuilder b = NewBuilder();
    b.AddAscii(0, Make, "NIKON CORPORATION").AddAscii(0, Model, "NIKON D70");
    Parse p(b.Payload());
    ASSERT_TRUE(p.result) << p.reader.ErrorText;
    EXPECT_STREQ("NIKON CORPORATION", p.metadata.Make);
    EXPECT_STREQ("NIKON D70", p.metadata.Model);
    EXPECT_EQ(GetParam() ? 1 : 0, p.reader.ExifMotorolaOrder);
    EXPECT_STREQ("", p.reader.ErrorText);
}

TEST_P(ExifParser, HeaderChecks)
{
    const Bytes good = NewBuilder().AddAscii(0, Make, "Canon").Payload();
    struct Case {
        size_t at;
        unsigned char byte;
        const char* message;
    };
    const unsigned char fortyTwoLow = GetParam() ? 9 : 8; // the low byte of 42 in this order
    for (const Case& c : {Case{0, 'e', "Incorrect Exif header"}, Case{4, 1, "Incorrect Exif header"},
                          Case{5, ' ', "Incorrect Exif header"}, Case{6, 'X', "Invalid Exif alignment marker."},
                          Case{7, static_cast<unsigned char>(GetParam() ? 'I' : 'M'), "Invalid Exif alignment marker."},
                          Case{fortyTwoLow, 43, "Invalid Exif start (1)"}}) {
        Bytes bad = good;
        bad[c.at] = c.byte;
        Parse p(bad);
        EXPECT_FALSE(p.result) << c.at;
        EXPECT_STREQ(c.message, p.reader.ErrorText) << c.at;
        EXPECT_STREQ("", p.metadata.Make);
    }
}

TEST_P(ExifParser, FirstDirectoryOffsetBounds)
{
    for (uint32_t offset : {7u, 8u, 16u, 17u, 0u, 0xFFFFFFF8u}) {
        ExifBuilder b = NewBuilder();
        b.SetFirstOffset(offset).AddAscii(0, Make, "Pentax");
        Parse p(b.Payload());
        const bool accepted = offset >= 8 && offset <= 16;
        EXPECT_EQ(accepted, p.result) << offset;
        if (accepted) {
            EXPECT_STREQ("Pentax", p.metadata.Make) << "read at offset " << offset;
        } else {
            EXPECT_STREQ("Suspicious offset of first IFD value", p.reader.ErrorText) << offset;
        }
    }
}

TEST_P(ExifParser, IllegalFormatCodes)
{
    for (uint16_t format : {0, 13, 0xFFFF}) {
        // In IFD0 the whole parse fails, keeping what came before.
        ExifBuilder b = NewBuilder();
        b.AddAscii(0, Make, "Sony").AddRaw(0, Model, format, 1, 0).AddAscii(0, DateTimeOriginal, "2001:01:01 00:00:00");
        Parse p(b.Payload());
        EXPECT_FALSE(p.result);
        EXPECT_STREQ("Illegal format code in EXIF dir", p.reader.ErrorText);
        EXPECT_STREQ("Sony", p.metadata.Make);
        EXPECT_STREQ("", p.metadata.DateTimeOriginal);

        // In a sub-directory only that directory ends; IFD0 goes on.
        ExifBuilder s = NewBuilder();
        int exif = s.AddDirectory();
        s.AddLink(0, ExifIfd, exif).AddAscii(0, Model, "after");
        s.AddShort(exif, Iso, 200).AddRaw(exif, Flash, format, 1, 1).AddShort(exif, MeteringMode, 5);
        Parse q(s.Payload());
        EXPECT_TRUE(q.result);
        EXPECT_STREQ("Illegal format code in EXIF dir", q.reader.ErrorText);
        EXPECT_EQ(200, q.metadata.IsoSpeed);
        EXPECT_EQ(0, q.metadata.MeteringMode);
        EXPECT_STREQ("after", q.metadata.Model);
    }
}

TEST_P(ExifParser, EveryFormatConvertsItsFirstComponent)
{
    // ExposureBias is a float target that takes any format as it comes.
    struct Case {
        const char* name;
        std::function<void(ExifBuilder&)> add;
        float expected;
    };
    const std::vector<Case> cases = {
        {"BYTE", [](ExifBuilder& b) { b.AddByte(0, ExposureBias, 200); }, 200.0f},
        {"ASCII", [](ExifBuilder& b) { b.AddAscii(0, ExposureBias, "12"); }, 0.0f},
        {"SHORT", [](ExifBuilder& b) { b.AddShort(0, ExposureBias, 0xFFFE); }, 65534.0f},
        {"LONG", [](ExifBuilder& b) { b.AddLong(0, ExposureBias, 0x80000001u); }, 2147483649.0f},
        {"RATIONAL", [](ExifBuilder& b) { b.AddRational(0, ExposureBias, 3000000000u, 1000000000u); }, 3.0f},
        {"RATIONAL/0", [](ExifBuilder& b) { b.AddRational(0, ExposureBias, 5, 0); }, 0.0f},
        {"SBYTE", [](ExifBuilder& b) { b.AddSByte(0, ExposureBias, -5); }, -5.0f},
        {"UNDEFINED", [](ExifBuilder& b) { b.AddUndefined(0, ExposureBias, {1, 2, 3, 4}); }, 0.0f},
        {"SSHORT", [](ExifBuilder& b) { b.AddSShort(0, ExposureBias, -300); }, -300.0f},
        {"SLONG", [](ExifBuilder& b) { b.AddSLong(0, ExposureBias, -70000); }, -70000.0f},
        {"SRATIONAL", [](ExifBuilder& b) { b.AddSRational(0, ExposureBias, -2, 3); }, float(-2.0 / 3.0)},
        {"SRATIONAL/0", [](ExifBuilder& b) { b.AddSRational(0, ExposureBias, -2, 0); }, 0.0f},
        {"FLOAT", [](ExifBuilder& b) { b.AddFloat(0, ExposureBias, -1.25f); }, -1.25f},
        {"DOUBLE", [](ExifBuilder& b) { b.AddDouble(0, ExposureBias, 1234.5678); }, float(1234.5678)},
        // Several components: only the first counts.
        {"SHORT[3]", [this](ExifBuilder& b) {
             Bytes v = b.U16(7);
             for (uint16_t x : {8, 9}) { Bytes more = b.U16(x); v.insert(v.end(), more.begin(), more.end()); }
             b.AddValue(0, ExposureBias, ExifBuilder::Short, 3, v);
         }, 7.0f},
    };
    for (const Case& c : cases) {
        ExifBuilder b = NewBuilder();
        b.AddFloat(0, ExposureBias, 99.0f); // a value that each case overwrites
        c.add(b);
        Parse p(b.Payload());
        ASSERT_TRUE(p.result) << c.name;
        EXPECT_FLOAT_EQ(c.expected, p.metadata.ExposureBias) << c.name;
    }
}

TEST_P(ExifParser, TagTableConversions)
{
    ExifBuilder b = NewBuilder();
    int exif = b.AddDirectory();
    b.AddAscii(0, Make, "Canon").AddAscii(0, Model, "Canon EOS 350D DIGITAL").AddShort(0, Orientation, 6);
    b.AddRational(0, XResolution, 300, 1).AddRational(0, YResolution, 150, 1).AddShort(0, ResolutionUnit, 3);
    b.AddAscii(0, DateTime, "1999:09:09 09:09:09").AddLink(0, ExifIfd, exif);
    b.AddRational(exif, ExposureTime, 1, 125).AddRational(exif, FNumber, 28, 10).AddShort(exif, ExposureProgram, 2);
    b.AddShort(exif, Iso, 400).AddUndefined(exif, ExifVersion, {'0', '2', '2', '1'});
    b.AddAscii(exif, DateTimeOriginal, "2008:01:22 03:28:22").AddAscii(exif, DateTimeDigitized, "2010:10:10 10:10:10");
    b.AddRational(exif, CompressedBpp, 39, 10).AddSRational(exif, Brightness, -35, 10);
    b.AddSRational(exif, ExposureBias, -2, 3).AddRational(exif, SubjectDistance, 7, 2).AddShort(exif, MeteringMode, 5);
    b.AddShort(exif, LightSource, 4).AddShort(exif, Flash, 0x19).AddRational(exif, FocalLength, 107, 1);
    b.AddLong(exif, PixelX, 3456).AddLong(exif, PixelY, 2304).AddRational(exif, FocalPlaneX, 3456000, 874);
    b.AddRational(exif, FocalPlaneY, 2304000, 583).AddShort(exif, FocalPlaneUnit, 2);
    Parse p(b.Payload());
    ASSERT_TRUE(p.result) << p.reader.ErrorText;
    const JpegMetadata& m = p.metadata;
    EXPECT_STREQ("Canon", m.Make);
    EXPECT_STREQ("Canon EOS 350D DIGITAL", m.Model);
    EXPECT_EQ(6, m.Orientation);
    EXPECT_FLOAT_EQ(300.0f, m.XResolution);
    EXPECT_FLOAT_EQ(150.0f, m.YResolution);
    EXPECT_FLOAT_EQ(1 / 2.54f, m.ResolutionUnitInches);
    EXPECT_FLOAT_EQ(0.008f, m.ExposureTime);
    EXPECT_FLOAT_EQ(2.8f, m.FNumber);
    EXPECT_EQ(2, m.ExposureProgram);
    EXPECT_EQ(400, m.IsoSpeed);
    EXPECT_STREQ("0221", m.ExifVersion);
    EXPECT_STREQ("2008:01:22 03:28:22", m.DateTimeOriginal) << "only DateTimeOriginal is read";
    EXPECT_EQ(3, m.CompressedBitsPerPixel) << "truncated";
    EXPECT_FLOAT_EQ(-3.5f, m.BrightnessValue);
    EXPECT_FLOAT_EQ(float(-2.0 / 3.0), m.ExposureBias);
    EXPECT_FLOAT_EQ(3.5f, m.SubjectDistance);
    EXPECT_EQ(5, m.MeteringMode);
    EXPECT_EQ(4, m.LightSource);
    EXPECT_EQ(1, m.FlashFired);
    EXPECT_FLOAT_EQ(107.0f, m.FocalLength);
    EXPECT_EQ(3456, p.reader.ExifPixelDimension);
    EXPECT_FLOAT_EQ(float(3456000.0 / 874.0), m.FocalPlaneXResolution);
    EXPECT_FLOAT_EQ(float(2304000.0 / 583.0), m.FocalPlaneYResolution);
    EXPECT_FLOAT_EQ(1.0f, m.FocalPlaneUnitInches);
    EXPECT_FLOAT_EQ(3456.0f * 1.0f / float(3456000.0 / 874.0), m.SensorWidth);
    EXPECT_EQ(0u, m.ThumbnailOffset);
    EXPECT_FALSE(m.HasExif) << "HasExif is the scanner's to set";
}

TEST_P(ExifParser, ApexShutterAndApertureOnlyWhenTheDirectValueIsMissing)
{
    {
        ExifBuilder b = NewBuilder();
        b.AddRational(0, ExposureTime, 1, 125).AddSRational(0, ShutterSpeed, 7, 1);
        Parse p(b.Payload());
        EXPECT_FLOAT_EQ(0.008f, p.metadata.ExposureTime);
    }
    {
        ExifBuilder b = NewBuilder();
        b.AddSRational(0, ShutterSpeed, 7, 1);
        Parse p(b.Payload());
        EXPECT_FLOAT_EQ(0.0078125f, p.metadata.ExposureTime);
    }
    {
        // An ExposureTime of 0 counts as missing.
        ExifBuilder b = NewBuilder();
        b.AddRational(0, ExposureTime, 0, 1).AddSRational(0, ShutterSpeed, -2, 1);
        Parse p(b.Payload());
        EXPECT_FLOAT_EQ(4.0f, p.metadata.ExposureTime);
    }
    {
        ExifBuilder b = NewBuilder();
        b.AddRational(0, Aperture, 4, 1);
        Parse p(b.Payload());
        EXPECT_FLOAT_EQ(4.0f, p.metadata.FNumber);
    }
    {
        ExifBuilder b = NewBuilder();
        b.AddRational(0, FNumber, 28, 10).AddRational(0, Aperture, 4, 1).AddRational(0, MaxAperture, 2, 1);
        Parse p(b.Payload());
        EXPECT_FLOAT_EQ(2.8f, p.metadata.FNumber);
    }
    {
        // The first of ApertureValue and MaxApertureValue wins.
        ExifBuilder b = NewBuilder();
        b.AddRational(0, Aperture, 6, 1).AddRational(0, MaxAperture, 2, 1);
        Parse p(b.Payload());
        EXPECT_FLOAT_EQ(8.0f, p.metadata.FNumber);
        ExifBuilder c = NewBuilder();
        c.AddRational(0, MaxAperture, 3, 1);
        Parse q(c.Payload());
        EXPECT_FLOAT_EQ(float(std::exp(3 * std::log(2.0) * 0.5)), q.metadata.FNumber);
    }
}

TEST_P(ExifParser, IsoFlashOrientationAndUnits)
{
    auto iso = [this](uint16_t v) {
        ExifBuilder b = NewBuilder();
        b.AddShort(0, Iso, v);
        return Parse(b.Payload()).metadata.IsoSpeed;
    };
    EXPECT_EQ(400, iso(2));
    EXPECT_EQ(9800, iso(49));
    EXPECT_EQ(50, iso(50));
    EXPECT_EQ(100, iso(100));

    auto flash = [this](uint16_t v) {
        ExifBuilder b = NewBuilder();
        b.AddShort(0, Flash, v);
        return Parse(b.Payload()).metadata.FlashFired;
    };
    EXPECT_EQ(0, flash(0x10));
    EXPECT_EQ(1, flash(0x19));
    EXPECT_EQ(1, flash(0x01));
    EXPECT_EQ(1, flash(0x04));
    EXPECT_EQ(0, flash(0x18));

    // The orientation of the first directory, the image's; those of the
    // thumbnail's directory and of the EXIF sub-directory do not count (-1: none).
    struct OrientationCase {
        int first, thumbnail, exif, expected;
    };
    const OrientationCase orientations[] = {{0, -1, -1, 0}, {1, -1, -1, 1}, {8, -1, -1, 8}, {9, -1, -1, 0},
                                            {-1, 6, -1, 0}, {6, 1, -1, 6}, {1, -1, 8, 1}};
    for (const OrientationCase& c : orientations) {
        ExifBuilder b = NewBuilder();
        const int thumbnail = b.AddDirectory();
        const int exif = b.AddDirectory();
        if (c.first >= 0) b.AddShort(0, Orientation, static_cast<uint16_t>(c.first));
        b.AddLink(0, ExifIfd, exif).AddAscii(0, Make, "after").SetNext(0, thumbnail);
        if (c.thumbnail >= 0) b.AddShort(thumbnail, Orientation, static_cast<uint16_t>(c.thumbnail));
        if (c.exif >= 0) b.AddShort(exif, Orientation, static_cast<uint16_t>(c.exif));
        Parse p(b.Payload());
        const bool valid = c.first < 0 || (c.first >= 1 && c.first <= 8);
        EXPECT_TRUE(p.result);
        EXPECT_EQ(c.expected, p.metadata.Orientation) << c.first << " " << c.thumbnail << " " << c.exif;
        EXPECT_STREQ(valid ? "" : "Undefined rotation value", p.reader.ErrorText);
        EXPECT_STREQ("after", p.metadata.Make) << "the warning does not stop the walk";
    }

    const float inches[] = {1.0f, 1.0f, 0.3937008f, 0.03937008f, 3.937008e-05f};
    for (uint16_t unit = 0; unit <= 6; ++unit) {
        ExifBuilder b = NewBuilder();
        b.AddShort(0, ResolutionUnit, unit).AddShort(0, FocalPlaneUnit, unit);
        JpegMetadata metadata{};
        metadata.ResolutionUnitInches = 7.0f; // unknown codes leave the field as it was
        metadata.FocalPlaneUnitInches = 7.0f;
        JpegSectionReader reader(&metadata);
        Bytes payload = b.Payload();
        ASSERT_TRUE(reader.ParseExif(payload.data(), static_cast<uint32_t>(payload.size())));
        const float expected = unit >= 1 && unit <= 5 ? inches[unit - 1] : 7.0f;
        EXPECT_FLOAT_EQ(expected, metadata.ResolutionUnitInches) << unit;
        EXPECT_FLOAT_EQ(expected, metadata.FocalPlaneUnitInches) << unit;
    }
}

TEST_P(ExifParser, SensorWidthFromTheLargestPixelDimension)
{
    ExifBuilder b = NewBuilder();
    b.AddShort(0, PixelY, 1536).AddLong(0, PixelX, 2048).AddShort(0, PixelY, 1000);
    b.AddRational(0, FocalPlaneX, 1600, 1).AddShort(0, FocalPlaneUnit, 3);
    Parse p(b.Payload());
    ASSERT_TRUE(p.result);
    EXPECT_EQ(2048, p.reader.ExifPixelDimension);
    EXPECT_NEAR(0.504, p.metadata.SensorWidth, 0.0005);
    EXPECT_FLOAT_EQ(2048.0f * 0.3937008f / 1600.0f, p.metadata.SensorWidth);

    // Without a focal-plane resolution there is no sensor width.
    ExifBuilder c = NewBuilder();
    c.AddLong(0, PixelX, 2048).AddShort(0, FocalPlaneUnit, 3);
    EXPECT_EQ(0.0f, Parse(c.Payload()).metadata.SensorWidth);
}

TEST_P(ExifParser, UserComments)
{
    auto comment = [this](const Bytes& value) {
        ExifBuilder b = NewBuilder();
        b.AddUndefined(0, UserComment, value);
        Parse p(b.Payload());
        EXPECT_TRUE(p.result);
        return std::string(p.metadata.Comment);
    };
    auto bytes = [](const std::string& s) { return Bytes(s.begin(), s.end()); };
    EXPECT_EQ("Hello", comment(bytes(std::string("ASCII\0\0\0Hello   ", 16))));
    EXPECT_EQ("", comment(Bytes(8, 0)));
    EXPECT_EQ("", comment(bytes(std::string("ASCII\0\0\0", 8))));
    EXPECT_EQ("", comment(bytes(std::string("ASCII\0\0\0          ", 18))));
    EXPECT_EQ("UNICODE", comment(bytes(std::string("UNICODE\0H\0i\0", 12))));
    EXPECT_EQ("Plain text", comment(bytes("Plain text  ")));
    EXPECT_EQ("x", comment(bytes("x")));
    EXPECT_EQ("", comment(bytes("   ")));
    // The text after "ASCII" is looked for at positions 5 to 9 only.
    EXPECT_EQ("ab", comment(bytes(std::string("ASCII\0\0\0\0ab", 11))));
    EXPECT_EQ("", comment(bytes(std::string("ASCII\0\0\0\0\0ab", 12))));
    // At most 199 characters.
    const std::string longText(300, 'q');
    EXPECT_EQ(longText.substr(0, 199), comment(bytes(std::string("ASCII\0\0\0", 8) + longText)));
    // The trimming edits the block in place.
    ExifBuilder b = NewBuilder();
    b.AddUndefined(0, UserComment, bytes("trail  "));
    Parse p(b.Payload());
    const Bytes tiff(p.buffer.begin() + 6, p.buffer.end());
    const std::string written(tiff.begin(), tiff.end());
    EXPECT_NE(std::string::npos, written.find(std::string("trail\0\0", 7)));
}

TEST_P(ExifParser, TextCopiesStopAtTheirLimitsAndTheValueEnd)
{
    ExifBuilder b = NewBuilder();
    b.AddAscii(0, Make, std::string(40, 'M')).AddAscii(0, Model, std::string(50, 'm'));
    b.AddAscii(0, DateTimeOriginal, "2008:01:22 03:28:22 and more");
    b.AddAscii(0, ExifVersion, "02200");
    Parse p(b.Payload());
    ASSERT_TRUE(p.result);
    EXPECT_EQ(std::string(31, 'M'), p.metadata.Make);
    EXPECT_EQ(std::string(39, 'm'), p.metadata.Model);
    EXPECT_STREQ("2008:01:22 03:28:22", p.metadata.DateTimeOriginal);
    EXPECT_STREQ("0220", p.metadata.ExifVersion);

    // A count shorter than the text: the copy ends with the value, inline or not.
    ExifBuilder c = NewBuilder();
    c.AddValue(0, Make, ExifBuilder::Ascii, 3, {'C', 'a', 'n', 'o'});
    c.AddValue(0, Model, ExifBuilder::Ascii, 6, {'E', 'O', 'S', ' ', '4', '0', '0', 'D', 0});
    Parse q(c.Payload());
    EXPECT_STREQ("Can", q.metadata.Make);
    EXPECT_STREQ("EOS 40", q.metadata.Model);
}

TEST_P(ExifParser, DirectoriesAreWalkedInOrderAndLaterValuesWin)
{
    ExifBuilder b = NewBuilder();
    int exif = b.AddDirectory();
    int interop = b.AddDirectory();
    int ifd1 = b.AddDirectory();
    int gps = b.AddDirectory();
    b.AddRational(0, XResolution, 300, 1).AddShort(0, ResolutionUnit, 2).AddLink(0, ExifIfd, exif);
    b.AddLink(0, GpsIfd, gps).SetNext(0, ifd1);
    b.AddShort(exif, Iso, 100).AddLink(exif, InteropIfd, interop);
    b.AddAscii(interop, Model, "from interop");
    b.AddRational(ifd1, XResolution, 72, 1).AddShort(ifd1, ResolutionUnit, 3);
    b.AddAscii(gps, Make, "from GPS");
    Parse p(b.Payload());
    ASSERT_TRUE(p.result);
    EXPECT_FLOAT_EQ(72.0f, p.metadata.XResolution) << "IFD1 overwrites IFD0";
    EXPECT_FLOAT_EQ(0.3937008f, p.metadata.ResolutionUnitInches);
    EXPECT_FLOAT_EQ(300.0f, p.metadata.ImageXResolution) << "the image's own is IFD0's";
    EXPECT_EQ(2, p.metadata.ImageResolutionUnit);
    EXPECT_EQ(100, p.metadata.IsoSpeed);
    EXPECT_STREQ("from interop", p.metadata.Model);
    EXPECT_STREQ("", p.metadata.Make) << "the GPS directory is not followed";
}

TEST_P(ExifParser, ThumbnailRules)
{
    auto thumbnail = [this](uint32_t offset, uint32_t length, bool split, uint32_t extra) {
        ExifBuilder b = NewBuilder();
        int ifd1 = b.AddDirectory();
        b.SetNext(0, ifd1).AddAscii(0, Make, "m");
        if (split) {
            b.AddLong(0, ThumbnailOffset, offset);
            b.AddLong(ifd1, ThumbnailLength, length);
        } else {
            b.AddLong(ifd1, ThumbnailOffset, offset).AddLong(ifd1, ThumbnailLength, length);
        }
        b.SetTrailer(Bytes(extra, 0xAB));
        Parse p(b.Payload());
        EXPECT_TRUE(p.result);
        return std::make_pair(p.metadata.ThumbnailOffset, p.metadata.ThumbnailLength);
    };
    // The trailer starts at a fixed place in this layout; find it once.
    ExifBuilder probe = NewBuilder();
    int ifd1 = probe.AddDirectory();
    probe.SetNext(0, ifd1).AddAscii(0, Make, "m").AddLong(ifd1, ThumbnailOffset, 0).AddLong(ifd1, ThumbnailLength, 0);
    const uint32_t at = probe.TrailerOffset();

    EXPECT_EQ(std::make_pair(at, 100u), thumbnail(at, 100, false, 100));
    EXPECT_EQ(std::make_pair(0u, 0u), thumbnail(at, 101, false, 100)) << "runs past the block";
    EXPECT_EQ(std::make_pair(0u, 0u), thumbnail(0, 100, false, 100));
    EXPECT_EQ(std::make_pair(0u, 0u), thumbnail(at, 0, false, 100));
    EXPECT_EQ(std::make_pair(0u, 0u), thumbnail(at, 100, true, 100)) << "both must come from one directory";
    EXPECT_EQ(std::make_pair(0u, 0u), thumbnail(0xFFFFFFF0u, 0x20, false, 100)) << "no wrap-around";
}

TEST_P(ExifParser, ResetsCommentFlashAndPixelDimensionButKeepsOtherFields)
{
    JpegMetadata metadata{};
    std::snprintf(metadata.Comment, sizeof(metadata.Comment), "old");
    metadata.FlashFired = 1;
    metadata.IsoSpeed = 123;
    JpegSectionReader reader(&metadata);
    reader.ExifPixelDimension = 5000;
    ExifBuilder b = NewBuilder();
    b.AddLong(0, PixelX, 100).AddRational(0, FocalPlaneX, 100, 1).AddShort(0, FocalPlaneUnit, 2);
    Bytes payload = b.Payload();
    ASSERT_TRUE(reader.ParseExif(payload.data(), static_cast<uint32_t>(payload.size())));
    EXPECT_STREQ("", metadata.Comment);
    EXPECT_EQ(0, metadata.FlashFired);
    EXPECT_EQ(123, metadata.IsoSpeed);
    EXPECT_EQ(100, reader.ExifPixelDimension);
    EXPECT_FLOAT_EQ(1.0f, metadata.SensorWidth);
}
