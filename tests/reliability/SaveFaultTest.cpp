// Faults on the save path: a stream write that fails or comes back short at
// every write call of a save, and each of the filter's own allocations failing
// in turn. Each case ends with the documented result and nothing left alive.
#include <string>
#include <vector>

#include "save/CKwFilterSaveJPEG.h"
#include "com/KwComObject.h"
#include "common/KwMessageBoxHook.h"
#include "hostdouble/KwHostDouble.h"
#include "engine/KwHostSaveDriver.h"
#include "com/KwMemory.h"
#include "ReliabilityFixture.h"

namespace {

struct Boxes {
    std::vector<std::string> lines; // "caption: text"
};

int RecordBox(void* context, LPCSTR text, LPCSTR caption, UINT)
{
    static_cast<Boxes*>(context)->lines.push_back(std::string(caption) + ": " + text);
    return IDOK;
}

// Noise compresses badly: several 4096-byte blocks for a small image.
KwHostImage NoisyImage(LONG width, LONG height, LONG bits)
{
    KwHostImage image = KwHostImage::Make(width, height, bits);
    unsigned state = 12345;
    for (unsigned char& b : image.Pixels) {
        state = state * 1103515245u + 12345u;
        b = static_cast<unsigned char>(state >> 16);
    }
    return image;
}

unsigned long g_failNumber = 0;
unsigned long g_count = 0;

bool CountOrFail(unsigned long number, std::size_t)
{
    g_count = number;
    return number == g_failNumber;
}

} // namespace

class SaveFaultTest : public ReliabilityTest {
protected:
    void SetUp() override
    {
        ReliabilityTest::SetUp();
        KwSetMessageBoxHandler(&RecordBox, &boxes);
    }
    void TearDown() override
    {
        KwSetMessageBoxHandler(nullptr, nullptr);
        ReliabilityTest::TearDown();
    }

    // One save through the reference host's driver into a fresh memory stream.
    HRESULT Save(const KwHostImage& image, KwComPtr<KwHostMemoryStream>* out,
                 void (*prepare)(KwHostStreamSwitches&, ULONG), ULONG call, std::string* failedStep = nullptr)
    {
        KwComPtr<KwHostMemoryStream> stream;
        EXPECT_EQ(KwHostMemoryStream::Create(nullptr, 0, stream.Receive(), engine->Context()), S_OK);
        if (prepare) prepare(KwHostDouble(stream).Switches(), call);
        KwComPtr<IKwFilterSave> filter;
        HRESULT hr = KwCreateComObject<CKwFilterSaveJPEG>(nullptr, IID_IKwFilterSave,
                                                          reinterpret_cast<void**>(filter.Receive()));
        if (SUCCEEDED(hr)) {
            KwHostSaveDriver driver(engine->Context());
            hr = driver.Save(filter.Get(), static_cast<IStream*>(stream.Get()), image);
            if (failedStep) *failedStep = driver.FailedStep();
        } else if (failedStep) {
            *failedStep = "creating the filter";
        }
        *out = stream;
        return hr;
    }

    Boxes boxes;
};

TEST_F(SaveFaultTest, EveryWriteFailsOrComesBackShort)
{
    const KwHostImage image = NoisyImage(200, 150, 24);
    size_t writes = 0;
    {
        KwComPtr<KwHostMemoryStream> clean;
        ASSERT_EQ(Save(image, &clean, nullptr, 0), S_OK);
        writes = KwHostDouble(clean).WriteLog().size();
        EXPECT_TRUE(boxes.lines.empty());
    }
    ASSERT_GE(writes, 3u) << "the image must need several blocks";

    struct Fault {
        const char* what;
        void (*prepare)(KwHostStreamSwitches&, ULONG);
    };
    const Fault faults[] = {
        {"fails", [](KwHostStreamSwitches& s, ULONG k) { s.FailWriteAtCall = k; }},
        {"accepts nothing but succeeds",
         [](KwHostStreamSwitches& s, ULONG k) {
             s.FailWriteAtCall = k;
             s.FailWriteResult = S_OK;
         }},
        {"fails from here on",
         [](KwHostStreamSwitches& s, ULONG k) {
             s.FailWriteAtCall = k;
             s.FailWriteCalls = 0;
         }},
    };
    for (const Fault& fault : faults) {
        for (ULONG k = 1; k <= writes; ++k) {
            const std::string what = std::string("write ") + std::to_string(k) + " " + fault.what;
            boxes.lines.clear();
            {
                KwComPtr<KwHostMemoryStream> stream;
                std::string step;
                EXPECT_EQ(Save(image, &stream, fault.prepare, k, &step), E_FAIL) << what;
                EXPECT_EQ(step, "EndObject") << what;
                // The codec stops at the first write that falls short.
                EXPECT_EQ(KwHostDouble(stream).WriteLog().size(), k) << what;
                ASSERT_EQ(boxes.lines.size(), 1u) << what;
                EXPECT_EQ(boxes.lines[0], "JPEG Error: Output file write error --- out of disk space?") << what;
            }
            ExpectNothingLeft(what);
        }
    }
    // A stream that takes only part of every write: the first block already fails.
    for (LONGLONG accept : {0LL, 1LL, 100LL, 4095LL}) {
        const std::string what = "every write cut to " + std::to_string(accept) + " bytes";
        boxes.lines.clear();
        {
            KwComPtr<KwHostMemoryStream> stream;
            EXPECT_EQ(Save(image, &stream,
                           [](KwHostStreamSwitches& s, ULONG a) { s.WriteAcceptMax = static_cast<LONGLONG>(a); },
                           static_cast<ULONG>(accept)),
                      E_FAIL)
                << what;
            EXPECT_EQ(KwHostDouble(stream).WriteLog().size(), 1u) << what;
            EXPECT_EQ(boxes.lines.size(), 1u) << what;
        }
        ExpectNothingLeft(what);
    }
}

