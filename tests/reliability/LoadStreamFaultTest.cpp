// Stream faults on the load path: a read that fails, comes back short or
// returns nothing, at every read call of the load of a small file; Stat and
// Seek failing. Each case ends with the documented result and nothing left alive.
#include "hostdouble/KwHostDouble.h"
#include "ReliabilityFixture.h"

namespace {

// Where each read call of a clean load falls: the acceptance test of
// OpenDocument, the section scanner, or the codec's stream source.
enum ReadPhase { Acceptance, Scanner, Source };

std::vector<ReadPhase> ReadPhases(const KwHostCallLog& log)
{
    std::vector<ReadPhase> phases;
    int seeks = 0;
    for (const KwHostCall& call : log.Calls()) {
        if (call.Object != "stream") continue;
        if (call.Method == "Seek") ++seeks;
        if (call.Method == "Read") phases.push_back(seeks == 0 ? Acceptance : seeks == 1 ? Scanner : Source);
    }
    return phases;
}

enum class ReadFault {
    Fails,      // the call fails and delivers nothing
    Short,      // the call succeeds with one byte
    StreamDies, // this call and every later one deliver nothing
};

const char* Name(ReadFault fault)
{
    return fault == ReadFault::Fails ? "fails" : fault == ReadFault::Short ? "short" : "stream dies";
}

} // namespace

class LoadStreamFaultTest : public ReliabilityTest {
protected:
    void SweepReads(const Bytes& file)
    {
        const TestJpeg::Decoded reference = TestJpeg::Decode(file);
        ASSERT_TRUE(reference.Ok);
        std::vector<ReadPhase> phases;
        {
            KwHostDouble(*engine).Log().Clear();
            std::unique_ptr<LoadRun> clean = RunLoad(file);
            ExpectCompleteLoad(*clean, &reference, "without faults");
            phases = ReadPhases(KwHostDouble(*engine).Log());
        }
        ExpectNothingLeft("after the clean load");
        ASSERT_GT(phases.size(), 3u);
        size_t firstSource = 0;
        while (firstSource < phases.size() && phases[firstSource] != Source) ++firstSource;
        ASSERT_LT(firstSource, phases.size());

        for (ReadFault fault : {ReadFault::Fails, ReadFault::Short, ReadFault::StreamDies}) {
            for (size_t i = 0; i < phases.size(); ++i) {
                const std::string what = std::string("read ") + std::to_string(i + 1) + " " + Name(fault);
                {
                    std::unique_ptr<LoadRun> run = StartLoad(file);
                    KwHostStreamSwitches& s = KwHostDouble(run->stream).Switches();
                    s.FailReadAtCall = static_cast<ULONG>(i + 1);
                    s.FailReadCalls = fault == ReadFault::StreamDies ? 0 : 1;
                    s.FailReadResult = fault == ReadFault::Fails ? STG_E_READFAULT : S_OK;
                    s.FailReadBytes = fault == ReadFault::Short ? 1 : 0;
                    FinishLoad(*run);
                    CheckOutcome(*run, phases[i], i == firstSource, fault, reference, what);
                }
                ExpectNothingLeft(what);
            }
        }
    }

    void CheckOutcome(const LoadRun& run, ReadPhase phase, bool firstSourceRead, ReadFault fault,
                      const TestJpeg::Decoded& reference, const std::string& what)
    {
        if (phase == Acceptance) {
            // Fewer than 30 header bytes: the file is not accepted.
            EXPECT_EQ(run.open, E_FAIL) << what;
            return;
        }
        ASSERT_EQ(run.open, S_OK) << what;
        EXPECT_TRUE(run.nodeHandedOut) << what;
        if (fault == ReadFault::StreamDies) {
            if (phase == Scanner || firstSourceRead) {
                // The codec gets no byte at all: "Empty input file", a fatal error.
                EXPECT_EQ(run.node, E_FAIL) << what;
                ExpectFailedLoad(run, what);
            } else {
                // Data that ends early is not a failure: every row still arrives.
                ExpectCompleteLoad(run, nullptr, what);
            }
            return;
        }
        if (phase == Scanner || fault == ReadFault::Short) {
            // The scanner's result is not examined and the source reads on from
            // where a short read stopped: the image is exactly the file's.
            ExpectCompleteLoad(run, &reference, what);
        } else if (firstSourceRead) {
            EXPECT_EQ(run.node, E_FAIL) << what;
            ExpectFailedLoad(run, what);
        } else {
            ExpectCompleteLoad(run, nullptr, what);
        }
    }
};

