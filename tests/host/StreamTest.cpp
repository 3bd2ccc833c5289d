// Host streams and their switches: the reads and writes a filter sees when the
// storage is slow, short, failing or full, and the logs that show its request pattern.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "com/KwAutomation.h"
#include "com/KwComPtr.h"
#include "hostdouble/KwHostDouble.h"
#include "engine/KwHostEngine.h"
#include "engine/KwHostFileStream.h"
#include "engine/KwHostMemoryStream.h"

namespace {

std::vector<unsigned char> Counting(size_t n)
{
    std::vector<unsigned char> bytes(n);
    for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<unsigned char>(i * 7);
    return bytes;
}

HRESULT SeekTo(IStream* stream, LONGLONG offset, DWORD origin, ULONGLONG* position = nullptr)
{
    LARGE_INTEGER move;
    move.QuadPart = offset;
    ULARGE_INTEGER now;
    now.QuadPart = 0;
    HRESULT hr = stream->Seek(move, origin, &now);
    if (position) *position = now.QuadPart;
    return hr;
}

class KwHostStreamTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_LiveBefore = KwHostLiveObjects();
        std::vector<unsigned char> data = Counting(10000);
        ASSERT_EQ(S_OK, m_Engine.CreateMemoryStream(data.data(), data.size(), m_Stream.Receive()));
    }
    void TearDown() override
    {
        m_Stream.Reset();
        EXPECT_EQ(m_LiveBefore, KwHostLiveObjects());
    }

    // Reads in requests of 4096 bytes until a read delivers nothing; the delivered counts.
    static std::vector<ULONG> Drain(IStream* stream)
    {
        std::vector<ULONG> counts;
        std::vector<unsigned char> buffer(4096);
        for (int i = 0; i < 20; ++i) {
            ULONG n = 12345;
            stream->Read(buffer.data(), 4096, &n);
            counts.push_back(n);
            if (n == 0) break;
        }
        return counts;
    }

    KwHostEngine m_Engine;
    KwComPtr<KwHostMemoryStream> m_Stream;
    LONG m_LiveBefore = 0;
};

TEST_F(KwHostStreamTest, MemoryStreamReadsSeeksAndReportsItsSize)
{
    std::vector<unsigned char> buffer(30);
    ULONG n = 0;
    EXPECT_EQ(S_OK, m_Stream->Read(buffer.data(), 30, &n));
    EXPECT_EQ(30u, n);
    EXPECT_EQ(Counting(30), buffer);
    EXPECT_EQ(30u, m_Stream->Position());

    ULONGLONG position = 0;
    EXPECT_EQ(S_OK, SeekTo(m_Stream.Get(), -10, STREAM_SEEK_END, &position));
    EXPECT_EQ(9990u, position);
    EXPECT_EQ(S_FALSE, m_Stream->Read(buffer.data(), 30, &n)) << "a read cut by the end";
    EXPECT_EQ(10u, n);
    EXPECT_EQ(S_FALSE, m_Stream->Read(buffer.data(), 30, &n));
    EXPECT_EQ(0u, n);
    EXPECT_EQ(S_OK, SeekTo(m_Stream.Get(), 5, STREAM_SEEK_SET, &position));
    EXPECT_EQ(S_OK, SeekTo(m_Stream.Get(), 5, STREAM_SEEK_CUR, &position));
    EXPECT_EQ(10u, position);
    EXPECT_EQ(STG_E_INVALIDFUNCTION, SeekTo(m_Stream.Get(), -11, STREAM_SEEK_CUR));
    EXPECT_EQ(STG_E_INVALIDFUNCTION, SeekTo(m_Stream.Get(), 0, 7));
    EXPECT_EQ(10u, m_Stream->Position()) << "a refused seek leaves the position";
    EXPECT_EQ(S_OK, SeekTo(m_Stream.Get(), 20000, STREAM_SEEK_SET)) << "past the end is allowed";
    EXPECT_EQ(S_FALSE, m_Stream->Read(buffer.data(), 30, &n));
    EXPECT_EQ(0u, n);

    STATSTG stat;
    EXPECT_EQ(S_OK, m_Stream->Stat(&stat, STATFLAG_NONAME));
    EXPECT_EQ(10000u, stat.cbSize.QuadPart);
    EXPECT_EQ(static_cast<DWORD>(STGTY_STREAM), stat.type);
    EXPECT_EQ(nullptr, stat.pwcsName);
    m_Stream->SetName("photo.jpg");
    EXPECT_EQ(S_OK, m_Stream->Stat(&stat, STATFLAG_DEFAULT));
    ASSERT_NE(nullptr, stat.pwcsName);
    EXPECT_EQ("photo.jpg", KwHostVariant::Narrow(stat.pwcsName));
    CoTaskMemFree(stat.pwcsName);
    EXPECT_EQ(STG_E_INVALIDPOINTER, m_Stream->Stat(nullptr, STATFLAG_NONAME));
}

