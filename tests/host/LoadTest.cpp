// The load driver and the event sink with the real load filter: the host calls
// arrive in the documented order, the raster block holds the decoded rows, a
// sink can stop the load, and every host object is released afterwards.
#include <gtest/gtest.h>

#include <cstring>

#include "load/CKwFilterJPEG.h"
#include "com/KwAutomation.h"
#include "com/KwComPtr.h"
#include "hostdouble/KwHostDouble.h"
#include "engine/KwHostEngine.h"
#include "engine/KwHostEventSink.h"
#include "engine/KwHostLoad.h"
#include "engine/KwHostMemoryStream.h"
#include "common/TestJpeg.h"

namespace {

class KwHostLoadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_LiveBefore = KwHostLiveObjects();
        ASSERT_EQ(S_OK, m_Engine.Start());
        ASSERT_EQ(S_OK, KwCreateComObject<CKwFilterJPEG>(nullptr, IID_IKwFilter,
                                                          reinterpret_cast<void**>(m_Filter.Receive())));
    }
    void TearDown() override
    {
        m_Result.Reset();
        m_Filter.Reset();
        m_Stream.Reset();
        m_Engine.Stop();
        EXPECT_EQ(m_LiveBefore, KwHostLiveObjects()) << "the filter released every host object";
    }

    IStream* Stream(const TestJpeg::Bytes& file)
    {
        EXPECT_EQ(S_OK, m_Engine.CreateMemoryStream(file.data(), file.size(), m_Stream.Receive()));
        return m_Stream.Get();
    }

    KwHostEngine m_Engine;
    KwComPtr<IKwFilter> m_Filter;
    KwComPtr<KwHostMemoryStream> m_Stream;
    KwHostLoadResult m_Result;
    LONG m_LiveBefore = 0;
};

TEST_F(KwHostLoadTest, HostCallsArriveInOrderAndTheRowsAreKept)
{
    TestJpeg::Options options;
    options.Width = 100;
    options.Height = 10;
    options.Kind = TestJpeg::Gray;
    TestJpeg::Bytes file = TestJpeg::Make(options);
    ASSERT_EQ(S_OK, KwHostLoad(m_Engine, m_Filter.Get(), Stream(file), "gray.jpg", &m_Result));
    EXPECT_EQ(S_OK, m_Result.OpenResult);
    EXPECT_EQ(S_OK, m_Result.NodeResult);
    EXPECT_TRUE(m_Result.NodeDispatch);

    std::vector<std::string> steps = KwHostDouble(m_Engine).Log().Steps();
    std::vector<std::string> withoutRows;
    for (const std::string& step : steps)
        if (step != "AddScanline1") withoutRows.push_back(step);
    EXPECT_EQ((std::vector<std::string>{"Storage", "StorageName(gray.jpg)", "PutAttribute(DocType)",
                                        "PutAttribute(Format)", "CreateChild(\"Contents\")",
                                        "PutAttribute(TotalNodes)", "GetChild(1)", "CreateChild(1)",
                                        "PutAttribute(NodeID)", "PutAttribute(Default)", "PutAttribute(Loaded)",
                                        "PutAttribute(Compression)", "CreateChild(\"\")",
                                        "CreateRasterStorage(JPEG)", "PutAttribute(BitsPerPixel)",
                                        "PutAttribute(LpiX)", "PutAttribute(LpiY)", "PutAttribute(Loaded)",
                                        "EndObject"}),
              withoutRows)
        << KwHostDouble(m_Engine).Log().Text();
    EXPECT_EQ(10u, KwHostDouble(m_Engine).Log().Count("AddScanline1"));

    KwHostRasterBlock* raster = m_Result.Raster();
    ASSERT_NE(nullptr, raster);
    EXPECT_EQ(100, raster->Width());
    EXPECT_EQ(8, raster->BitsPerPixel());
    EXPECT_EQ(256u, raster->Palette().size());
    EXPECT_TRUE(raster->Ended());
    int stride = 0;
    TestJpeg::Bytes expected = TestJpeg::HostRows(TestJpeg::Decode(file), &stride);
    ASSERT_EQ(stride, raster->Stride());
    for (LONG y = 0; y < raster->Height(); ++y)
        EXPECT_EQ(0, std::memcmp(expected.data() + y * stride, raster->Row(y), static_cast<size_t>(stride))) << y;
    EXPECT_EQ("JPEG", m_Result.Document->FindAttribute("Format")->Value.ValueText());
    EXPECT_EQ(VARIANT_TRUE, m_Result.Node()->FindAttribute("Loaded")->Value.Get().boolVal);
}

