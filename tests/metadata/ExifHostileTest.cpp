// EXIF blocks and headers made to hurt: cycles, long chains, lying counts and
// offsets, blocks cut at every length. The parser must end, stay inside the
// block (the sanitizer build checks; every buffer here is exactly sized) and
// keep what it set before a failure.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <set>
#include <string>

#include "common/ExifBuilder.h"
#include "metadata/JpegSectionReader.h"
#include "com/KwComPtr.h"
#include "engine/KwHostMemoryStream.h"

namespace {

typedef ExifBuilder::Bytes Bytes;

const uint16_t Make = 0x010F, Model = 0x0110, ExifIfd = 0x8769, InteropIfd = 0xA005, Iso = 0x8827,
               UserComment = 0x9286, ThumbnailOffset = 0x0201, ThumbnailLength = 0x0202;

// A heap copy of exactly `length` bytes, so that one byte too far is caught.
struct ExactBuffer {
    ExactBuffer(const Bytes& bytes, size_t length) : size(length), data(new unsigned char[length ? length : 1])
    {
        std::memcpy(data.get(), bytes.data(), length);
    }
    size_t size;
    std::unique_ptr<unsigned char[]> data;
};

struct Parse {
    explicit Parse(const Bytes& payload, size_t length) : reader(&metadata), buffer(payload, length)
    {
        result = reader.ParseExif(buffer.data.get(), static_cast<uint32_t>(length));
    }
    explicit Parse(const Bytes& payload) : Parse(payload, payload.size()) {}
    JpegMetadata metadata{};
    JpegSectionReader reader;
    ExactBuffer buffer;
    bool result;
};

// A block with something of everything: sub-directories, a chained IFD1 with
// a thumbnail, out-of-line values of several formats, a user comment.
Bytes RealisticPayload(bool motorola)
{
    ExifBuilder b(motorola);
    int exif = b.AddDirectory();
    int interop = b.AddDirectory();
    int ifd1 = b.AddDirectory();
    b.AddAscii(0, Make, "OLYMPUS IMAGING CORP.").AddAscii(0, Model, "E-500").AddShort(0, 0x0112, 1);
    b.AddRational(0, 0x011A, 72, 1).AddRational(0, 0x011B, 72, 1).AddShort(0, 0x0128, 2).AddLink(0, ExifIfd, exif);
    b.SetNext(0, ifd1);
    b.AddRational(exif, 0x829A, 1, 60).AddRational(exif, 0x829D, 35, 10).AddShort(exif, Iso, 100);
    b.AddUndefined(exif, 0x9000, {'0', '2', '2', '1'}).AddAscii(exif, 0x9003, "2006:05:04 03:02:01");
    b.AddSRational(exif, 0x9201, 6, 1).AddRational(exif, 0x9202, 3, 1).AddSRational(exif, 0x9203, 1, 3);
    b.AddDouble(exif, 0x9204, -0.5).AddFloat(exif, 0x920A, 14.0f).AddShort(exif, 0x9209, 0x19);
    b.AddUndefined(exif, UserComment, Bytes{'A', 'S', 'C', 'I', 'I', 0, 0, 0, 'h', 'i', ' ', ' '});
    b.AddLong(exif, 0xA002, 2560).AddShort(exif, 0xA003, 1920).AddLink(exif, InteropIfd, interop);
    b.AddRational(exif, 0xA20E, 2560, 1).AddShort(exif, 0xA210, 2);
    b.AddAscii(interop, 0x0001, "R98");
    b.AddRational(ifd1, 0x011A, 96, 1);
    b.SetTrailer(Bytes(64, 0xD8));
    const uint32_t thumbnailAt = b.TrailerOffset() + 24; // both entries below add 24 bytes
    b.AddLong(ifd1, ThumbnailOffset, thumbnailAt).AddLong(ifd1, ThumbnailLength, 64);
    return b.Payload();
}

} // namespace

TEST(ExifHostile, RealisticBlockParsesFully)
{
    for (bool motorola : {false, true}) {
        Parse p(RealisticPayload(motorola));
        ASSERT_TRUE(p.result) << p.reader.ErrorText;
        EXPECT_STREQ("OLYMPUS IMAGING CORP.", p.metadata.Make);
        EXPECT_FLOAT_EQ(96.0f, p.metadata.XResolution);
        EXPECT_STREQ("hi", p.metadata.Comment);
        EXPECT_EQ(64u, p.metadata.ThumbnailLength);
        EXPECT_NE(0u, p.metadata.ThumbnailOffset);
        EXPECT_FLOAT_EQ(1.0f, p.metadata.SensorWidth);
    }
}

