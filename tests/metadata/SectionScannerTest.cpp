// The marker section scanner: which sections are kept, where the scan stops,
// how it fails, and what it takes from frame headers and comments.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/ExifBuilder.h"
#include "metadata/JpegSectionReader.h"
#include "hostdouble/KwHostDouble.h"
#include "com/KwMemory.h"
#include "com/KwComPtr.h"
#include "engine/KwHostMemoryStream.h"

namespace {

typedef ExifBuilder::Bytes Bytes;

Bytes Soi() { return {0xFF, 0xD8}; }

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes Jfif()
{
    return ExifBuilder::Section(0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, 1, 0, 72, 0, 72, 0, 0});
}

Bytes Sof(uint8_t marker, uint16_t width, uint16_t height, uint8_t components)
{
    Bytes payload = {8, uint8_t(height >> 8), uint8_t(height), uint8_t(width >> 8), uint8_t(width), components};
    for (int c = 0; c < components; ++c) payload.insert(payload.end(), {uint8_t(c + 1), 0x11, 0});
    return ExifBuilder::Section(marker, payload);
}

Bytes Com(const std::string& text) { return ExifBuilder::Section(0xFE, Bytes(text.begin(), text.end())); }

Bytes SmallExif()
{
    ExifBuilder exif;
    exif.AddAscii(0, 0x010F, "Canon").AddAscii(0, 0x0110, "Canon EOS 400D DIGITAL");
    return ExifBuilder::App1(exif.Payload());
}

// A host memory stream holding the bytes.
KwComPtr<KwHostMemoryStream> MemoryStream(const Bytes& bytes)
{
    KwComPtr<KwHostMemoryStream> stream;
    EXPECT_EQ(S_OK, KwHostMemoryStream::Create(bytes, stream.Receive()));
    return stream;
}

// One scan over the given bytes, on a zero-filled record of the test's own.
struct Scan {
    explicit Scan(const Bytes& bytes) : stream(MemoryStream(bytes)), reader(&metadata) {}
    bool Run() { return reader.ReadSections(stream.Get()); }

    JpegMetadata metadata{};
    KwComPtr<KwHostMemoryStream> stream;
    JpegSectionReader reader;
};

std::vector<int> KeptTypes(const JpegSectionReader& r)
{
    std::vector<int> types;
    for (int i = 0; i < r.SectionCount; ++i) types.push_back(r.Sections[i].Type);
    return types;
}

} // namespace

TEST(SectionScanner, RejectsStreamsThatDoNotStartWithSoi)
{
    for (const Bytes& bytes : {Bytes{}, Bytes{0xFF}, Bytes{0x00, 0xD8, 0xFF, 0xDA}, Bytes{0xFF, 0xD9, 0xFF, 0xD8},
                               Bytes{0xFF, 0xFF, 0xD8}}) {
        Scan scan(bytes);
        EXPECT_FALSE(scan.Run());
        EXPECT_STREQ("", scan.reader.ErrorText);
        EXPECT_EQ(0, scan.reader.SectionCount);
        EXPECT_EQ(nullptr, scan.reader.Sections[0].Data);
    }
}

TEST(SectionScanner, JfifFileKeepsTablesFrameAndScanHeader)
{
    Bytes file = ExifBuilder::MinimalJpeg(Jfif(), 640, 480, 3);
    Scan scan(file);
    ASSERT_TRUE(scan.Run());
    EXPECT_EQ((std::vector<int>{0xDB, 0xC0, 0xC4, 0xDA}), KeptTypes(scan.reader));
    EXPECT_EQ(640, scan.metadata.ImageWidth);
    EXPECT_EQ(480, scan.metadata.ImageHeight);
    EXPECT_EQ(0xC0, scan.metadata.FrameMarker);
    EXPECT_EQ(1, scan.metadata.IsColor);
    EXPECT_FALSE(scan.metadata.HasExif);

    // Each kept section holds its length bytes and then its payload, as in the file.
    const JpegSection& dqt = scan.reader.Sections[0];
    ASSERT_EQ(67, dqt.Length);
    EXPECT_EQ(0x00, dqt.Data[0]);
    EXPECT_EQ(0x43, dqt.Data[1]);
    const size_t dqtAt = 2 + Jfif().size() + 2;
    EXPECT_EQ(0, std::memcmp(dqt.Data, file.data() + dqtAt, 67));

    // The scan stops right after the SOS header: the entropy-coded data is not read.
    EXPECT_EQ(file.size() - 4, scan.stream->Position());

    // Only reads: single bytes for the markers and lengths, one read per body.
    EXPECT_EQ(0u, KwHostDouble(scan.stream).SeekCount());
    std::vector<ULONG> expected = {1, 1};
    for (ULONG body : {14u, 65u, 15u, 18u, 10u}) expected.insert(expected.end(), {1, 1, 1, 1, body});
    EXPECT_EQ(expected, KwHostDouble(scan.stream).ReadRequests());
}

