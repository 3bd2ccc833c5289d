// Host faults on the load path: every host call of a load failing in turn,
// every interface that a step queries for missing in turn, an abort at every
// progress event of a tall image, and each of the filter's own allocations
// failing in turn.
#include <cstring>

#include "common/ExifBuilder.h"
#include "hostdouble/KwHostDouble.h"
#include "com/KwMemory.h"
#include "ReliabilityFixture.h"

namespace {

// A failure code that no step produces by itself, so that where it surfaces
// tells which host result was passed on.
const HRESULT Injected = E_ACCESSDENIED;

// An EXIF colour file tall enough for progress events.
Bytes ExifFile()
{
    TestJpeg::Options o;
    o.Width = 40;
    o.Height = 130;
    o.JfifMarker = false;
    ExifBuilder exif;
    const int sub = exif.AddDirectory();
    exif.AddAscii(0, 0x010F, "Quarvenx").AddAscii(0, 0x0110, "QX-1").AddLink(0, 0x8769, sub);
    exif.AddRational(sub, 0x829A, 1, 125).AddShort(sub, 0x8827, 100);
    return ExifBuilder::InsertAfterSoi(TestJpeg::Make(o), ExifBuilder::App1(exif.Payload()));
}

Bytes GrayFile()
{
    TestJpeg::Options o;
    o.Width = 33;
    o.Height = 70;
    o.Kind = TestJpeg::Gray;
    return TestJpeg::Make(o);
}

// The allocation hook's state: the number to fail (0: none), and for each
// allocation of the run whether the decode made it (the stream had been sought
// back for the codec: after the section scan) and its size.
unsigned long g_failNumber = 0;
KwHostStream* g_stream = nullptr;
struct Allocation {
    bool decode;
    size_t size;
    bool string; // a name or value handed to the host
};
std::vector<Allocation> g_allocations;

bool CountOrFail(unsigned long number, std::size_t size)
{
    g_allocations.push_back({g_stream && KwHostDouble(g_stream).SeekCount() >= 2, size, KwAllocatingString()});
    return number == g_failNumber;
}

// 1 for the scanner's Seek, 2 for the codec's.
int SeekOrdinal(const std::vector<KwHostCall>& log, size_t index)
{
    int seeks = 0;
    for (size_t i = 0; i <= index; ++i)
        if (log[i].Method == "Seek") ++seeks;
    return seeks;
}

} // namespace

class LoadHostFaultTest : public ReliabilityTest {};

TEST_F(LoadHostFaultTest, EveryHostCallFailsInTurn)
{
    for (const Bytes& file : {ExifFile(), GrayFile()}) {
        const TestJpeg::Decoded reference = TestJpeg::Decode(file);
        ULONG calls = 0;
        {
            std::unique_ptr<LoadRun> clean = StartLoad(file);
            const ULONG before = KwHostDouble(*engine).CallCount();
            FinishLoad(*clean);
            calls = KwHostDouble(*engine).CallCount() - before;
            ExpectCompleteLoad(*clean, &reference, "without faults");
        }
        ASSERT_GT(calls, 20u);
        for (ULONG n = 1; n <= calls; ++n) {
            std::string what = "host call " + std::to_string(n);
            {
                std::unique_ptr<LoadRun> run = StartLoad(file);
                KwHostDouble(*engine).Log().Clear();
                KwHostDouble(*engine).Switches().FailCall(n, std::string(), Injected);
                FinishLoad(*run);
                KwHostDouble(*engine).Switches().FailCall(0);
                const std::vector<KwHostCall>& log = KwHostDouble(*engine).Log().Calls();
                size_t at = 0;
                while (at < log.size() && log[at].Result != Injected) ++at;
                ASSERT_LT(at, log.size()) << what << ": no call failed";
                const KwHostCall& failed = log[at];
                const std::string& m = failed.Method;
                what += " (" + failed.Object + "." + m + " " + failed.Name + ")";

                if (m == "Storage" || m == "Stat" || (m == "CreateChild" && failed.Object == "document")) {
                    EXPECT_EQ(run->open, E_FAIL) << what;
                } else if (m == "Read") {
                    // The stream sweeps check each read; here only the bounds of the outcome.
                    EXPECT_TRUE(run->open == S_OK || run->open == E_FAIL) << what;
                    if (run->open == S_OK) {
                        EXPECT_TRUE(run->node == S_OK || run->node == E_FAIL) << what;
                    }
                    if (run->node == S_OK) {
                        ExpectCompleteLoad(*run, nullptr, what);
                    }
                } else if (m == "CreateChild" || (m == "Seek" && SeekOrdinal(log, at) == 2)) {
                    // The node or the raster block refused, or the codec reading from the wrong place.
                    ASSERT_EQ(run->open, S_OK) << what;
                    EXPECT_EQ(run->node, E_FAIL) << what;
                    ExpectFailedLoad(*run, what);
                } else if (m == "CreateRasterStorage" || m == "EndObject") {
                    // Passed on unchanged.
                    ASSERT_EQ(run->open, S_OK) << what;
                    EXPECT_EQ(run->node, Injected) << what;
                    if (m == "CreateRasterStorage") ExpectFailedLoad(*run, what);
                } else if (m == "AddScanline1") {
                    // Not examined: the load goes on and completes without that row.
                    ASSERT_EQ(run->node, S_OK) << what;
                    EXPECT_TRUE(run->Loaded()) << what;
                    EXPECT_EQ(run->Raster()->RowsDelivered(), run->Raster()->Height() - 1) << what;
                } else if (m == "PutAttribute" && failed.Name == "Loaded" && failed.Object != "document") {
                    // The host did not store the mark; the load itself completed.
                    EXPECT_EQ(run->node, S_OK) << what;
                    EXPECT_EQ(run->Raster()->RowsDelivered(), run->Raster()->Height()) << what;
                } else {
                    // PutAttribute, StorageName, GetChild, the scanner's Seek: not
                    // examined, or tolerated; the image is the file's.
                    ASSERT_EQ(run->open, S_OK) << what;
                    ExpectCompleteLoad(*run, &reference, what);
                }
            }
            ExpectNothingLeft(what);
        }
    }
}

