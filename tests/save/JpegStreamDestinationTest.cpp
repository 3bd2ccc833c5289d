// What the host's stream sees of the compressed bytes: 4096-byte blocks as soon
// as they are full, the remainder at the end, at the stream's own position, and
// a short write turned into the codec's write error and one "JPEG Error" box.
#include <gtest/gtest.h>

#include <random>

#include "codec/JpegStreamDestination.h"
#include "hostdouble/KwHostDouble.h"
#include "SaveTestSupport.h"

namespace {

// Feeds `count` bytes to the destination exactly as the codec's byte emitter does.
std::vector<ULONG> WritesFor(size_t count, const Bytes& prefix, Bytes* streamBytes)
{
    SaveSession session(prefix);
    jpeg_error_mgr err;
    jpeg_compress_struct cinfo;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    InstallStreamDestination(&cinfo, static_cast<IStream*>(session.stream.Get()));
    cinfo.dest->init_destination(&cinfo);
    for (size_t i = 0; i < count; ++i) {
        *cinfo.dest->next_output_byte++ = static_cast<JOCTET>(i * 7);
        if (--cinfo.dest->free_in_buffer == 0) cinfo.dest->empty_output_buffer(&cinfo);
    }
    cinfo.dest->term_destination(&cinfo);
    jpeg_destroy_compress(&cinfo);
    *streamBytes = session.Output();
    return KwHostDouble(session.stream).WriteSizes();
}

// Noise does not compress: a 128 x 128 image gives several blocks, an 8 x 8 one a single write.
void SendNoise(IKwSaveRasterData* raster, LONG size)
{
    std::mt19937 random(7);
    Bytes row(static_cast<size_t>(size) * 3);
    ASSERT_EQ(raster->CreateRasterStorage(size, size, 24, 0, 0, nullptr, 0, nullptr), S_OK);
    for (LONG y = 0; y < size; ++y) {
        for (unsigned char& b : row) b = static_cast<unsigned char>(random());
        ASSERT_EQ(raster->AddScanline1(KW_RASTER_RGB, y, 1, size * 3, row.data()), S_OK);
    }
}

} // namespace

TEST(JpegStreamDestination, WritesFullBlocksThenTheRemainderAtTheStreamPosition)
{
    const Bytes prefix = {'K', 'W', 0, 1};
    const struct {
        size_t count;
        std::vector<ULONG> writes;
    } cases[] = {{10000, {4096, 4096, 1808}}, {8192, {4096, 4096}}, {4095, {4095}}, {0, {}}};
    for (const auto& c : cases) {
        Bytes stored;
        EXPECT_EQ(WritesFor(c.count, prefix, &stored), c.writes) << c.count;
        ASSERT_EQ(stored.size(), prefix.size() + c.count);
        EXPECT_TRUE(std::equal(prefix.begin(), prefix.end(), stored.begin()));
        for (size_t i = 0; i < c.count; ++i)
            ASSERT_EQ(stored[prefix.size() + i], static_cast<unsigned char>(i * 7)) << i;
    }
}

TEST(JpegStreamDestination, EncodeReachesTheStreamOnlyAtEndObjectInBlocks)
{
    MessageBoxCapture boxes;
    SaveSession session(Bytes{'x'});
    SendNoise(session.raster.Get(), 128);
    EXPECT_TRUE(KwHostDouble(session.stream).WriteLog().empty());
    ASSERT_EQ(session.raster->EndObject(), S_OK);
    std::vector<ULONG> writes = KwHostDouble(session.stream).WriteSizes();
    ASSERT_GE(writes.size(), 2u);
    for (size_t i = 0; i + 1 < writes.size(); ++i) EXPECT_EQ(writes[i], 4096u);
    EXPECT_GT(writes.back(), 0u);
    EXPECT_LE(writes.back(), 4096u);
    Bytes output = session.Output();
    EXPECT_EQ(output[0], 'x');
    EXPECT_TRUE(DecodeJpeg(Bytes(output.begin() + 1, output.end())).ok);
    EXPECT_TRUE(boxes.calls.empty());
}

TEST(JpegStreamDestination, ShortWriteShowsOneJpegErrorBoxAndFailsEndObject)
{
    const struct {
        const char* what;
        LONG size;
        LONGLONG acceptMax;
        ULONG failAtCall;
    } cases[] = {
        {"a full block accepted in part", 128, 100, 0},
        {"a full block failing without a count", 128, -1, 1},
        {"the final remainder accepted in part", 8, 100, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MessageBoxCapture boxes;
        SaveSession session;
        SendNoise(session.raster.Get(), c.size);
        KwHostDouble(session.stream).Switches().WriteAcceptMax = c.acceptMax;
        KwHostDouble(session.stream).Switches().FailWriteAtCall = c.failAtCall;
        EXPECT_EQ(session.raster->EndObject(), E_FAIL);
        ASSERT_EQ(boxes.calls.size(), 1u);
        EXPECT_EQ(boxes.calls[0].caption, "JPEG Error");
        EXPECT_EQ(boxes.calls[0].text, "Output file write error --- out of disk space?");
        EXPECT_EQ(boxes.calls[0].type, static_cast<UINT>(MB_OK));
        // The encode ended at the failing write; the object is done.
        size_t writes = KwHostDouble(session.stream).WriteLog().size();
        ASSERT_EQ(writes, 1u);
        EXPECT_EQ(KwHostDouble(session.stream).WriteLog()[0].Requested == 4096, c.size == 128);
        EXPECT_EQ(session.raster->EndObject(), E_FAIL);
        unsigned char line[4] = {};
        EXPECT_EQ(session.raster->AddScanline1(KW_RASTER_RGB, 0, 1, 4, line), E_FAIL);
        EXPECT_EQ(KwHostDouble(session.stream).WriteLog().size(), writes);
        EXPECT_EQ(boxes.calls.size(), 1u);
    }
}