TEST_F(LoadStreamFaultTest, EveryReadOfABaselineLoadFailsIsShortOrEndsTheStream)
{
    SweepReads(SmallRgbFile(24, 16));
}

TEST_F(LoadStreamFaultTest, EveryReadOfAnExifLoadWithSeveralSourceBuffers)
{
    // Large enough for three 4096-byte refills; a COM and an EXIF section for the scanner.
    TestJpeg::Options o;
    o.Width = 96;
    o.Height = 80;
    o.Quality = 95;
    o.JfifMarker = false;
    Bytes file = TestJpeg::Make(o);
    const Bytes comment = {0xFF, 0xFE, 0x00, 0x06, 'n', 'o', 't', 'e'};
    const Bytes exif = {0xFF, 0xE1, 0x00, 0x16, 'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0,
                        0, 0, 0, 0, 0, 0};
    file.insert(file.begin() + 2, exif.begin(), exif.end());
    file.insert(file.begin() + 2, comment.begin(), comment.end());
    ASSERT_GT(file.size(), 8193u);
    SweepReads(file);
}

TEST_F(LoadStreamFaultTest, StatAndSeekFailures)
{
    const Bytes file = SmallRgbFile();
    const TestJpeg::Decoded reference = TestJpeg::Decode(file);
    {
        // Without the size the source cannot tell where the data ends: not accepted.
        std::unique_ptr<LoadRun> run = StartLoad(file);
        KwHostDouble(run->stream).Switches().StatResult = E_NOTIMPL;
        FinishLoad(*run);
        EXPECT_EQ(run->open, E_FAIL);
    }
    ExpectNothingLeft("after Stat failed");
    {
        // Seek's result is not examined: both reads start where the acceptance
        // test left the stream, the codec finds no start-of-image marker.
        std::unique_ptr<LoadRun> run = StartLoad(file);
        KwHostDouble(run->stream).Switches().SeekResult = STG_E_INVALIDFUNCTION;
        FinishLoad(*run);
        ASSERT_EQ(run->open, S_OK);
        EXPECT_EQ(run->node, E_FAIL);
        ExpectFailedLoad(*run, "every Seek failing");
    }
    ExpectNothingLeft("after every Seek failed");
    {
        // Only the scanner's Seek fails: the scan reads garbage, the decode is unharmed.
        std::unique_ptr<LoadRun> run = StartLoad(file);
        KwHostDouble(*engine).Switches().FailCall(1, "Seek", STG_E_INVALIDFUNCTION);
        FinishLoad(*run);
        KwHostDouble(*engine).Switches().FailCall(0);
        ExpectCompleteLoad(*run, &reference, "the first Seek failing");
    }
    ExpectNothingLeft("after the first Seek failed");
    {
        // Only the codec's Seek fails: it starts after the header the scanner read.
        std::unique_ptr<LoadRun> run = StartLoad(file);
        KwHostDouble(*engine).Switches().FailCall(2, "Seek", STG_E_INVALIDFUNCTION);
        FinishLoad(*run);
        KwHostDouble(*engine).Switches().FailCall(0);
        EXPECT_EQ(run->node, E_FAIL);
        ExpectFailedLoad(*run, "the second Seek failing");
    }
    ExpectNothingLeft("after the second Seek failed");
}