TEST(SectionScanner, GrayFrameIsNotColour)
{
    Scan scan(ExifBuilder::MinimalJpeg({}, 100, 10, 1));
    ASSERT_TRUE(scan.Run());
    EXPECT_EQ(0, scan.metadata.IsColor);
    EXPECT_EQ(100, scan.metadata.ImageWidth);
    EXPECT_EQ(10, scan.metadata.ImageHeight);
}

TEST(SectionScanner, EveryFrameMarkerAndOnlyThoseFillTheFrameFields)
{
    for (int code = 0xC0; code <= 0xCF; ++code) {
        const bool isFrame = code != 0xC4 && code != 0xC8 && code != 0xCC;
        Scan scan(Concat({Soi(), Sof(uint8_t(code), 300, 200, 4), ExifBuilder::Section(0xDA, {0})}));
        ASSERT_TRUE(scan.Run()) << std::hex << code;
        EXPECT_EQ(2, scan.reader.SectionCount) << std::hex << code;
        EXPECT_EQ(isFrame ? code : 0, scan.metadata.FrameMarker) << std::hex << code;
        EXPECT_EQ(isFrame ? 300 : 0, scan.metadata.ImageWidth) << std::hex << code;
        EXPECT_EQ(isFrame ? 200 : 0, scan.metadata.ImageHeight) << std::hex << code;
        EXPECT_EQ(0, scan.metadata.IsColor) << "four components are not colour";
    }
    // A later frame header overwrites an earlier one.
    Scan twice(Concat({Soi(), Sof(0xC0, 10, 20, 1), Sof(0xC2, 30, 40, 3), ExifBuilder::Section(0xDA, {0})}));
    ASSERT_TRUE(twice.Run());
    EXPECT_EQ(0xC2, twice.metadata.FrameMarker);
    EXPECT_EQ(30, twice.metadata.ImageWidth);
    EXPECT_EQ(1, twice.metadata.IsColor);
}

TEST(SectionScanner, FrameHeaderTooShortForItsFieldsIsNotReadPastItsEnd)
{
    for (size_t payload = 0; payload < 6; ++payload) {
        Bytes sof = ExifBuilder::Section(0xC0, Bytes(payload, 0x33));
        Scan scan(Concat({Soi(), sof, ExifBuilder::Section(0xDA, {0})}));
        EXPECT_TRUE(scan.Run());
        EXPECT_EQ(2, scan.reader.SectionCount);
        EXPECT_EQ(0, scan.metadata.ImageWidth);
        EXPECT_EQ(0, scan.metadata.ImageHeight);
    }
}