TEST_F(KwHostStreamTest, ReadLogShowsTheRequestPattern)
{
    EXPECT_EQ((std::vector<ULONG>{4096, 4096, 1808, 0}), Drain(m_Stream.Get()));
    EXPECT_EQ((std::vector<ULONG>{4096, 4096, 4096, 4096}), KwHostDouble(m_Stream).ReadRequests());
    ASSERT_EQ(4u, KwHostDouble(m_Stream).ReadLog().size());
    EXPECT_EQ(1808u, KwHostDouble(m_Stream).ReadLog()[2].Done);
    EXPECT_EQ(S_FALSE, KwHostDouble(m_Stream).ReadLog()[2].Result);
    EXPECT_EQ(10000u, KwHostDouble(m_Stream).BytesDelivered());
    EXPECT_EQ(4u, KwHostDouble(m_Engine).Log().Count("Read"));
    EXPECT_EQ("stream.Read(4096 bytes, 1808 read) -> S_FALSE", KwHostDouble(m_Engine).Log()[2].Text);
    EXPECT_TRUE(KwHostDouble(m_Engine).Log().Methods().empty()) << "stream calls are left out unless asked for";
}

TEST_F(KwHostStreamTest, ShortReadsAndAReadLimitCutWhatIsDelivered)
{
    KwHostDouble(m_Stream).Switches().MaxReadPerCall = 3000;
    EXPECT_EQ((std::vector<ULONG>{3000, 3000, 3000, 1000, 0}), Drain(m_Stream.Get()));
    EXPECT_EQ(S_OK, KwHostDouble(m_Stream).ReadLog()[0].Result) << "a read cut by the switch is not at the end";

    // A stream that stops delivering after 5000 bytes in total, as a broken connection does.
    std::vector<unsigned char> data = Counting(10000);
    KwComPtr<KwHostMemoryStream> broken;
    ASSERT_EQ(S_OK, m_Engine.CreateMemoryStream(data.data(), data.size(), broken.Receive()));
    KwHostDouble(broken).Switches().ReadLimitTotal = 5000;
    EXPECT_EQ((std::vector<ULONG>{4096, 904, 0}), Drain(broken.Get()));
    EXPECT_EQ(5000u, broken->Position());
}

TEST_F(KwHostStreamTest, ReadsFailAtAChosenCall)
{
    // The second read fails with no bytes, then reading goes on where it stopped.
    KwHostDouble(m_Stream).Switches().FailReadAtCall = 2;
    std::vector<unsigned char> buffer(4096);
    ULONG n = 0;
    EXPECT_EQ(S_OK, m_Stream->Read(buffer.data(), 100, &n));
    EXPECT_EQ(STG_E_READFAULT, m_Stream->Read(buffer.data(), 100, &n));
    EXPECT_EQ(0u, n);
    EXPECT_EQ(S_OK, m_Stream->Read(buffer.data(), 100, &n));
    EXPECT_EQ(100u, n);
    EXPECT_EQ(Counting(200)[100], buffer[0]);

    // A failing read that still delivers some bytes, and failures from a call on.
    KwHostDouble(m_Stream).Switches().FailReadAtCall = 4;
    KwHostDouble(m_Stream).Switches().FailReadCalls = 0;
    KwHostDouble(m_Stream).Switches().FailReadBytes = 10;
    KwHostDouble(m_Stream).Switches().FailReadResult = E_FAIL;
    EXPECT_EQ(E_FAIL, m_Stream->Read(buffer.data(), 100, &n));
    EXPECT_EQ(10u, n);
    EXPECT_EQ(E_FAIL, m_Stream->Read(buffer.data(), 100, &n));
    EXPECT_EQ(10u, n);
    EXPECT_EQ(220u, m_Stream->Position());

    // A null byte count is allowed; a null buffer is not.
    KwHostDouble(m_Stream).Switches().FailReadAtCall = 0;
    EXPECT_EQ(S_OK, m_Stream->Read(buffer.data(), 1, nullptr));
    EXPECT_EQ(STG_E_INVALIDPOINTER, m_Stream->Read(nullptr, 1, &n));
}

TEST_F(KwHostStreamTest, SeekAndStatCanBeMadeToFail)
{
    KwHostDouble(m_Stream).Switches().SeekResult = STG_E_INVALIDFUNCTION;
    KwHostDouble(m_Stream).Switches().StatResult = E_NOTIMPL;
    EXPECT_EQ(STG_E_INVALIDFUNCTION, SeekTo(m_Stream.Get(), 0, STREAM_SEEK_SET));
    STATSTG stat;
    EXPECT_EQ(E_NOTIMPL, m_Stream->Stat(&stat, STATFLAG_NONAME));
    EXPECT_EQ(0u, stat.cbSize.QuadPart);
    EXPECT_EQ(1u, KwHostDouble(m_Stream).SeekCount());
}