TEST(ExifHostile, CyclesEnd)
{
    {
        // IFD0 chained to itself.
        ExifBuilder b;
        b.AddAscii(0, Make, "loop").SetNext(0, 0);
        Parse p(b.Payload());
        EXPECT_TRUE(p.result);
        EXPECT_STREQ("loop", p.metadata.Make);
        EXPECT_STREQ("Illegal subdirectory link", p.reader.ErrorText);
    }
    {
        // The EXIF sub-directory links back to IFD0, and to itself.
        ExifBuilder b;
        int exif = b.AddDirectory();
        b.AddLink(0, ExifIfd, exif).AddAscii(0, Make, "parent");
        b.AddLink(exif, ExifIfd, 0).AddLink(exif, InteropIfd, exif).AddShort(exif, Iso, 200).SetNext(exif, 0);
        Parse p(b.Payload());
        EXPECT_TRUE(p.result);
        EXPECT_STREQ("parent", p.metadata.Make);
        EXPECT_EQ(200, p.metadata.IsoSpeed);
    }
    {
        // Two directories each linking to the other both ways: a walk without
        // memory of visited directories would never end.
        ExifBuilder b;
        int a = b.AddDirectory();
        int c = b.AddDirectory();
        b.AddLink(0, ExifIfd, a);
        b.AddLink(a, ExifIfd, c).AddLink(a, InteropIfd, c).SetNext(a, c);
        b.AddLink(c, ExifIfd, a).AddLink(c, InteropIfd, a).SetNext(c, a).AddAscii(c, Model, "reached");
        Parse p(b.Payload());
        EXPECT_TRUE(p.result);
        EXPECT_STREQ("reached", p.metadata.Model);
    }
    {
        // A directory that links to itself is walked once, so the cycle does
        // not use up the walk's budget: IFD1 after it is still reached.
        ExifBuilder b;
        int exif = b.AddDirectory();
        int ifd1 = b.AddDirectory();
        b.AddLink(0, ExifIfd, exif).SetNext(0, ifd1);
        b.AddLink(exif, ExifIfd, exif).AddShort(exif, Iso, 200);
        b.AddAscii(ifd1, Make, "IFD1");
        Parse p(b.Payload());
        EXPECT_TRUE(p.result);
        EXPECT_EQ(200, p.metadata.IsoSpeed);
        EXPECT_STREQ("IFD1", p.metadata.Make);
    }
}

// `length` directories, each linking to the next as a sub-directory (and, when
// `branching`, as its next directory too), each with its own ISO value (100 + its place).
Bytes Chain(int length, bool branching)
{
    ExifBuilder b;
    std::vector<int> dirs = {0};
    for (int i = 1; i < length; ++i) dirs.push_back(b.AddDirectory());
    for (int i = 0; i < length; ++i) {
        b.AddShort(dirs[i], Iso, static_cast<uint16_t>(100 + i));
        if (i + 1 < length) b.AddLink(dirs[i], ExifIfd, dirs[i + 1]);
        if (i + 1 < length && branching) b.SetNext(dirs[i], dirs[i + 1]);
    }
    return b.Payload();
}

TEST(ExifHostile, LongAndBranchingChainsAreBounded)
{
    // Without a bound the walk of 200 directories is deep and, without memory
    // of visited directories, exponential. It stops after some number of them.
    Parse p(Chain(200, true));
    EXPECT_TRUE(p.result);
    EXPECT_STREQ("Illegal subdirectory link", p.reader.ErrorText);
    const int walked = p.metadata.IsoSpeed - 100 + 1;
    EXPECT_GE(walked, 8) << "room for every directory a camera writes";
    EXPECT_LT(walked, 200);

    // A chain of exactly that many is read whole; one more is where the walk stops.
    Parse whole(Chain(walked, false));
    EXPECT_TRUE(whole.result);
    EXPECT_STREQ("", whole.reader.ErrorText);
    EXPECT_EQ(100 + walked - 1, whole.metadata.IsoSpeed);
    Parse longer(Chain(walked + 1, false));
    EXPECT_STREQ("Illegal subdirectory link", longer.reader.ErrorText);
    EXPECT_EQ(100 + walked - 1, longer.metadata.IsoSpeed);

    // The bound is per parse: parsing again starts afresh.
    Bytes again = Chain(200, true);
    EXPECT_TRUE(p.reader.ParseExif(again.data(), static_cast<uint32_t>(again.size())));
    EXPECT_EQ(100 + walked - 1, p.metadata.IsoSpeed);
}