TEST(SectionScanner, App1EndsTheScanWithOrWithoutExif)
{
    // EXIF before the frame header: the frame is never reached.
    Bytes file = ExifBuilder::MinimalJpeg(SmallExif(), 640, 480, 3);
    Scan exif(file);
    ASSERT_TRUE(exif.Run());
    EXPECT_TRUE(exif.metadata.HasExif);
    EXPECT_STREQ("Canon", exif.metadata.Make);
    EXPECT_EQ(0, exif.metadata.ImageWidth);
    EXPECT_EQ(0, exif.metadata.ImageHeight);
    EXPECT_EQ(0, exif.metadata.FrameMarker);
    EXPECT_EQ(0, exif.reader.SectionCount) << "APP1 is not kept";
    EXPECT_EQ(nullptr, exif.reader.Sections[0].Data);
    EXPECT_EQ(2 + SmallExif().size(), exif.stream->Position()) << "nothing after APP1 is read";

    // An XMP packet in APP1 ends the scan too; a later EXIF APP1 is never reached.
    const std::string xmp = "http://ns.adobe.com/xap/1.0/";
    Scan other(ExifBuilder::MinimalJpeg(Concat({ExifBuilder::App1(Bytes(xmp.begin(), xmp.end() + 1)), SmallExif()})));
    ASSERT_TRUE(other.Run());
    EXPECT_FALSE(other.metadata.HasExif);
    EXPECT_STREQ("", other.metadata.Make);

    // Payloads too short to hold "Exif" are not EXIF.
    for (size_t n = 0; n < 4; ++n) {
        const char* exif = "Exif";
        Scan tiny(ExifBuilder::MinimalJpeg(ExifBuilder::App1(Bytes(exif, exif + n))));
        EXPECT_TRUE(tiny.Run());
        EXPECT_FALSE(tiny.metadata.HasExif);
    }
}

TEST(SectionScanner, ExifParserFailureStillEndsTheScanSuccessfully)
{
    Bytes payload = ExifBuilder().Payload();
    payload[6] = 'X'; // neither "II" nor "MM"
    Scan scan(ExifBuilder::MinimalJpeg(Concat({Jfif(), ExifBuilder::App1(payload)})));
    EXPECT_TRUE(scan.Run());
    EXPECT_FALSE(scan.metadata.HasExif);
    EXPECT_STREQ("Invalid Exif alignment marker.", scan.reader.ErrorText);
}

TEST(SectionScanner, FillBytesUpToTheLimitAreSkipped)
{
    // The marker's own 0xFF plus five fill bytes: six in a row are accepted.
    Bytes six = Concat({Soi(), Bytes(5, 0xFF), Sof(0xC0, 8, 8, 3), ExifBuilder::Section(0xDA, {0})});
    Scan accepted(six);
    EXPECT_TRUE(accepted.Run());
    EXPECT_EQ(8, accepted.metadata.ImageWidth);

    // The code may also come without any 0xFF before it.
    Bytes bare = Sof(0xC0, 9, 9, 3);
    bare.erase(bare.begin());
    Scan noPrefix(Concat({Soi(), bare, ExifBuilder::Section(0xDA, {0})}));
    EXPECT_TRUE(noPrefix.Run());
    EXPECT_EQ(9, noPrefix.metadata.ImageWidth);

    // Seven in a row end the scan with a line on standard output and no text.
    Bytes seven = Concat({Soi(), Bytes(6, 0xFF), Sof(0xC0, 8, 8, 3), ExifBuilder::Section(0xDA, {0})});
    Scan refused(seven);
    testing::internal::CaptureStdout();
    const bool result = refused.Run();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_FALSE(result);
    EXPECT_EQ("too many padding unsigned chars\n", out);
    EXPECT_STREQ("", refused.reader.ErrorText);
    EXPECT_EQ(0, refused.metadata.ImageWidth);
}

TEST(SectionScanner, TwentyKeptSectionsAreTheLimitAndDiscardedOnesDoNotCount)
{
    const Bytes dri = ExifBuilder::Section(0xDD, {0, 0});
    const Bytes sos = ExifBuilder::Section(0xDA, {0});

    Bytes tooMany = Soi();
    for (int i = 0; i < 20; ++i) tooMany = Concat({tooMany, dri});
    tooMany = Concat({tooMany, sos});
    Scan over(tooMany);
    EXPECT_FALSE(over.Run());
    EXPECT_STREQ("Too many sections in jpg file", over.reader.ErrorText);
    EXPECT_EQ(20, over.reader.SectionCount);
    for (const JpegSection& s : over.reader.Sections) EXPECT_NE(nullptr, s.Data);

    // Nineteen kept, APP0s and extra comments in between, the SOS as the twentieth.
    Bytes fits = Concat({Soi(), Com("first")});
    for (int i = 0; i < 18; ++i) fits = Concat({fits, Jfif(), Com("later"), dri});
    fits = Concat({fits, sos});
    Scan within(fits);
    EXPECT_TRUE(within.Run());
    EXPECT_EQ(20, within.reader.SectionCount);
    EXPECT_EQ(0xDA, within.reader.Sections[19].Type);
    EXPECT_STREQ("first", within.metadata.Comment);
}

