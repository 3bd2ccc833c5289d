// Decoded rows against libjpeg's own decode with the same settings, for every
// kind of file; damaged files; files without an image we can take; and
// allocation failures during a load.
#include <algorithm>
#include <tuple>

#include "hostdouble/KwHostDouble.h"
#include "com/KwMemory.h"
#include "LoadFixture.h"

namespace {

struct DecodeCase {
    const char* name;
    TestJpeg::Options options;
};
void PrintTo(const DecodeCase& c, std::ostream* os) { *os << c.name; }

TestJpeg::Options Kind(TestJpeg::Color kind, int width, int height)
{
    TestJpeg::Options options;
    options.Kind = kind;
    options.Width = width;
    options.Height = height;
    return options;
}

std::vector<DecodeCase> Cases()
{
    std::vector<DecodeCase> cases;
    cases.push_back({"Gray100x10", Kind(TestJpeg::Gray, 100, 10)});
    cases.push_back({"GrayOdd", Kind(TestJpeg::Gray, 37, 23)});
    cases.push_back({"Rgb10x2", Kind(TestJpeg::Rgb, 10, 2)});
    for (TestJpeg::Sampling s : {TestJpeg::S444, TestJpeg::S422, TestJpeg::S420}) {
        TestJpeg::Options o = Kind(TestJpeg::Rgb, 37, 29);
        o.Subsampling = s;
        cases.push_back({s == TestJpeg::S444 ? "Rgb444" : s == TestJpeg::S422 ? "Rgb422" : "Rgb420", o});
    }
    for (TestJpeg::Color c : {TestJpeg::Cmyk, TestJpeg::Ycck}) {
        for (bool adobe : {true, false}) {
            TestJpeg::Options o = Kind(c, 21, 17);
            o.AdobeMarker = adobe;
            const char* name = c == TestJpeg::Cmyk ? (adobe ? "CmykAdobe" : "CmykPlain")
                                                   : (adobe ? "YcckAdobe" : "YcckPlain");
            cases.push_back({name, o});
        }
    }
    TestJpeg::Options o = Kind(TestJpeg::Rgb, 40, 33);
    o.Subsampling = TestJpeg::S420;
    o.Progressive = true;
    cases.push_back({"Progressive", o});
    o = Kind(TestJpeg::Gray, 40, 33);
    o.Progressive = true;
    cases.push_back({"ProgressiveGray", o});
    o = Kind(TestJpeg::Rgb, 40, 33);
    o.Arithmetic = true;
    cases.push_back({"Arithmetic", o});
    o.Progressive = true;
    cases.push_back({"ArithmeticProgressive", o});
    o = Kind(TestJpeg::Rgb, 64, 48);
    o.Subsampling = TestJpeg::S420;
    o.RestartInterval = 1;
    cases.push_back({"RestartEveryMcu", o});
    o.RestartInterval = 3;
    cases.push_back({"RestartEvery3", o});
    o = Kind(TestJpeg::Rgb, 30, 20);
    o.JfifMarker = false;
    cases.push_back({"NoJfif", o});
    o = Kind(TestJpeg::Rgb, 300, 200);
    o.Subsampling = TestJpeg::S420;
    cases.push_back({"Rgb300x200", o});
    return cases;
}

} // namespace

class DecodeTest : public LoadFixture, public ::testing::WithParamInterface<DecodeCase> {};

TEST_P(DecodeTest, RowsEqualLibjpegDecode)
{
    const Bytes file = TestJpeg::Make(GetParam().options);
    ASSERT_EQ(Open(file), S_OK);
    ASSERT_EQ(Load(), S_OK);
    ExpectRowsOfReference(file);
    KwHostRasterBlock* raster = Raster();
    ASSERT_NE(raster, nullptr);
    EXPECT_EQ(raster->Compression(), "JPEG");
    EXPECT_EQ(raster->DpiX(), 0);
    EXPECT_EQ(raster->DpiY(), 0);
    EXPECT_EQ(raster->EndObjectCalls(), 1u);
    const bool gray = GetParam().options.Kind == TestJpeg::Gray;
    if (gray) {
        ASSERT_EQ(raster->Palette().size(), 256u);
        for (LONG i = 0; i < 256; ++i) EXPECT_EQ(raster->Palette()[i], i * 0x010101) << i;
    } else {
        EXPECT_TRUE(raster->Palette().empty());
    }
    ASSERT_NE(NodeAttribute("BitsPerPixel"), nullptr);
    EXPECT_EQ(NodeAttribute("BitsPerPixel")->Value.Get().lVal, gray ? 8 : 24);
}

INSTANTIATE_TEST_SUITE_P(Kinds, DecodeTest, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<DecodeCase>& info) { return info.param.name; });

