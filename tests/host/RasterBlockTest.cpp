// Raster blocks as the load filter feeds them: storage with its parameters and
// palette copy, rows copied stride bytes each within bounds, every call logged,
// EndObject answering what the engine is told to answer; with a row sink, rows
// streamed on in order and nothing kept.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "com/KwAutomation.h"
#include "com/KwComPtr.h"
#include "hostdouble/KwHostDouble.h"
#include "engine/KwHostEngine.h"
#include "engine/KwHostRasterBlock.h"
#include "engine/KwHostRowSink.h"

namespace {

class KwHostRasterBlockTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_LiveBefore = KwHostLiveObjects();
        ASSERT_EQ(S_OK, KwHostRasterBlock::Create(m_Block.Receive(), m_Engine.Context()));
    }
    void TearDown() override
    {
        m_Block.Reset();
        EXPECT_EQ(m_LiveBefore, KwHostLiveObjects());
    }

    IKwRasterBlock* Block() { return m_Block.Get(); }
    HRESULT Storage(LONG width, LONG height, LONG bpp, LONG colors = 0, LONG* table = nullptr)
    {
        KwBstr compression = KwBstr::FromNarrow("JPEG");
        return Block()->CreateRasterStorage(width, height, bpp, 0, 0, compression.Get(), colors, table);
    }

    KwHostEngine m_Engine;
    KwComPtr<KwHostRasterBlock> m_Block;
    LONG m_LiveBefore = 0;
};

TEST_F(KwHostRasterBlockTest, StorageKeepsItsParametersAndACopyOfThePalette)
{
    std::vector<LONG> gray(256);
    for (LONG i = 0; i < 256; ++i) gray[static_cast<size_t>(i)] = i | (i << 8) | (i << 16);
    KwBstr compression = KwBstr::FromNarrow("JPEG");
    ASSERT_EQ(S_OK, Block()->CreateRasterStorage(100, 10, 8, 72, 96, compression.Get(), 256, gray.data()));
    gray.assign(256, 0); // the filter frees its palette right after the call

    EXPECT_EQ(100, m_Block->Width());
    EXPECT_EQ(10, m_Block->Height());
    EXPECT_EQ(8, m_Block->BitsPerPixel());
    EXPECT_EQ(72, m_Block->DpiX());
    EXPECT_EQ(96, m_Block->DpiY());
    EXPECT_EQ("JPEG", m_Block->Compression());
    EXPECT_EQ(100, m_Block->Stride());
    ASSERT_EQ(256u, m_Block->Palette().size());
    EXPECT_EQ(0x00808080, m_Block->Palette()[128]);

    std::vector<LONG> table(300, -1);
    LONG colors = 0;
    EXPECT_EQ(S_OK, Block()->GetColorTable(4, table.data(), &colors));
    EXPECT_EQ(256, colors);
    EXPECT_EQ(0x00030303, table[3]);
    EXPECT_EQ(-1, table[4]) << "no more than MaxColors entries are written";

    const KwHostCall& call = KwHostDouble(m_Engine).Log()[0];
    EXPECT_EQ("CreateRasterStorage", call.Method);
    EXPECT_EQ((std::vector<LONGLONG>{100, 10, 8, 72, 96, 256}), call.Args);
    EXPECT_EQ("JPEG", call.Name);

    EXPECT_EQ(E_UNEXPECTED, Storage(10, 10, 24)) << "one storage per block";
}

TEST_F(KwHostRasterBlockTest, StrideFollowsBitsPerPixelAndWidth)
{
    struct Case {
        LONG width, bpp, stride;
    } cases[] = {{10, 1, 4}, {33, 1, 8}, {3, 8, 4}, {10, 24, 32}, {5, 4, 4}, {9, 4, 8}, {3, 32, 12}};
    for (const Case& c : cases) {
        KwComPtr<KwHostRasterBlock> block;
        ASSERT_EQ(S_OK, KwHostRasterBlock::Create(block.Receive(), m_Engine.Context()));
        ASSERT_EQ(S_OK, block->CreateRasterStorage(c.width, 2, c.bpp, 0, 0, nullptr, 0, nullptr));
        EXPECT_EQ(c.stride, block->Stride()) << c.width << " x " << c.bpp;
    }
}