TEST(ExifHostile, CountsAndOffsetsThatOverflow32Bits)
{
    struct Case {
        const char* what;
        uint16_t format;
        uint32_t count;
        uint32_t offset;
    };
    // count x size wraps to a small number in 32 bits; offset + size wraps too.
    for (const Case& c : {Case{"count*8 wraps to 0", 12, 0x20000000u, 8}, Case{"count*8 wraps to 8", 5, 0x20000001u, 8},
                          Case{"count*2 wraps to 2", 3, 0x80000001u, 8}, Case{"count*4 wraps", 4, 0x40000001u, 8},
                          Case{"offset wraps", 5, 1, 0xFFFFFFFCu}, Case{"huge count", 2, 0xFFFFFFFFu, 0},
                          Case{"offset past end", 2, 5, 0x7FFFFFFFu}}) {
        ExifBuilder b;
        b.AddAscii(0, Model, "kept").AddRaw(0, Make, c.format, c.count, c.offset);
        Parse p(b.Payload());
        EXPECT_FALSE(p.result) << c.what;
        EXPECT_STREQ("Illegal pointer offset value in EXIF.", p.reader.ErrorText) << c.what;
        EXPECT_STREQ("kept", p.metadata.Model) << c.what;
        EXPECT_STREQ("", p.metadata.Make) << c.what;
    }
}

TEST(ExifHostile, ValuesAndDirectoriesAtTheVeryEndOfTheBlock)
{
    // A value that ends exactly at the end of the block is read; one byte more is refused.
    for (int extra : {0, 1}) {
        ExifBuilder b;
        b.SetTrailer({'E', 'N', 'D', '!', 'X'});
        const uint32_t end = b.TrailerOffset() + 12 + 5; // the entry below adds 12 bytes
        b.AddRaw(0, Make, 2, 5 + extra, end - 5);
        Parse p(b.Payload());
        EXPECT_EQ(extra == 0, p.result);
        if (extra == 0) {
            EXPECT_STREQ("END!X", p.metadata.Make);
        }
    }
    {
        // A directory whose entry count runs past the end.
        ExifBuilder b;
        b.AddAscii(0, Make, "x");
        Bytes payload = b.Payload();
        payload[6 + 8] = 0xFF; // entry count, little-endian
        payload[6 + 9] = 0xFF;
        Parse p(payload);
        EXPECT_FALSE(p.result);
        EXPECT_STREQ("Illegally sized directory", p.reader.ErrorText);
    }
    {
        // Sub-directory links at the end, one byte before it, and past it.
        ExifBuilder probe;
        probe.AddRaw(0, ExifIfd, 4, 1, 0);
        const uint32_t tiffLength = static_cast<uint32_t>(probe.Tiff().size());
        for (uint32_t link : {tiffLength - 1, tiffLength, tiffLength + 1, 0xFFFFFFFFu}) {
            ExifBuilder b;
            b.AddRaw(0, ExifIfd, 4, 1, link);
            Parse p(b.Payload());
            const bool outside = link > tiffLength;
            EXPECT_EQ(!outside, p.result) << link;
            EXPECT_STREQ(outside ? "Illegal subdirectory link" : "Illegally sized directory", p.reader.ErrorText)
                << link;
        }
    }
    {
        // Next-directory links: outside the block fails IFD0; a link that does
        // not fit in the block is no link.
        ExifBuilder b;
        b.AddAscii(0, Make, "x").SetNextRaw(0, 0x10000);
        Parse p(b.Payload());
        EXPECT_FALSE(p.result);
        EXPECT_STREQ("Illegal subdirectory link", p.reader.ErrorText);
        EXPECT_STREQ("x", p.metadata.Make);

        ExifBuilder c;
        c.AddAscii(0, Make, "y");
        Bytes payload = c.Payload();
        payload.resize(payload.size() - 4); // the four link bytes are missing
        Parse q(payload);
        EXPECT_TRUE(q.result) << q.reader.ErrorText;
        EXPECT_STREQ("y", q.metadata.Make);
    }
    {
        // Entries with no components: a value of at most four bytes is read from
        // the entry itself (the link back to IFD0 is followed and refused as a
        // cycle); a wider one would lie outside the entry and is skipped.
        ExifBuilder b;
        b.AddRaw(0, 0x829A, 12, 0, 0).AddRaw(0, 0x9286, 7, 0, 0).AddRaw(0, Iso, 3, 0, 400).AddRaw(0, ExifIfd, 4, 0, 8);
        Parse p(b.Payload());
        EXPECT_TRUE(p.result);
        EXPECT_EQ(0.0f, p.metadata.ExposureTime);
        EXPECT_EQ(400, p.metadata.IsoSpeed);
        EXPECT_STREQ("Illegal subdirectory link", p.reader.ErrorText);

        // The last entry of a block that ends right after it (no link bytes): a
        // component of an eight-byte format would lie past the end.
        for (uint16_t format : {5, 10, 12}) {
            ExifBuilder c;
            c.AddRaw(0, 0x829A, format, 0, 0);
            Bytes payload = c.Payload();
            payload.resize(payload.size() - 4);
            Parse q(payload);
            EXPECT_TRUE(q.result);
            EXPECT_EQ(0.0f, q.metadata.ExposureTime);
        }
    }
}

