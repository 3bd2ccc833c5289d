// Hostile and damaged files through the whole load path. Each fixture says
// which fault it provokes; every outcome is held against libjpeg's own decode
// of the same bytes fed the same way (TestJpeg::Decode).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>

#include "common/ExifBuilder.h"
#include "codec/KwDecodeBudget.h"
#include "ReliabilityFixture.h"
#include "SystemProbe.h"

namespace {

void Append(Bytes& out, std::initializer_list<int> bytes)
{
    for (int b : bytes) out.push_back(static_cast<unsigned char>(b));
}

// One scan of EmptyScans: the component it holds, its band and its successive approximation.
struct ScanHeader {
    int Component, Ss, Se, Ah, Al;
};

// A frame of `components` components with the given scans and no entropy data
// at all (the codec fills what is missing): every scan costs a pass over its
// component inside jpeg_start_decompress, before any progress event.
Bytes EmptyScans(int width, int height, int components, bool progressive, const std::vector<ScanHeader>& scans)
{
    Bytes f;
    Append(f, {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x43, 0x00});
    f.insert(f.end(), 64, 1);
    Append(f, {0xFF, progressive ? 0xC2 : 0xC1, 0x00, 8 + 3 * components, 0x08, height >> 8, height & 0xFF,
               width >> 8, width & 0xFF, components});
    for (int c = 1; c <= components; ++c) Append(f, {c, 0x11, 0x00});
    // The standard luminance DC table, and an AC table of one code (end of band).
    Append(f, {0xFF, 0xC4, 0x00, 0x1F, 0x00, 0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0});
    for (int v = 0; v < 12; ++v) f.push_back(static_cast<unsigned char>(v));
    Append(f, {0xFF, 0xC4, 0x00, 0x14, 0x10, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00});
    for (const ScanHeader& s : scans)
        Append(f, {0xFF, 0xDA, 0x00, 0x08, 0x01, s.Component + 1, 0x00, s.Ss, s.Se, (s.Ah << 4) | s.Al});
    Append(f, {0xFF, 0xD9});
    return f;
}

// A progressive gray frame of `scans` DC scans; with `refine`, every scan
// after the first refines all 63 AC coefficients.
Bytes ManyScans(int width, int height, int scans, bool refine = false)
{
    std::vector<ScanHeader> list(static_cast<size_t>(scans), ScanHeader{0, 0, 0, 0, 0});
    if (refine)
        for (size_t s = 1; s < list.size(); ++s) list[s] = ScanHeader{0, 1, 63, 1, 0};
    return EmptyScans(width, height, 1, true, list);
}

// `file` with the frame size of its SOFn section replaced.
Bytes WithFrameSize(Bytes file, int width, int height)
{
    for (size_t i = 2; i + 8 < file.size(); ++i) {
        if (file[i] == 0xFF && file[i + 1] >= 0xC0 && file[i + 1] <= 0xC2) {
            file[i + 5] = static_cast<unsigned char>(height >> 8);
            file[i + 6] = static_cast<unsigned char>(height);
            file[i + 7] = static_cast<unsigned char>(width >> 8);
            file[i + 8] = static_cast<unsigned char>(width);
            return file;
        }
    }
    ADD_FAILURE() << "no frame header";
    return file;
}

// Frame size of the first SOFn section (0 x 0 when none is found).
void FrameSize(const Bytes& file, std::int64_t* width, std::int64_t* height)
{
    *width = *height = 0;
    for (size_t i = 2; i + 8 < file.size(); ++i) {
        if (file[i] == 0xFF && file[i + 1] >= 0xC0 && file[i + 1] <= 0xCF && file[i + 1] != 0xC4 &&
            file[i + 1] != 0xC8 && file[i + 1] != 0xCC) {
            *height = (file[i + 5] << 8) | file[i + 6];
            *width = (file[i + 7] << 8) | file[i + 8];
            return;
        }
    }
}

// Lowers the codec's own whole-image limit for one test, and restores it.
class CodecMemoryLimit {
public:
    explicit CodecMemoryLimit(const char* value)
    {
        const char* old = std::getenv("JPEGMEM");
        m_Had = old != nullptr;
        if (old) m_Old = old;
        SystemProbe::SetEnvironment("JPEGMEM", value);
    }
    ~CodecMemoryLimit() { SystemProbe::SetEnvironment("JPEGMEM", m_Had ? m_Old.c_str() : nullptr); }

private:
    bool m_Had = false;
    std::string m_Old;
};

// Sets the visits every decode may spend beyond the free ones, for one test.
class FixedAllowance {
public:
    explicit FixedAllowance(std::uint64_t visits) : m_Old(KwDecodeBudget::SetFixedAllowance(visits)) {}
    ~FixedAllowance() { KwDecodeBudget::SetFixedAllowance(m_Old); }

private:
    std::uint64_t m_Old;
};

} // namespace