class DecodeEdgeTest : public LoadFixture {};

TEST_F(DecodeEdgeTest, ByteOrderOfRgb)
{
    // 10 x 2 RGB: stride 32, blue first, padding untouched by pixels (zero).
    TestJpeg::Options rgb = Kind(TestJpeg::Rgb, 10, 2);
    rgb.Quality = 100;
    rgb.Pixels.clear();
    for (int i = 0; i < 20; ++i) rgb.Pixels.insert(rgb.Pixels.end(), {10, 20, 30});
    const Bytes file = TestJpeg::Make(rgb);
    OpenAndLoad(file);
    TestJpeg::Decoded decoded = TestJpeg::Decode(file);
    ASSERT_EQ(Raster()->Stride(), 32);
    const unsigned char* row = Raster()->Row(1);
    EXPECT_EQ(row[0], decoded.Samples[2]);
    EXPECT_EQ(row[2], decoded.Samples[0]);
    EXPECT_EQ(row[30], 0);
    EXPECT_EQ(row[31], 0);
}

class InkTest : public LoadCaseTest<bool> {};

TEST_P(InkTest, CmykZeroIsWhiteWithoutTheAdobeMarkerAndBlackWithIt)
{
    const bool adobe = GetParam();
    TestJpeg::Options cmyk = Kind(TestJpeg::Cmyk, 8, 8);
    cmyk.Quality = 100;
    cmyk.AdobeMarker = adobe;
    cmyk.Pixels.assign(8 * 8 * 4, 0);
    const Bytes file = TestJpeg::Make(cmyk);
    TestJpeg::Decoded decoded = TestJpeg::Decode(file);
    ASSERT_EQ(decoded.Samples, Bytes(8 * 8 * 4, 0)) << "the codec gives the inks back exactly";
    OpenAndLoad(file);
    const unsigned char expected = adobe ? 0 : 255;
    for (int i = 0; i < 24; ++i) EXPECT_EQ(Raster()->Row(3)[i], expected) << i;
}

INSTANTIATE_TEST_SUITE_P(Adobe, InkTest, ::testing::Bool());

// Progressive or not; garbage in the entropy data (0), cut in it (1), or a
// fatal error after the last row: a second frame header behind the only scan (2).
class DamageTest : public LoadCaseTest<std::tuple<bool, int>> {};