TEST_F(KwHostRasterBlockTest, InvalidStorageIsRefused)
{
    LONG palette[2] = {0, 0xFFFFFF};
    EXPECT_EQ(E_INVALIDARG, Storage(0, 10, 24));
    EXPECT_EQ(E_INVALIDARG, Storage(10, -1, 24));
    for (LONG bpp : {0, 2, 7, 16, 48}) EXPECT_EQ(E_INVALIDARG, Storage(10, 10, bpp)) << bpp;
    EXPECT_EQ(E_INVALIDARG, Storage(10, 10, 8, 257, palette));
    EXPECT_EQ(E_INVALIDARG, Storage(10, 10, 8, -1, palette));
    EXPECT_EQ(E_POINTER, Storage(10, 10, 8, 2, nullptr));
    EXPECT_FALSE(m_Block->HasStorage());

    // Above the pixel limit, or beyond what a row length holds: out of memory, nothing allocated.
    EXPECT_EQ(E_OUTOFMEMORY, Storage(65535, 65535, 24));
    m_Engine.SetMaxRasterPixels(99);
    EXPECT_EQ(E_OUTOFMEMORY, Storage(10, 10, 24));
    m_Engine.SetMaxRasterPixels(100);
    KwHostDouble(m_Engine).Switches().CreateRasterStorageResult = E_ACCESSDENIED;
    EXPECT_EQ(E_ACCESSDENIED, Storage(10, 10, 24));
    KwHostDouble(m_Engine).Switches().CreateRasterStorageResult = S_OK;
    EXPECT_EQ(S_OK, Storage(10, 10, 24));
}

TEST_F(KwHostRasterBlockTest, RowsAreCopiedStrideBytesEachAndLogged)
{
    ASSERT_EQ(S_OK, Storage(10, 3, 24));
    // A source with a longer line distance than the stride: only stride bytes are taken.
    std::vector<unsigned char> lines(2 * 40);
    for (size_t i = 0; i < lines.size(); ++i) lines[i] = static_cast<unsigned char>(i);
    EXPECT_EQ(S_OK, Block()->AddScanline1(KW_RASTER_RGB, 1, 2, 40, lines.data()));
    EXPECT_FALSE(m_Block->RowDelivered(0));
    EXPECT_TRUE(m_Block->RowDelivered(1));
    EXPECT_TRUE(m_Block->RowDelivered(2));
    EXPECT_EQ(2, m_Block->RowsDelivered());
    EXPECT_EQ(0, std::memcmp(m_Block->Row(1), lines.data(), 32));
    EXPECT_EQ(0, std::memcmp(m_Block->Row(2), lines.data() + 40, 32));
    EXPECT_EQ(0, m_Block->Row(0)[0]);
    EXPECT_EQ(nullptr, m_Block->Row(3));

    std::vector<unsigned char> back(32);
    EXPECT_EQ(S_OK, Block()->GetScanline(2, 32, back.data()));
    EXPECT_EQ(40, back[0]);
    EXPECT_EQ(E_INVALIDARG, Block()->GetScanline(2, 31, back.data()));
    EXPECT_EQ(E_INVALIDARG, Block()->GetScanline(3, 32, back.data()));
    LONG width = 0, height = 0, bpp = 0, rows = 0;
    EXPECT_EQ(S_OK, Block()->GetRasterInfo(&width, &height, &bpp, &rows));
    EXPECT_EQ(10, width);
    EXPECT_EQ(3, height);
    EXPECT_EQ(24, bpp);
    EXPECT_EQ(2, rows);

    ASSERT_EQ(1u, KwHostScanlineCalls(m_Block).size());
    const KwHostScanlineCall& logged = KwHostScanlineCalls(m_Block)[0];
    EXPECT_EQ(KW_RASTER_RGB, logged.DataType);
    EXPECT_EQ(1, logged.StartLine);
    EXPECT_EQ(2, logged.NoLines);
    EXPECT_EQ(40, logged.BytesPerLine);
    size_t at = KwHostDouble(m_Engine).Log().IndexOf("AddScanline1");
    ASSERT_LT(at, KwHostDouble(m_Engine).Log().Size());
    EXPECT_EQ((std::vector<LONGLONG>{KW_RASTER_RGB, 1, 2, 40}), KwHostDouble(m_Engine).Log()[at].Args);
}