TEST_F(KwHostStreamTest, WritesGrowTheStreamAndCanBeCutOrFailed)
{
    KwComPtr<KwHostMemoryStream> out;
    ASSERT_EQ(S_OK, m_Engine.CreateMemoryStream(nullptr, 0, out.Receive()));
    std::vector<unsigned char> block = Counting(4096);
    ULONG n = 0;
    EXPECT_EQ(S_OK, out->Write(block.data(), 4096, &n));
    EXPECT_EQ(4096u, n);
    EXPECT_EQ(S_OK, out->Write(block.data(), 100, &n));
    EXPECT_EQ(4196u, out->Bytes().size());
    EXPECT_EQ(block[99], out->Bytes()[4195]);

    // Writing past the end fills the gap with zero bytes.
    ASSERT_EQ(S_OK, SeekTo(out.Get(), 10, STREAM_SEEK_END));
    EXPECT_EQ(S_OK, out->Write(block.data(), 1, &n));
    EXPECT_EQ(4207u, out->Bytes().size());
    EXPECT_EQ(0, out->Bytes()[4200]);

    // A stream that takes only 100 bytes of a write, then one that fails the next write.
    KwHostDouble(out).Switches().WriteAcceptMax = 100;
    EXPECT_EQ(STG_E_MEDIUMFULL, out->Write(block.data(), 4096, &n));
    EXPECT_EQ(100u, n);
    KwHostDouble(out).Switches().WriteAcceptMax = -1;
    KwHostDouble(out).Switches().FailWriteAtCall = 5;
    EXPECT_EQ(STG_E_WRITEFAULT, out->Write(block.data(), 4096, &n));
    EXPECT_EQ(0u, n);
    EXPECT_EQ(S_OK, out->Write(block.data(), 4, nullptr));
    EXPECT_EQ((std::vector<ULONG>{4096, 100, 1, 100, 0, 4}), KwHostDouble(out).WriteSizes());
    EXPECT_EQ(4096u, KwHostDouble(out).WriteLog()[3].Requested);

    // A size limit stands for a full disk.
    out->SetMaxSize(4400);
    EXPECT_EQ(STG_E_MEDIUMFULL, out->Write(block.data(), 4096, &n));
    EXPECT_EQ(0u, n);

    ULARGE_INTEGER size;
    size.QuadPart = 10;
    EXPECT_EQ(S_OK, out->SetSize(size));
    EXPECT_EQ(10u, out->Bytes().size());
}

TEST_F(KwHostStreamTest, FileStreamsReadWriteAndName)
{
    std::string path = std::string(KW_TEST_BINARY_DIR) + "/host-stream-test.bin";
    std::remove(path.c_str());
    KwComPtr<KwHostFileStream> missing;
    EXPECT_EQ(STG_E_FILENOTFOUND, m_Engine.OpenFileStream(path, KwHostFileMode::Read, missing.Receive()));
    EXPECT_FALSE(missing);
    EXPECT_EQ(STG_E_PATHNOTFOUND, m_Engine.OpenFileStream(path + ".d/x", KwHostFileMode::Write, missing.Receive()));

    std::vector<unsigned char> data = Counting(5000);
    {
        KwComPtr<KwHostFileStream> out;
        ASSERT_EQ(S_OK, m_Engine.OpenFileStream(path, KwHostFileMode::Write, out.Receive()));
        ULONG n = 0;
        EXPECT_EQ(S_OK, out->Write(data.data(), 4096, &n));
        EXPECT_EQ(S_OK, out->Write(data.data() + 4096, 904, &n));
        std::vector<unsigned char> buffer(10);
        EXPECT_EQ(STG_E_ACCESSDENIED, out->Read(buffer.data(), 10, &n)) << "opened for writing only";
        STATSTG stat;
        EXPECT_EQ(S_OK, out->Stat(&stat, STATFLAG_NONAME));
        EXPECT_EQ(5000u, stat.cbSize.QuadPart);
    }
    KwComPtr<KwHostFileStream> in;
    ASSERT_EQ(S_OK, m_Engine.OpenFileStream(path, KwHostFileMode::Read, in.Receive()));
    std::vector<unsigned char> back(6000);
    ULONG n = 0;
    EXPECT_EQ(S_FALSE, in->Read(back.data(), 6000, &n));
    ASSERT_EQ(5000u, n);
    back.resize(5000);
    EXPECT_EQ(data, back);
    ASSERT_EQ(S_OK, SeekTo(in.Get(), 4999, STREAM_SEEK_SET));
    unsigned char last = 0;
    EXPECT_EQ(S_OK, in->Read(&last, 1, &n));
    EXPECT_EQ(data[4999], last);
    EXPECT_EQ(STG_E_ACCESSDENIED, in->Write(&last, 1, &n)) << "opened for reading only";
    STATSTG stat;
    EXPECT_EQ(S_OK, in->Stat(&stat, STATFLAG_DEFAULT));
    ASSERT_NE(nullptr, stat.pwcsName);
    EXPECT_EQ(path, KwHostVariant::Narrow(stat.pwcsName));
    CoTaskMemFree(stat.pwcsName);
    in.Reset();
    std::remove(path.c_str());
}

} // namespace