class HostileFileTest : public ReliabilityTest {
protected:
    // The filter must agree with libjpeg's decode of the same bytes: the same
    // rows when the codec can decode them, E_FAIL when it cannot.
    void ExpectAgreesWithCodec(const Bytes& file, const std::string& what)
    {
        const TestJpeg::Decoded reference = TestJpeg::Decode(file);
        {
            std::unique_ptr<LoadRun> run = RunLoad(file);
            if (run->open != S_OK) {
                // Only the acceptance test turns a file away: too short, no start-of-image
                // marker, or a first segment longer than the file.
                const bool rejected = file.size() < 30 || file[0] != 0xFF || file[1] != 0xD8 ||
                                      static_cast<size_t>((file[4] << 8) | file[5]) > file.size();
                EXPECT_TRUE(rejected) << what << ": OpenDocument refused an acceptable header";
                EXPECT_EQ(run->open, E_FAIL) << what;
            } else if (reference.Ok && (reference.OutColorSpace == 1 || reference.OutColorSpace == 2 ||
                                        reference.OutColorSpace == 4)) {
                ExpectCompleteLoad(*run, &reference, what);
            } else {
                EXPECT_EQ(run->node, E_FAIL) << what << " (libjpeg: " << reference.Error << ")";
                ExpectFailedLoad(*run, what);
            }
        }
        ExpectNothingLeft(what);
    }
};