TEST_F(KwHostRasterBlockTest, RowsOutsideTheImageOrOfTheWrongKindAreRefused)
{
    ASSERT_EQ(S_OK, Storage(100, 10, 8));
    std::vector<unsigned char> row(100, 7);
    // Nothing before storage exists elsewhere: this block has storage, so check bounds and kinds.
    EXPECT_EQ(E_INVALIDARG, Block()->AddScanline1(KW_RASTER_INDEX_8, 10, 1, 100, row.data()));
    EXPECT_EQ(E_INVALIDARG, Block()->AddScanline1(KW_RASTER_INDEX_8, -1, 1, 100, row.data()));
    EXPECT_EQ(E_INVALIDARG, Block()->AddScanline1(KW_RASTER_INDEX_8, 9, 2, 100, row.data()));
    EXPECT_EQ(E_INVALIDARG, Block()->AddScanline1(KW_RASTER_INDEX_8, 0x7FFFFFFF, 2, 100, row.data()));
    EXPECT_EQ(E_INVALIDARG, Block()->AddScanline1(KW_RASTER_INDEX_8, 0, -1, 100, row.data()));
    EXPECT_EQ(E_INVALIDARG, Block()->AddScanline1(KW_RASTER_INDEX_8, 0, 1, 99, row.data()))
        << "a line shorter than the stride would be read past its end";
    EXPECT_EQ(E_INVALIDARG, Block()->AddScanline1(KW_RASTER_RGB, 0, 1, 100, row.data())) << "24-bit rows into 8-bit";
    EXPECT_EQ(E_NOTIMPL, Block()->AddScanline1(KW_RASTER_RLC_16, 0, 1, 100, row.data()));
    EXPECT_EQ(E_POINTER, Block()->AddScanline1(KW_RASTER_INDEX_8, 0, 1, 100, nullptr));
    EXPECT_EQ(S_OK, Block()->AddScanline1(KW_RASTER_INDEX_8, 0, 0, 100, nullptr)) << "no lines, nothing read";
    EXPECT_EQ(0, m_Block->RowsDelivered());
    EXPECT_EQ(S_OK, Block()->AddScanline1(KW_RASTER_INDEX_8, 9, 1, 100, row.data()));
    EXPECT_EQ(1, m_Block->RowsDelivered());
    EXPECT_EQ(11u, KwHostScanlineCalls(m_Block).size()) << "refused calls are logged too";

    // After EndObject the block takes no more rows.
    EXPECT_EQ(S_OK, Block()->EndObject());
    EXPECT_TRUE(m_Block->Ended());
    EXPECT_EQ(E_UNEXPECTED, Block()->AddScanline1(KW_RASTER_INDEX_8, 0, 1, 100, row.data()));
}

TEST_F(KwHostRasterBlockTest, NoRowsWithoutStorageAndEndObjectAnswersTheSwitch)
{
    unsigned char row[4] = {};
    EXPECT_EQ(E_UNEXPECTED, Block()->AddScanline1(KW_RASTER_INDEX_8, 0, 1, 4, row));
    EXPECT_EQ(E_UNEXPECTED, Block()->GetScanline(0, 4, row));
    LONG colors = -1;
    EXPECT_EQ(S_OK, Block()->GetColorTable(0, nullptr, &colors));
    EXPECT_EQ(0, colors);

    KwHostDouble(m_Engine).Switches().EndObjectResult = E_ABORT;
    EXPECT_EQ(E_ABORT, Block()->EndObject());
    KwHostDouble(m_Engine).Switches().EndObjectResult = S_FALSE;
    EXPECT_EQ(S_FALSE, Block()->EndObject());
    EXPECT_EQ(2u, m_Block->EndObjectCalls());
    LONG type = 0;
    EXPECT_EQ(S_OK, Block()->get_BlockType(&type));
    EXPECT_EQ(KW_RASTER_BLOCK, type);
}