TEST(ExifHostile, PayloadsCutAtEveryLength)
{
    for (bool motorola : {false, true}) {
        const Bytes full = RealisticPayload(motorola);
        for (size_t length = 0; length <= full.size(); ++length) {
            Parse p(full, length);
            if (length < 14) {
                EXPECT_FALSE(p.result) << length;
                EXPECT_STRNE("", p.reader.ErrorText) << length;
            }
        }
        // Cut inside the header: one message per missing field.
        EXPECT_STREQ("Incorrect Exif header", Parse(full, 5).reader.ErrorText);
        EXPECT_STREQ("Invalid Exif alignment marker.", Parse(full, 7).reader.ErrorText);
        EXPECT_STREQ("Invalid Exif start (1)", Parse(full, 9).reader.ErrorText);
        EXPECT_STREQ("Suspicious offset of first IFD value", Parse(full, 13).reader.ErrorText);
        EXPECT_STREQ("Illegally sized directory", Parse(full, 15).reader.ErrorText);
    }
}

TEST(ExifHostile, ScrambledBlocksNeverReadOutside)
{
    // Deterministic mutations of a realistic block: every byte of the TIFF part
    // is a candidate, and the values chosen are the ones that move offsets.
    uint32_t state = 12345;
    auto next = [&state]() {
        state = state * 1103515245u + 12345u;
        return state >> 8;
    };
    const unsigned char values[] = {0x00, 0x01, 0x07, 0x0C, 0x0D, 0x7F, 0x80, 0xFE, 0xFF};
    // What a parse may end with: success, or a failure of IFD0 itself (the
    // header is never touched).
    const std::set<std::string> failures = {"Illegally sized directory", "Illegal format code in EXIF dir",
                                            "Illegal pointer offset value in EXIF.", "Illegal subdirectory link"};
    int failed = 0;
    int parsed = 0;
    for (bool motorola : {false, true}) {
        const Bytes full = RealisticPayload(motorola);
        for (int round = 0; round < 3000; ++round) {
            Bytes mutated = full;
            const int changes = 1 + next() % 4;
            for (int i = 0; i < changes; ++i)
                mutated[14 + next() % (mutated.size() - 14)] = values[next() % sizeof(values)];
            Parse p(mutated, next() % 4 == 0 ? mutated.size() - next() % 64 : mutated.size());
            if (p.result) {
                ++parsed;
            } else {
                ++failed;
                EXPECT_EQ(failures.count(p.reader.ErrorText), 1u) << round << ": " << p.reader.ErrorText;
            }
            EXPECT_LT(strnlen(p.metadata.Make, sizeof(p.metadata.Make)), sizeof(p.metadata.Make)) << round;
            EXPECT_LT(strnlen(p.metadata.Comment, sizeof(p.metadata.Comment)), sizeof(p.metadata.Comment)) << round;
        }
    }
    // The mutations reach both ends of the walk.
    EXPECT_GT(parsed, 0);
    EXPECT_GT(failed, 0);
}

TEST(ExifHostile, HeadersCutAtEveryLengthNeverReadOutside)
{
    const Bytes exif = ExifBuilder::App1(RealisticPayload(true));
    const Bytes file = ExifBuilder::MinimalJpeg(
        ExifBuilder::Section(0xFE, Bytes{'c', '\r', '\n', 'd'}), 640, 480, 3);
    // Where a complete scan stops: after the APP1 section, or after the SOS header.
    const std::pair<Bytes, size_t> cases[] = {{ExifBuilder::InsertAfterSoi(file, exif), 2 + exif.size()},
                                              {file, file.size() - 4}};
    for (const auto& c : cases) {
        const Bytes& whole = c.first;
        for (size_t length = 0; length <= whole.size(); ++length) {
            JpegMetadata metadata{};
            JpegSectionReader reader(&metadata);
            KwComPtr<KwHostMemoryStream> stream;
            ASSERT_EQ(S_OK, KwHostMemoryStream::Create(whole.data(), length, stream.Receive()));
            testing::internal::CaptureStdout();
            const bool result = reader.ReadSections(stream.Get());
            testing::internal::GetCapturedStdout();
            EXPECT_EQ(length >= c.second, result) << length;
            EXPECT_LE(reader.SectionCount, JpegSectionReader::MaxSections);
        }
    }
}