TEST(SectionScanner, LengthsBelowTwoAndCutBodiesFail)
{
    for (uint8_t low : {0, 1}) {
        Scan scan(Concat({Soi(), Bytes{0xFF, 0xDB, 0x00, low}, Bytes(70, 0)}));
        EXPECT_FALSE(scan.Run());
        EXPECT_STREQ("invalid marker", scan.reader.ErrorText);
        EXPECT_EQ(0, scan.reader.SectionCount);
    }

    // Cut inside the body: the partial buffer stays in its slot (released by the
    // destructor) but is not counted.
    Bytes full = ExifBuilder::MinimalJpeg({});
    Bytes cut(full.begin(), full.begin() + 2 + 4 + 30);
    Scan scan(cut);
    EXPECT_FALSE(scan.Run());
    EXPECT_STREQ("Premature end of file?", scan.reader.ErrorText);
    EXPECT_EQ(0, scan.reader.SectionCount);
    EXPECT_NE(nullptr, scan.reader.Sections[0].Data);
}

TEST(SectionScanner, EndOfImageOrEndOfStreamBeforeTheScan)
{
    // EOI with a length field and body, as the scanner reads every marker.
    Scan eoi(Concat({Soi(), Sof(0xC0, 8, 8, 3), Bytes{0xFF, 0xD9, 0x00, 0x02}, ExifBuilder::Section(0xDA, {0})}));
    EXPECT_FALSE(eoi.Run());
    EXPECT_STREQ("", eoi.reader.ErrorText);
    EXPECT_EQ(8, eoi.metadata.ImageWidth) << "fields set before the end stay";
    EXPECT_EQ((std::vector<int>{0xC0, 0xD9}), KeptTypes(eoi.reader)) << "the end-of-image section is kept";
    ASSERT_NE(nullptr, eoi.reader.Sections[1].Data);
    EXPECT_EQ(2, eoi.reader.Sections[1].Length);

    // A real EOI at the very end has no length: the missing bytes read as fill
    // bytes, giving a length the stream cannot satisfy.
    Scan tablesOnly(Concat({Soi(), ExifBuilder::Section(0xDB, Bytes(65, 1)), Bytes{0xFF, 0xD9}}));
    EXPECT_FALSE(tablesOnly.Run());
    EXPECT_STREQ("Premature end of file?", tablesOnly.reader.ErrorText);
    EXPECT_EQ(1, tablesOnly.reader.SectionCount);

    // A stream that ends where a marker is expected ends at the fill limit.
    Scan ended(Concat({Soi(), ExifBuilder::Section(0xDB, Bytes(65, 1))}));
    testing::internal::CaptureStdout();
    EXPECT_FALSE(ended.Run());
    EXPECT_EQ("too many padding unsigned chars\n", testing::internal::GetCapturedStdout());
}

TEST(SectionScanner, FirstCommentIsCleanedAndLaterOnesDiscarded)
{
    const std::string text = std::string("A\r\nB") + '\x07' + "\tC\n" + "\xE9t\xE9" + '\r' + 'D' + '\0' + "E";
    Bytes file = ExifBuilder::MinimalJpeg(Concat({Com(text), Com("second")}));
    Scan scan(file);
    ASSERT_TRUE(scan.Run());
    EXPECT_STREQ("A\nB?\tC\n\xE9t\xE9?D?E", scan.metadata.Comment);
    EXPECT_EQ((std::vector<int>{0xFE, 0xDB, 0xC0, 0xC4, 0xDA}), KeptTypes(scan.reader));

    // A carriage return as the section's last byte has no line feed after it
    // inside the section: the byte that follows in the file is not looked at.
    // (Here the next marker code comes without 0xFF: its first byte is a line feed.)
    Scan cr(ExifBuilder::MinimalJpeg(Concat({Com("X\r"), Bytes{0x0A, 0x00, 0x02}})));
    ASSERT_TRUE(cr.Run());
    EXPECT_STREQ("X?", cr.metadata.Comment);
    EXPECT_EQ(0x0A, cr.reader.Sections[1].Type);
}