// What a row sink was given.
struct RecordingSink final : KwHostRowSink {
    HRESULT Begin(LONG width, LONG height, LONG bitsPerPixel, const std::vector<LONG>& palette) override
    {
        begun = {width, height, bitsPerPixel, static_cast<LONG>(palette.size())};
        return beginResult;
    }
    HRESULT Rows(LONG first, LONG count, const unsigned char* data, LONG bytesPerLine) override
    {
        for (LONG y = 0; y < count; ++y) {
            const unsigned char* row = data + static_cast<size_t>(y) * static_cast<size_t>(bytesPerLine);
            rows.push_back({first + y, std::vector<unsigned char>(row, row + stride)});
        }
        return rowsResult;
    }
    std::vector<LONG> begun;
    std::vector<std::pair<LONG, std::vector<unsigned char>>> rows;
    HRESULT beginResult = S_OK;
    HRESULT rowsResult = S_OK;
    LONG stride = 16;
};

// With a row sink the block keeps nothing and passes each band on, in order:
// a row out of order would be lost, so it is refused.
TEST_F(KwHostRasterBlockTest, StreamingBlockHandsRowsToTheSinkInOrder)
{
    auto sink = std::make_shared<RecordingSink>();
    m_Engine.SetRowSink(sink);
    ASSERT_EQ(S_OK, Storage(5, 4, 24));
    EXPECT_EQ((std::vector<LONG>{5, 4, 24, 0}), sink->begun);
    EXPECT_TRUE(m_Block->HasStorage());
    EXPECT_TRUE(m_Block->Streaming());
    EXPECT_EQ(nullptr, m_Block->Row(0)) << "no rows are kept";

    std::vector<unsigned char> lines(3 * 20);
    for (size_t i = 0; i < lines.size(); ++i) lines[i] = static_cast<unsigned char>(i);
    EXPECT_EQ(S_OK, Block()->AddScanline1(KW_RASTER_RGB, 0, 2, 20, lines.data()));
    EXPECT_EQ(E_INVALIDARG, Block()->AddScanline1(KW_RASTER_RGB, 3, 1, 20, lines.data())) << "a gap";
    EXPECT_EQ(E_INVALIDARG, Block()->AddScanline1(KW_RASTER_RGB, 1, 1, 20, lines.data())) << "going back";
    EXPECT_EQ(S_OK, Block()->AddScanline1(KW_RASTER_RGB, 2, 2, 20, lines.data() + 20));
    ASSERT_EQ(4u, sink->rows.size());
    for (LONG y = 0; y < 4; ++y) EXPECT_EQ(y, sink->rows[static_cast<size_t>(y)].first);
    EXPECT_EQ(20, sink->rows[1].second[0]);
    EXPECT_EQ(40, sink->rows[3].second[0]);
    EXPECT_EQ(4, m_Block->RowsDelivered());
    EXPECT_TRUE(m_Block->RowDelivered(3));
    LONG height = 0, delivered = 0;
    EXPECT_EQ(S_OK, Block()->GetRasterInfo(nullptr, &height, nullptr, &delivered));
    EXPECT_EQ(4, delivered);
    unsigned char row[16];
    EXPECT_EQ(E_UNEXPECTED, Block()->GetScanline(0, 16, row)) << "nothing to read back";
    EXPECT_EQ(E_UNEXPECTED, Storage(5, 4, 24)) << "storage once";
}

TEST_F(KwHostRasterBlockTest, SinkFailuresFailTheCallThatMetThem)
{
    auto sink = std::make_shared<RecordingSink>();
    m_Engine.SetRowSink(sink);
    sink->beginResult = STG_E_ACCESSDENIED;
    EXPECT_EQ(STG_E_ACCESSDENIED, Storage(5, 4, 24));
    EXPECT_FALSE(m_Block->HasStorage());

    sink->beginResult = S_OK;
    sink->rowsResult = STG_E_MEDIUMFULL;
    ASSERT_EQ(S_OK, Storage(5, 4, 24));
    std::vector<unsigned char> line(16);
    EXPECT_EQ(STG_E_MEDIUMFULL, Block()->AddScanline1(KW_RASTER_RGB, 0, 1, 16, line.data()));
    EXPECT_EQ(0, m_Block->RowsDelivered()) << "a row the sink did not take is not delivered";
}

} // namespace