TEST_F(LoadHostFaultTest, EveryQueriedInterfaceMissingInTurn)
{
    struct Case {
        const char* what;
        LONG objectType;
        IID iid;
        HRESULT open;
        HRESULT node;
    };
    const Case cases[] = {
        {"stream without IStream", 0, IID_IStream, E_FAIL, E_FAIL},
        {"contents without IKwContents", KW_CONTENTS, IID_IKwContents, E_FAIL, E_FAIL},
        {"contents without IKwChildren", KW_CONTENTS, IID_IKwChildren, S_OK, E_FAIL},
        {"node without IKwContainer", KW_CONTAINER, IID_IKwContainer, S_OK, E_FAIL},
        {"node without IDispatch", KW_CONTAINER, IID_IDispatch, S_OK, E_NOINTERFACE},
        {"raster block without IKwRasterBlock", KW_RASTER_BLOCK, IID_IKwRasterBlock, S_OK, E_FAIL},
        // The EXIF collection cannot be filled: the EXIF attributes are skipped.
        {"attribute collection without IKwAttribute", KW_ATTRIBUTE, IID_IKwAttribute, S_OK, S_OK},
        // Without the node's attributes its "Loaded" state cannot be read.
        {"node without IKwAttribute", KW_CONTAINER, IID_IKwAttribute, S_OK, S_OK},
    };
    const Bytes file = ExifFile();
    const TestJpeg::Decoded reference = TestJpeg::Decode(file);
    for (const Case& c : cases) {
        {
            std::unique_ptr<LoadRun> run = StartLoad(file);
            KwHostDouble(*engine).Switches().Omit(c.objectType, c.iid);
            FinishLoad(*run);
            EXPECT_EQ(run->open, c.open) << c.what;
            if (run->open == S_OK) {
                EXPECT_EQ(run->node, c.node) << c.what;
                if (c.node == S_OK) {
                    ExpectCompleteLoad(*run, &reference, c.what);
                    if (c.objectType == KW_ATTRIBUTE) {
                        EXPECT_FALSE(run->document->HasAttribute("SummaryInformation")) << c.what;
                    }
                } else {
                    ExpectFailedLoad(*run, c.what);
                }
            }
            KwHostDouble(*engine).Switches().OmittedInterfaces.clear();
        }
        ExpectNothingLeft(c.what);
    }
}