// Many scans: a pass over the image per scan, before the host can abort.
// Both their number and the visits of each coefficient are bounded.
TEST_F(HostileFileTest, ScanCountIsBounded)
{
    const int limit = KwDecodeBudget::MaxScans;
    {
        std::unique_ptr<LoadRun> run = RunLoad(ManyScans(64, 64, limit));
        EXPECT_EQ(run->node, S_OK) << "the last scan within the bound";
    }
    ExpectNothingLeft("at the bound");
    {
        std::unique_ptr<LoadRun> run = RunLoad(ManyScans(64, 64, limit + 1));
        EXPECT_EQ(run->node, E_FAIL) << "one scan past the bound";
        ExpectFailedLoad(*run, "one scan past the bound");
        // The host accepted the image before any scan was read; no row reached it.
        ASSERT_NE(run->Raster(), nullptr);
        EXPECT_EQ(run->Raster()->RowsDelivered(), 0);
    }
    ExpectNothingLeft("past the bound");
    {
        // 50000 scans over a megapixel would be 50000 passes over 16384 blocks.
        std::unique_ptr<LoadRun> run = RunLoad(ManyScans(1024, 1024, 50000));
        EXPECT_EQ(run->node, E_FAIL);
    }
    ExpectNothingLeft("after 50000 scans");

    // 40 refinements of every coefficient.
    const Bytes dear = ManyScans(64, 64, 40, true);
    // Each coefficient in one first pass and thirteen refinements, the most a conforming progression needs.
    std::vector<ScanHeader> conforming;
    for (int band = 0; band < 2; ++band)
        for (int al = 13; al >= 0; --al)
            conforming.push_back(ScanHeader{0, band, band * 63, al == 13 ? 0 : al + 1, al});
    // Sequential scans written three times: the codec decodes whole blocks each
    // time, although the headers claim a refinement.
    std::vector<ScanHeader> repeated;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) repeated.push_back(ScanHeader{c, 0, 63, 1, 0});
    {
        // Without the fixed allowance a decode may spend only the free visits,
        // which every conforming progression stays within.
        FixedAllowance none(0);
        for (TestJpeg::Color kind : {TestJpeg::Gray, TestJpeg::Rgb}) {
            TestJpeg::Options o;
            o.Width = 64;
            o.Height = 64;
            o.Kind = kind;
            o.Progressive = true;
            std::unique_ptr<LoadRun> run = RunLoad(TestJpeg::Make(o));
            EXPECT_EQ(run->node, S_OK) << "a real progressive file of kind " << kind;
        }
        EXPECT_EQ(RunLoad(EmptyScans(64, 64, 1, true, conforming))->node, S_OK) << "fourteen visits a coefficient";
        std::unique_ptr<LoadRun> run = RunLoad(dear);
        EXPECT_EQ(run->node, E_FAIL) << "scans past the work bound";
        ExpectFailedLoad(*run, "scans past the work bound");
        ASSERT_NE(run->Raster(), nullptr);
        EXPECT_EQ(run->Raster()->RowsDelivered(), 0);
        EXPECT_EQ(RunLoad(EmptyScans(64, 64, 3, false, repeated))->node, E_FAIL) << "three first passes";
    }
    ExpectNothingLeft("past the work bound");
    {
        std::unique_ptr<LoadRun> run = RunLoad(dear);
        EXPECT_EQ(run->node, S_OK) << "a small image within the fixed allowance";
    }
    ExpectNothingLeft("within the fixed allowance");
}

// A few header bytes that declare a huge image: neither the codec's
// whole-image buffers nor the host's raster may follow the claim.
TEST_F(HostileFileTest, HugeDeclaredImageFailsWithoutTakingTheMemory)
{
    TestJpeg::Options o;
    o.Width = 16;
    o.Height = 16;
    o.Progressive = true;
    const std::int64_t before = SystemProbe::PeakResidentBytes();
    {
        // Progressive: 65500 x 65500 coefficients would be some 12 GiB.
        std::unique_ptr<LoadRun> run = RunLoad(WithFrameSize(TestJpeg::Make(o), 65500, 65500));
        ASSERT_EQ(run->open, S_OK);
        EXPECT_EQ(run->node, E_OUTOFMEMORY) << "the host's refusal, before the codec takes any";
        ExpectFailedLoad(*run, "huge progressive frame");
        EXPECT_TRUE(run->Raster() == nullptr || !run->Raster()->HasStorage()) << "refused before any storage";
    }
    ExpectNothingLeft("after the huge progressive frame");
    {
        // Baseline needs no whole-image buffer: the host's raster limit refuses the storage.
        o.Progressive = false;
        std::unique_ptr<LoadRun> run = RunLoad(WithFrameSize(TestJpeg::Make(o), 65500, 65500));
        ASSERT_EQ(run->open, S_OK);
        EXPECT_EQ(run->node, E_OUTOFMEMORY) << "the host's refusal is passed on";
        ExpectFailedLoad(*run, "huge baseline frame");
        EXPECT_EQ(run->Raster()->RowsDelivered(), 0);
    }
    ExpectNothingLeft("after the huge baseline frame");
    EXPECT_LT(SystemProbe::PeakResidentBytes() - before, 256 << 20) << "bytes taken by a few header bytes";
}

