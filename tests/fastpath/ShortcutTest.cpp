// The load and save paths' shortcuts: the CMYK conversion without a division,
// rows handed over without a copy (their padding zero), and working memory
// that does not grow with the image height.
#include <algorithm>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "load/CKwFilterJPEG.h"
#include "com/KwComObject.h"
#include "com/KwComPtr.h"
#include "engine/KwHostEngine.h"
#include "engine/KwHostLoad.h"
#include "engine/KwHostMemoryStream.h"
#include "com/KwMemory.h"
#include "codec/KwRowConversion.h"
#include "common/TestJpeg.h"

namespace {

using Bytes = std::vector<unsigned char>;

TEST(CmykConversion, DivisionByShiftMatchesTheQuotientForEveryProductOfTwoSamples)
{
    for (unsigned t = 0; t <= 255u * 255u; ++t) ASSERT_EQ(KwDivideBy255(t), t / 255u) << t;
}

TEST(CmykConversion, EveryInkAndBlackPairGivesTheTruncatedProduct)
{
    // One row holds every (ink, K) pair; the ink goes to C, M and Y at once, in
    // a different order for each, so that a swapped channel shows.
    const LONG width = 256 * 256;
    Bytes in(static_cast<size_t>(width) * 4), out(static_cast<size_t>(width) * 3 + 1, 0xEE);
    for (int ink = 0; ink < 256; ++ink) {
        for (int k = 0; k < 256; ++k) {
            unsigned char* p = &in[static_cast<size_t>(ink * 256 + k) * 4];
            p[0] = static_cast<unsigned char>(ink);
            p[1] = static_cast<unsigned char>(255 - ink);
            p[2] = static_cast<unsigned char>(ink ^ 0x5A);
            p[3] = static_cast<unsigned char>(k);
        }
    }
    // The whole row, and one whose last pixels are not a full group of eight.
    for (LONG converted : {width, width - 5})
    for (bool adobe : {false, true}) {
        std::fill(out.begin(), out.end(), 0xEE);
        KwConvertCmykRow(in.data(), out.data(), converted, adobe);
        EXPECT_EQ(out[static_cast<size_t>(converted) * 3], 0xEE) << "nothing written past the row";
        for (LONG x = 0; x < converted; ++x) {
            const unsigned char* p = &in[static_cast<size_t>(x) * 4];
            int c = p[0], m = p[1], y = p[2], k = p[3];
            if (adobe) {
                c = 255 - c;
                m = 255 - m;
                y = 255 - y;
                k = 255 - k;
            }
            const unsigned char* q = &out[static_cast<size_t>(x) * 3];
            ASSERT_EQ(q[0], (255 - y) * (255 - k) / 255) << "blue, pixel " << x << (adobe ? " (Adobe)" : "");
            ASSERT_EQ(q[1], (255 - m) * (255 - k) / 255) << "green, pixel " << x << (adobe ? " (Adobe)" : "");
            ASSERT_EQ(q[2], (255 - c) * (255 - k) / 255) << "red, pixel " << x << (adobe ? " (Adobe)" : "");
        }
    }
}

class FastPathLoad : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(engine.Start())); }
    void TearDown() override
    {
        KwSetAllocationHook(nullptr);
        engine.Stop();
    }

    // Loads file through a new filter; the result keeps the document tree.
    HRESULT Load(const Bytes& file, KwHostLoadResult* result)
    {
        KwComPtr<IKwFilter> filter;
        HRESULT hr = KwCreateComObject<CKwFilterJPEG>(nullptr, IID_IKwFilter, reinterpret_cast<void**>(filter.Receive()));
        if (FAILED(hr)) return hr;
        KwComPtr<KwHostMemoryStream> stream;
        hr = engine.CreateMemoryStream(file.data(), file.size(), stream.Receive());
        if (FAILED(hr)) return hr;
        return KwHostLoad(engine, filter.Get(), static_cast<IStream*>(stream.Get()), "image.jpg", result);
    }

    KwHostEngine engine;
};

TEST_F(FastPathLoad, RowsArriveAsTheCodecDecodesThemWithZeroPaddingForEveryPadWidth)
{
    // Widths 5 to 8 leave 1, 2, 3 and 0 padding bytes after 24-bit pixels, and
    // 3, 2, 1 and 0 after gray ones.
    for (TestJpeg::Color kind : {TestJpeg::Rgb, TestJpeg::Gray, TestJpeg::Cmyk}) {
        for (int width = 5; width <= 8; ++width) {
            TestJpeg::Options options;
            options.Kind = kind;
            options.Width = width;
            options.Height = 19;
            options.Subsampling = TestJpeg::S420;
            const Bytes file = TestJpeg::Make(options);
            const TestJpeg::Decoded decoded = TestJpeg::Decode(file);
            ASSERT_TRUE(decoded.Ok) << decoded.Error;
            int stride = 0;
            const Bytes expected = TestJpeg::HostRows(decoded, &stride);

            KwHostLoadResult result;
            ASSERT_EQ(Load(file, &result), S_OK) << "kind " << kind << ", width " << width;
            KwHostRasterBlock* raster = result.Raster();
            ASSERT_NE(raster, nullptr);
            ASSERT_EQ(raster->Stride(), stride);
            ASSERT_EQ(raster->RowsDelivered(), options.Height);
            for (LONG y = 0; y < options.Height; ++y)
                ASSERT_EQ(std::memcmp(raster->Row(y), &expected[static_cast<size_t>(y) * stride], stride), 0)
                    << "kind " << kind << ", width " << width << ", row " << y;
            result.Reset();
        }
    }
}

std::vector<size_t> g_sizes;
bool RecordSize(unsigned long, std::size_t size)
{
    g_sizes.push_back(size);
    return false;
}

TEST_F(FastPathLoad, NoFilterAllocationDependsOnTheImageHeight)
{
    struct Case {
        TestJpeg::Color kind;
        bool progressive;
    };
    for (const Case& c : {Case{TestJpeg::Rgb, false}, Case{TestJpeg::Rgb, true}, Case{TestJpeg::Gray, false},
                          Case{TestJpeg::Cmyk, false}}) {
        std::vector<std::vector<size_t>> sizes;
        for (int height : {16, 2048}) {
            TestJpeg::Options options;
            options.Kind = c.kind;
            options.Progressive = c.progressive;
            options.Width = 300;
            options.Height = height;
            const Bytes file = TestJpeg::Make(options);
            g_sizes.clear();
            KwHostLoadResult result;
            KwSetAllocationHook(&RecordSize);
            const HRESULT hr = Load(file, &result);
            KwSetAllocationHook(nullptr);
            ASSERT_EQ(hr, S_OK);
            ASSERT_EQ(result.Raster()->RowsDelivered(), height);
            result.Reset();
            std::sort(g_sizes.begin(), g_sizes.end());
            sizes.push_back(g_sizes);
        }
        EXPECT_FALSE(sizes[0].empty());
        // A progressive file's header carries tables fitted to its content, so
        // only the number of its header sections is the same.
        if (c.progressive) EXPECT_EQ(sizes[0].size(), sizes[1].size()) << "progressive";
        else EXPECT_EQ(sizes[0], sizes[1]) << "kind " << c.kind;
        // Nothing near a whole image: the largest is a few rows of 300 pixels.
        EXPECT_LT(sizes[1].back(), size_t(300) * 4 * 16) << "kind " << c.kind;
    }
}

} // namespace