TEST_F(LoadHostFaultTest, AbortAtEveryProgressEventOfATallImage)
{
    TestJpeg::Options o;
    o.Width = 8;
    o.Height = 1000;
    o.Kind = TestJpeg::Gray;
    const Bytes file = TestJpeg::Make(o);
    const TestJpeg::Decoded reference = TestJpeg::Decode(file);
    const LONG events = 1000 / 64;
    for (LONG k = 1; k <= events; ++k) {
        const std::string what = "abort at event " + std::to_string(k);
        {
            std::unique_ptr<LoadRun> run = StartLoad(file);
            // Any non-zero answer stops the load, not only VARIANT_TRUE.
            run->sink->AbortAt(static_cast<ULONG>(k), k % 2 ? VARIANT_TRUE : static_cast<VARIANT_BOOL>(1));
            FinishLoad(*run);
            ASSERT_EQ(run->node, E_ABORT) << what;
            EXPECT_TRUE(run->nodeHandedOut) << what;
            ExpectFailedLoad(*run, what);
            ASSERT_NE(run->Raster(), nullptr) << what;
            EXPECT_EQ(run->Raster()->RowsDelivered(), 64 * k) << what;
            EXPECT_EQ(run->sink->ProgressValues().size(), static_cast<size_t>(k)) << what;

            // The node stays unloaded, and the next load on the same filter completes.
            run->sink->AbortAt(0);
            VARIANT selector;
            VariantInit(&selector);
            EXPECT_EQ(run->filter->GetNode(selector, VARIANT_TRUE, nullptr), S_OK) << what;
            run->nodeHandedOut = true;
            run->node = S_OK;
            ExpectCompleteLoad(*run, &reference, what + ", then loaded again");
            EXPECT_EQ(run->Node()->RasterBlocks().size(), 2u) << what;
        }
        ExpectNothingLeft(what);
    }
}

TEST_F(LoadHostFaultTest, EachOwnAllocationFailsInTurn)
{
    for (const Bytes& file : {GrayFile(), ExifFile()}) {
        const TestJpeg::Decoded reference = TestJpeg::Decode(file);
        std::vector<Allocation> allocations;
        {
            std::unique_ptr<LoadRun> run = StartLoad(file);
            g_failNumber = 0;
            g_allocations.clear();
            g_stream = run->stream.Get();
            KwSetAllocationHook(&CountOrFail);
            FinishLoad(*run);
            KwSetAllocationHook(nullptr);
            allocations = g_allocations;
            ExpectCompleteLoad(*run, &reference, "without faults");
        }
        size_t decodeAllocations = 0;
        size_t scanAllocations = 0;
        for (const Allocation& a : allocations) {
            decodeAllocations += a.decode && !a.string ? 1 : 0;
            scanAllocations += !a.decode && !a.string ? 1 : 0;
        }
        // At least the decode rows; for gray also the palette.
        ASSERT_GE(decodeAllocations, reference.Components == 1 ? 2u : 1u);
        ASSERT_GT(scanAllocations, 0u) << "the scanner keeps sections too";

        for (size_t n = 1; n <= allocations.size(); ++n) {
            const Allocation& failing = allocations[n - 1];
            const std::string what = "allocation " + std::to_string(n) + " of " + std::to_string(allocations.size()) +
                                     " (" + std::to_string(failing.size) + " bytes" +
                                     (failing.string ? ", text)" : failing.decode ? ", decode)" : ", section scan)");
            {
                std::unique_ptr<LoadRun> run = StartLoad(file);
                g_failNumber = static_cast<unsigned long>(n);
                g_stream = run->stream.Get();
                KwSetAllocationHook(&CountOrFail);
                FinishLoad(*run);
                KwSetAllocationHook(nullptr);
                g_stream = nullptr;
                if (failing.string) {
                    // A name or value for the host: the call that needed it ends with E_OUTOFMEMORY.
                    EXPECT_TRUE(run->open == E_OUTOFMEMORY || run->node == E_OUTOFMEMORY) << what;
                } else if (failing.decode) {
                    ASSERT_EQ(run->open, S_OK) << what;
                    EXPECT_TRUE(run->nodeHandedOut) << what;
                    // Row buffers and the gray palette.
                    EXPECT_EQ(run->node, E_OUTOFMEMORY) << what;
                    ExpectFailedLoad(*run, what);
                } else {
                    // A section the scanner could not keep: the scan stops, the decode does not need it.
                    ASSERT_EQ(run->open, S_OK) << what;
                    EXPECT_TRUE(run->nodeHandedOut) << what;
                    ExpectCompleteLoad(*run, &reference, what);
                }
            }
            ExpectNothingLeft(what);
        }
    }
}