TEST_F(SaveFaultTest, EachOwnAllocationFailsInTurn)
{
    for (LONG bits : {1, 8, 24}) {
        const KwHostImage image = NoisyImage(37, 21, bits);
        unsigned long allocations = 0;
        {
            KwComPtr<KwHostMemoryStream> clean;
            g_failNumber = 0;
            KwSetAllocationHook(&CountOrFail);
            EXPECT_EQ(Save(image, &clean, nullptr, 0), S_OK);
            KwSetAllocationHook(nullptr);
            allocations = g_count;
        }
        // The filter, the structure, the raster object, its image and the encoder's row.
        ASSERT_GE(allocations, 5u);
        for (unsigned long n = 1; n <= allocations; ++n) {
            const std::string what = std::to_string(bits) + " bits, allocation " + std::to_string(n);
            {
                KwComPtr<KwHostMemoryStream> stream;
                std::string step;
                g_failNumber = n;
                KwSetAllocationHook(&CountOrFail);
                const HRESULT hr = Save(image, &stream, nullptr, 0, &step);
                KwSetAllocationHook(nullptr);
                EXPECT_EQ(hr, E_OUTOFMEMORY) << what << " failed at " << step;
                // Nothing is written before the encoder has its row.
                EXPECT_TRUE(stream->Bytes().empty()) << what;
                EXPECT_TRUE(boxes.lines.empty()) << what;
            }
            ExpectNothingLeft(what);
        }
    }
}

TEST_F(SaveFaultTest, EveryHostCallOfASaveFailsInTurn)
{
    const KwHostImage image = NoisyImage(150, 120, 24);
    ULONG calls = 0;
    {
        KwComPtr<KwHostMemoryStream> clean;
        const ULONG before = KwHostDouble(*engine).CallCount();
        ASSERT_EQ(Save(image, &clean, nullptr, 0), S_OK);
        calls = KwHostDouble(*engine).CallCount() - before;
    }
    ASSERT_GE(calls, 3u) << "Storage and the writes";
    for (ULONG n = 1; n <= calls; ++n) {
        std::string what = "host call " + std::to_string(n);
        boxes.lines.clear();
        {
            KwComPtr<KwHostMemoryStream> stream;
            std::string step;
            KwHostDouble(*engine).Log().Clear();
            KwHostDouble(*engine).Switches().FailCall(n, std::string(), E_ACCESSDENIED);
            const HRESULT hr = Save(image, &stream, nullptr, 0, &step);
            KwHostDouble(*engine).Switches().FailCall(0);
            const std::vector<KwHostCall>& log = KwHostDouble(*engine).Log().Calls();
            size_t at = 0;
            while (at < log.size() && log[at].Result != E_ACCESSDENIED) ++at;
            ASSERT_LT(at, log.size()) << what << ": no call failed";
            what += " (" + log[at].Object + "." + log[at].Method + ")";
            if (log[at].Method == "Storage") {
                // No stream to write to.
                EXPECT_EQ(hr, E_FAIL) << what;
                EXPECT_EQ(step, "CreateDocument") << what;
                EXPECT_TRUE(stream->Bytes().empty()) << what;
            } else if (log[at].Method == "Write") {
                EXPECT_EQ(hr, E_FAIL) << what;
                EXPECT_EQ(step, "EndObject") << what;
                EXPECT_EQ(boxes.lines.size(), 1u) << what;
            } else {
                EXPECT_EQ(hr, S_OK) << what << " failed " << step;
            }
        }
        ExpectNothingLeft(what);
    }
    {
        // A data object bound to something that is not a stream.
        KwComPtr<KwHostMemoryStream> stream;
        KwHostDouble(*engine).Switches().Omit(0, IID_IStream);
        std::string step;
        EXPECT_EQ(Save(image, &stream, nullptr, 0, &step), E_FAIL);
        EXPECT_EQ(step, "CreateDocument");
        KwHostDouble(*engine).Switches().OmittedInterfaces.clear();
    }
    ExpectNothingLeft("without IStream");
}