TEST_F(KwHostLoadTest, OpenOnlyAndStorageNameSwitches)
{
    TestJpeg::Options options;
    TestJpeg::Bytes file = TestJpeg::Make(options);
    KwHostLoadOptions load;
    load.GetNode = false;
    load.NameMode = KwHostNameMode::Empty;
    ASSERT_EQ(S_OK, KwHostLoad(m_Engine, m_Filter.Get(), Stream(file), load, &m_Result));
    EXPECT_EQ(E_FAIL, m_Result.NodeResult) << "GetNode was not called";
    EXPECT_NE(nullptr, m_Result.Contents());
    EXPECT_EQ(nullptr, m_Result.Node());
    EXPECT_EQ(0u, KwHostDouble(m_Engine).Log().Count("GetChild"));

    // A stream that is not JPEG is refused at OpenDocument.
    m_Result.Reset();
    const unsigned char text[40] = "not a JPEG file at all, just some text";
    EXPECT_EQ(E_FAIL, KwHostLoad(m_Engine, m_Filter.Get(), Stream(TestJpeg::Bytes(text, text + 40)), "a.jpg",
                                 &m_Result));
    EXPECT_EQ(E_FAIL, m_Result.OpenResult);
}

TEST_F(KwHostLoadTest, SinkSeesProgressAndCanStopTheLoad)
{
    TestJpeg::Options options;
    options.Width = 8;
    options.Height = 200;
    TestJpeg::Bytes file = TestJpeg::Make(options);

    KwComPtr<KwHostEventSink> sink;
    ASSERT_EQ(S_OK, KwHostEventSink::Create(sink.Receive(), m_Engine.Context()));
    ASSERT_EQ(S_OK, sink->Connect(m_Filter.Get()));
    EXPECT_NE(0u, sink->Cookie());
    // Abort with 1, not VARIANT_TRUE: any non-zero answer stops the load.
    sink->AbortAt(2, 1);
    EXPECT_EQ(E_ABORT, KwHostLoad(m_Engine, m_Filter.Get(), Stream(file), "tall.jpg", &m_Result));
    EXPECT_EQ((std::vector<LONG>{32, 64}), sink->ProgressValues());
    ASSERT_NE(nullptr, m_Result.Raster());
    EXPECT_EQ(128, m_Result.Raster()->RowsDelivered());
    EXPECT_FALSE(m_Result.Raster()->Ended());
    EXPECT_EQ("sink.Progress(64, abort 1) -> S_OK", KwHostDouble(m_Engine).Log().Lines().back());

    EXPECT_EQ(S_OK, sink->Disconnect(m_Filter.Get()));
    EXPECT_EQ(0u, sink->Cookie());
    EXPECT_EQ(S_FALSE, sink->Disconnect(m_Filter.Get()));

    // A sink that does not answer the events interface cannot connect.
    KwComPtr<KwHostEventSink> deaf;
    ASSERT_EQ(S_OK, KwHostEventSink::Create(deaf.Receive(), m_Engine.Context()));
    deaf->SetAnswersEvents(false);
    EXPECT_EQ(CONNECT_E_CANNOTCONNECT, deaf->Connect(m_Filter.Get()));
    EXPECT_EQ(0u, deaf->Cookie());
}

TEST(KwHostEventSinkTest, AnswersAbortAtTheChosenEvent)
{
    KwComPtr<KwHostEventSink> sink;
    ASSERT_EQ(S_OK, KwHostEventSink::Create(sink.Receive()));
    sink->AbortAt(3, VARIANT_TRUE);
    sink->AnswerEveryEvent(true, VARIANT_FALSE);
    std::vector<LONG> seen;
    sink->SetCallback([&](LONG progress, VARIANT_BOOL* abort) { seen.push_back(progress * 10 + (*abort ? 1 : 0)); });
    std::vector<VARIANT_BOOL> answers;
    for (LONG p : {10, 20, 30, 40}) {
        VARIANT_BOOL abort = 7; // overwritten by the answer
        EXPECT_EQ(S_OK, sink->Progress(p, &abort));
        answers.push_back(abort);
    }
    EXPECT_EQ((std::vector<VARIANT_BOOL>{VARIANT_FALSE, VARIANT_FALSE, VARIANT_TRUE, VARIANT_FALSE}), answers);
    EXPECT_EQ((std::vector<LONG>{100, 200, 301, 400}), seen);
    EXPECT_EQ(E_POINTER, sink->Progress(50, nullptr));
    sink->SetProgressResult(E_FAIL);
    VARIANT_BOOL abort = VARIANT_FALSE;
    EXPECT_EQ(E_FAIL, sink->Progress(60, &abort));

    // Without AnswerEveryEvent the sink leaves *Abort as the source set it.
    KwComPtr<KwHostEventSink> quiet;
    ASSERT_EQ(S_OK, KwHostEventSink::Create(quiet.Receive()));
    abort = 5;
    EXPECT_EQ(S_OK, quiet->Progress(1, &abort));
    EXPECT_EQ(5, abort);
}

} // namespace