TEST_F(HostileFileTest, ALowerCodecMemoryLimitIsKept)
{
    TestJpeg::Options o;
    o.Width = 1024;
    o.Height = 1024;
    o.Kind = TestJpeg::Gray;
    o.Progressive = true;
    const Bytes file = TestJpeg::Make(o); // 2 MiB of coefficients
    {
        CodecMemoryLimit limit("1m");
        std::unique_ptr<LoadRun> run = RunLoad(file);
        EXPECT_EQ(run->node, E_OUTOFMEMORY);
    }
    ExpectNothingLeft("under JPEGMEM=1m");
    {
        std::unique_ptr<LoadRun> run = RunLoad(file);
        EXPECT_EQ(run->node, S_OK);
    }
    ExpectNothingLeft("without JPEGMEM");
}

// EXIF links that loop back or run deep: the walk must end, the load complete.
TEST_F(HostileFileTest, ExifCyclesAndDeepChainsLoad)
{
    TestJpeg::Options o;
    o.Width = 16;
    o.Height = 16;
    o.JfifMarker = false;
    const Bytes image = TestJpeg::Make(o);

    ExifBuilder cycle;
    const int sub = cycle.AddDirectory();
    cycle.AddAscii(0, 0x010F, "Cycle").AddLink(0, 0x8769, sub).SetNext(0, 0);
    cycle.AddShort(sub, 0x8827, 200).AddLink(sub, 0x8769, 0).AddLink(sub, 0xA005, sub).SetNext(sub, sub);

    ExifBuilder deepNext(true);
    ExifBuilder deepLinks;
    int previousNext = 0, previousLink = 0;
    deepNext.AddAscii(0, 0x010F, "Chain");
    deepLinks.AddAscii(0, 0x010F, "Nested");
    for (int i = 0; i < 1000; ++i) {
        const int n = deepNext.AddDirectory();
        deepNext.AddShort(n, 0x0112, static_cast<uint16_t>(1 + i % 8)).SetNext(previousNext, n);
        previousNext = n;
        const int l = deepLinks.AddDirectory();
        deepLinks.AddShort(l, 0x8827, 100).AddLink(previousLink, 0x8769, l);
        previousLink = l;
    }
    struct Case {
        const char* what;
        Bytes payload;
    };
    const Case cases[] = {{"a sub-directory linking back to IFD0 and to itself", cycle.Payload()},
                          {"1000 directories chained by next links", deepNext.Payload()},
                          {"1000 directories nested by sub-directory links", deepLinks.Payload()}};
    for (const Case& c : cases) {
        ASSERT_LT(c.payload.size(), 65533u) << c.what;
        const Bytes file = ExifBuilder::InsertAfterSoi(image, ExifBuilder::App1(c.payload));
        {
            std::unique_ptr<LoadRun> run = RunLoad(file);
            const TestJpeg::Decoded reference = TestJpeg::Decode(file);
            ExpectCompleteLoad(*run, &reference, c.what);
            EXPECT_TRUE(run->document->HasAttribute("SummaryInformation")) << c.what;
            const KwHostAttributeEntry* format = run->document->FindAttribute("Format");
            ASSERT_NE(format, nullptr);
            EXPECT_EQ(format->Value.ValueText(), "JPEG (Exif)") << c.what;
        }
        ExpectNothingLeft(c.what);
    }
}

// Section length fields of 0, 1 (below their own size), 2 (empty) and 65535
// (the largest, whole or running past the end of the file).
TEST_F(HostileFileTest, SectionLengthsAtTheEdges)
{
    const Bytes image = SmallRgbFile(16, 16);
    for (int length : {0, 1, 2, 3, 65535}) {
        for (bool first : {true, false}) {
            for (bool wholeBody : {true, false}) {
                if (length < 3 && !wholeBody) continue;
                Bytes section = {0xFF, 0xE2, static_cast<unsigned char>(length >> 8),
                                 static_cast<unsigned char>(length)};
                if (length > 2) section.insert(section.end(), static_cast<size_t>(wholeBody ? length - 2 : 1), 0x5A);
                Bytes file = image;
                // First: the segment the acceptance test measures; else after the JFIF segment.
                const size_t at = first ? 2 : 2 + 2 + ((image[4] << 8) | image[5]);
                file.insert(file.begin() + static_cast<long>(at), section.begin(), section.end());
                ExpectAgreesWithCodec(file, "length " + std::to_string(length) + (first ? " first" : " second") +
                                                (wholeBody ? "" : ", body cut short"));
            }
        }
    }
}