TEST(SectionScanner, LongCommentContributesOnlyItsFirst998Bytes)
{
    std::string text(1500, 'x');
    for (size_t i = 0; i < text.size(); ++i) text[i] = char('a' + i % 26);
    Scan scan(ExifBuilder::MinimalJpeg(Com(text)));
    ASSERT_TRUE(scan.Run());
    EXPECT_EQ(text.substr(0, 998), std::string(scan.metadata.Comment));
}

TEST(SectionScanner, ExifDropsAnEarlierComment)
{
    Scan scan(ExifBuilder::MinimalJpeg(Concat({Com("from COM"), SmallExif()})));
    ASSERT_TRUE(scan.Run());
    EXPECT_TRUE(scan.metadata.HasExif);
    EXPECT_STREQ("", scan.metadata.Comment);
}

TEST(SectionScanner, StreamsThatDeliverInPiecesOrFail)
{
    Bytes file = ExifBuilder::MinimalJpeg(Concat({Jfif(), Com("hello")}), 33, 44, 3);
    Scan pieces(file);
    KwHostDouble(pieces.stream).Switches().MaxReadPerCall = 3;
    EXPECT_TRUE(pieces.Run());
    EXPECT_EQ(33, pieces.metadata.ImageWidth);
    EXPECT_STREQ("hello", pieces.metadata.Comment);

    // A failing read is the end of the data.
    Scan failing(file);
    KwHostDouble(failing.stream).Switches().FailReadAtCall = 9;
    KwHostDouble(failing.stream).Switches().FailReadCalls = 0; // and every later call
    testing::internal::CaptureStdout();
    EXPECT_FALSE(failing.Run());
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(0, failing.metadata.ImageWidth);
}

namespace {
unsigned long g_failAt = 0;
bool FailNth(unsigned long n, std::size_t) { return n == g_failAt; }
struct HookGuard {
    explicit HookGuard(unsigned long n)
    {
        g_failAt = n;
        KwSetAllocationHook(&FailNth);
    }
    ~HookGuard() { KwSetAllocationHook(nullptr); }
};
} // namespace

TEST(SectionScanner, OwnRecordAndAllocationFailures)
{
    Bytes file = ExifBuilder::MinimalJpeg(Jfif(), 20, 30, 1);
    {
        KwComPtr<KwHostMemoryStream> stream = MemoryStream(file);
        JpegSectionReader reader;
        ASSERT_NE(nullptr, reader.Metadata);
        EXPECT_TRUE(reader.OwnsMetadata);
        EXPECT_TRUE(reader.ReadSections(stream.Get()));
        EXPECT_EQ(20, reader.Metadata->ImageWidth);
    }
    {
        KwComPtr<KwHostMemoryStream> stream = MemoryStream(file);
        HookGuard fail(1); // the record itself
        JpegSectionReader reader;
        EXPECT_EQ(nullptr, reader.Metadata);
        EXPECT_FALSE(reader.ReadSections(stream.Get()));
        EXPECT_STREQ("Could not allocate memory", reader.ErrorText);
    }
    {
        // Allocations: APP0 (discarded), DQT, SOF0: the frame header's buffer fails.
        JpegMetadata metadata{};
        KwComPtr<KwHostMemoryStream> stream = MemoryStream(file);
        JpegSectionReader reader(&metadata);
        EXPECT_FALSE(reader.OwnsMetadata);
        HookGuard fail(3);
        EXPECT_FALSE(reader.ReadSections(stream.Get()));
        EXPECT_STREQ("Could not allocate memory", reader.ErrorText);
        EXPECT_EQ(1, reader.SectionCount);
        EXPECT_EQ(0, metadata.ImageWidth);
    }
}