TEST_P(DamageTest, DamagedFilesDeliverEveryRow)
{
    const bool progressive = std::get<0>(GetParam());
    const int damage = std::get<1>(GetParam());
    TestJpeg::Options options = Kind(TestJpeg::Rgb, 96, 80);
    options.Progressive = progressive;
    const Bytes whole = TestJpeg::Make(options);
    const size_t scan = TestJpeg::ScanDataOffset(whole);
    ASSERT_GT(scan, 0u);

    if (damage == 1) {
        // Cut in the middle of the entropy data; EndObject's answer is GetNode's result.
        const Bytes cut = TestJpeg::Cut(whole, scan + (whole.size() - scan) / 2);
        const HRESULT endResult = 0x00041234;
        KwHostDouble(context).Switches().EndObjectResult = endResult;
        ASSERT_EQ(Open(cut), S_OK);
        EXPECT_EQ(Load(), endResult);
        ExpectRowsOfReference(cut);
        EXPECT_EQ(NodeAttribute("Loaded")->Value.Get().boolVal, VARIANT_TRUE);
    } else if (damage == 2) {
        // The codec stops at the second frame header only after every row went over: a whole image, damage told.
        Bytes twoFrames = whole;
        const unsigned char sof0[] = {0xFF, 0xC0};
        const size_t frame = std::search(whole.begin(), whole.end(), sof0, sof0 + 2) - whole.begin();
        ASSERT_LT(frame + 4, whole.size());
        const size_t length = 2 + ((whole[frame + 2] << 8) | whole[frame + 3]);
        twoFrames.insert(twoFrames.end() - 2, whole.begin() + frame, whole.begin() + frame + length);
        OpenAndLoad(twoFrames);
        ExpectRowsOfReference(whole);
        ASSERT_NE(NodeAttribute("Damage"), nullptr);
        EXPECT_EQ(NodeAttribute("Damage")->Value.ValueText(), "Invalid JPEG file structure: two SOF markers");
    } else {
        // Garbage in the entropy data: warnings only.
        Bytes corrupt = whole;
        // Changed bytes never form a marker: no 0xFF is made or touched, nor the byte after one.
        for (size_t i = scan + 40; i < scan + 60 && i + 2 < corrupt.size(); ++i) {
            if (corrupt[i] == 0xFF || corrupt[i - 1] == 0xFF) continue;
            corrupt[i] ^= 0x5A;
            if (corrupt[i] == 0xFF) corrupt[i] = 0;
        }
        OpenAndLoad(corrupt);
        ExpectRowsOfReference(corrupt);
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, DamageTest, ::testing::Combine(::testing::Bool(), ::testing::Values(0, 1)));
INSTANTIATE_TEST_SUITE_P(AfterTheLastRow, DamageTest, ::testing::Values(std::make_tuple(false, 2)));

// Files without an image of ours: tables only; SOI and JFIF, then zeros; two components.
Bytes NoImageOfOurs(int which)
{
    if (which == 0) return TestJpeg::TablesOnly();
    if (which == 1) {
        Bytes noFrame = TestJpeg::Make(TestJpeg::Options());
        noFrame.resize(20 + 100, 0);
        return noFrame;
    }
    TestJpeg::Options two = Kind(TestJpeg::Raw, 16, 16);
    two.RawComponents = 2;
    return TestJpeg::Make(two);
}

class NoImageTest : public LoadCaseTest<int> {};

TEST_P(NoImageTest, NoImageOfOursFailsAfterTheRasterBlock)
{
    ASSERT_EQ(Open(NoImageOfOurs(GetParam()), "t.jpg"), S_OK);
    KwComPtr<IDispatch> node;
    EXPECT_EQ(Load(node.Receive()), E_FAIL);
    EXPECT_TRUE(node) << "the node is handed out whatever the result";
    ASSERT_EQ(RasterCount(), 1u);
    EXPECT_FALSE(Raster()->HasStorage());
    EXPECT_EQ(NodeAttribute("Loaded")->Value.Get().boolVal, VARIANT_FALSE);
    EXPECT_EQ(NodeAttribute("BitsPerPixel"), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Files, NoImageTest, ::testing::Range(0, 3));

namespace {
size_t g_failSize = 0;
unsigned long g_failNumber = 0;
unsigned long g_allocations = 0;
bool FailBySize(unsigned long, std::size_t size) { return size == g_failSize; }
bool FailByNumber(unsigned long number, std::size_t)
{
    g_allocations = number;
    return number == g_failNumber;
}
} // namespace

class AllocationSizeTest : public LoadCaseTest<size_t> {};

TEST_P(AllocationSizeTest, FailureEndsTheLoadAndALaterLoadSucceeds)
{
    ASSERT_EQ(Open(TestJpeg::Make(Kind(TestJpeg::Gray, 1001, 3))), S_OK);
    g_failSize = GetParam();
    KwSetAllocationHook(&FailBySize);
    KwComPtr<IDispatch> node;
    EXPECT_EQ(Load(node.Receive()), E_OUTOFMEMORY);
    EXPECT_TRUE(node);
    KwSetAllocationHook(nullptr);
    EXPECT_EQ(Raster()->RowsDelivered(), 0);
    EXPECT_EQ(Load(), S_OK);
}

// The gray palette (1024 bytes) and the row buffers (stride 1004 for 1001 gray pixels).
INSTANTIATE_TEST_SUITE_P(PaletteAndRows, AllocationSizeTest, ::testing::Values(size_t(1024), size_t(1004)));

TEST_F(DecodeEdgeTest, EveryAllocationOfALoadFailsInTurn)
{
    // E_OUTOFMEMORY or a load that copes, never a leak (the fixture counts what
    // is left at the end). Of a new node, and of one made earlier (whose
    // "Loaded" is read).
    const Bytes file = TestJpeg::Make(Kind(TestJpeg::Rgb, 24, 16));
    for (bool nodeMade : {false, true}) {
        for (g_failNumber = 1;; ++g_failNumber) {
            KwComPtr<IKwFilter> fresh = NewFilter();
            KwComPtr<KwHostDocument> doc = NewDocument();
            KwComPtr<KwHostDataObject> data = Bind(file, "image.jpg");
            ASSERT_EQ(fresh->OpenDocument(data.Get(), doc.Get(), nullptr), S_OK);
            if (nodeMade) {
                ASSERT_EQ(fresh->GetNode(Empty(), VARIANT_FALSE, nullptr), S_OK);
            }
            g_allocations = 0;
            KwSetAllocationHook(&FailByNumber);
            const HRESULT hr = fresh->GetNode(Empty(), VARIANT_TRUE, nullptr);
            KwSetAllocationHook(nullptr);
            if (g_allocations < g_failNumber) {
                EXPECT_EQ(hr, S_OK);
                break;
            }
            EXPECT_TRUE(hr == S_OK || hr == E_OUTOFMEMORY) << nodeMade << " " << g_failNumber << ": " << std::hex << hr;
        }
        EXPECT_GE(g_failNumber, 4u) << "palette-free load still allocates its row buffers";
    }
}