// A file cut at every offset: before the frame the load fails, inside the
// entropy data every row still arrives.
TEST_F(HostileFileTest, TruncatedAtEveryOffset)
{
    TestJpeg::Options progressive;
    progressive.Width = 24;
    progressive.Height = 24;
    progressive.Progressive = true;
    const Bytes baseline = SmallRgbFile(24, 16);
    for (const Bytes& file : {baseline, TestJpeg::Make(progressive)}) {
        const size_t scanData = TestJpeg::ScanDataOffset(file);
        ASSERT_GT(scanData, 0u);
        for (size_t keep = 0; keep <= file.size(); ++keep) {
            const Bytes cut = TestJpeg::Cut(file, keep);
            ExpectAgreesWithCodec(cut, "cut at " + std::to_string(keep));
            // A baseline file cut inside its one scan still gives every row
            // (a progressive file has tables between its scans).
            if (&file == &baseline && keep > scanData + 1) {
                const TestJpeg::Decoded decoded = TestJpeg::Decode(cut);
                EXPECT_TRUE(decoded.Ok) << "cut at " << keep << ": " << decoded.Error;
            }
            if (HasFailure()) return;
        }
    }
}

// Random damage with fixed seeds to small real photographs, baseline and
// progressive, and to a made image when no photograph is installed.
TEST_F(HostileFileTest, RandomDamageOfPhotographs)
{
    // Damage can make the frame claim a huge image; keep what it may take small.
    CodecMemoryLimit limit("64m");
    engine->SetMaxRasterPixels(1u << 22);
    std::vector<Bytes> originals;
    for (bool progressive : {false, true}) {
        Bytes photo = SmallPhoto(96, 64, progressive);
        if (photo.empty()) {
            TestJpeg::Options o;
            o.Width = 96;
            o.Height = 64;
            o.Subsampling = TestJpeg::S420;
            o.Progressive = progressive;
            photo = TestJpeg::Make(o);
        }
        ASSERT_TRUE(TestJpeg::Decode(photo).Ok);
        originals.push_back(photo);
    }
    for (size_t f = 0; f < originals.size(); ++f) {
        std::mt19937 random(20240506u + static_cast<unsigned>(f));
        for (int variant = 0; variant < 150; ++variant) {
            Bytes damaged = originals[f];
            const int flips = 1 + static_cast<int>(random() % 8);
            for (int i = 0; i < flips; ++i) {
                const size_t at = random() % damaged.size();
                damaged[at] = static_cast<unsigned char>(random() % 4 == 0 ? 0xFF : random());
            }
            if (variant % 5 == 4) damaged.resize(damaged.size() / 2 + random() % (damaged.size() / 2));
            const std::string what = (f ? "progressive" : "baseline") + std::string(" variant ") +
                                     std::to_string(variant);
            std::int64_t width = 0, height = 0;
            FrameSize(damaged, &width, &height);
            if (width * height > (1 << 22)) {
                // Too large to hold against a full reference decode: only a clean, prompt end.
                {
                    std::unique_ptr<LoadRun> run = RunLoad(damaged);
                    EXPECT_TRUE(run->open != S_OK || run->node == S_OK || run->node == E_FAIL ||
                                run->node == E_OUTOFMEMORY)
                        << what;
                }
                ExpectNothingLeft(what);
                continue;
            }
            ExpectAgreesWithCodec(damaged, what);
            if (HasFailure()) return;
        }
    }
}
