// One process doing thousands of mixed loads and saves, as a host that runs for
// days does: its resident memory and open descriptors settle after the first
// hundred operations and stay there, and no filter object outlives its use.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "save/CKwFilterSaveJPEG.h"
#include "com/KwComObject.h"
#include "hostdouble/KwHostDouble.h"
#include "engine/KwHostSaveDriver.h"
#include "com/KwModuleLock.h"
#include "ReliabilityFixture.h"
#include "SystemProbe.h"

namespace {

// AddressSanitizer holds freed memory back in quarantine, so only the plain
// build measures resident memory; the sanitizer build proves there are no leaks.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool MeasureMemory = false;
#else
constexpr bool MeasureMemory = true;
#endif

} // namespace

class LongRun : public ReliabilityTest {};

TEST_F(LongRun, ThousandsOfMixedOperationsKeepMemoryDescriptorsAndLocksFlat)
{
    const Bytes photo = SmallPhoto(320, 240, false);
    const Bytes progressive = SmallPhoto(320, 240, true);
    ASSERT_FALSE(photo.empty()) << "scripts/setup installs mate-backgrounds";
    const Bytes truncated(photo.begin(), photo.begin() + static_cast<long>(photo.size() * 3 / 5));
    Bytes damaged = progressive;
    for (size_t i = damaged.size() / 3; i < damaged.size() - 2; i += 97) damaged[i] ^= 0x5A;

    struct Operation {
        const char* what;
        std::function<HRESULT()> run;
    };
    std::vector<Operation> operations;
    for (const Bytes* file : std::vector<const Bytes*>{&photo, &progressive, &truncated, &damaged}) {
        operations.push_back({"a load", [this, file] { return RunLoad(*file)->node; }});
    }
    operations.push_back({"an aborted load", [this, &photo] {
                              std::unique_ptr<LoadRun> run = StartLoad(photo);
                              run->sink->SetCallback([](LONG, VARIANT_BOOL* abort) { *abort = VARIANT_TRUE; });
                              FinishLoad(*run);
                              return run->node == E_ABORT ? S_OK : E_FAIL;
                          }});
    for (LONG bits : {1, 4, 8, 16, 24, 32}) {
        operations.push_back({"a save", [this, bits] {
                                  KwHostImage image = KwHostImage::Make(173, 91, bits);
                                  for (size_t i = 0; i < image.Pixels.size(); ++i)
                                      image.Pixels[i] = static_cast<unsigned char>(i * 13 + i / 211);
                                  KwComPtr<IKwFilterSave> filter;
                                  KwComPtr<KwHostMemoryStream> stream;
                                  HRESULT hr = KwCreateComObject<CKwFilterSaveJPEG>(
                                      nullptr, IID_IKwFilterSave, reinterpret_cast<void**>(filter.Receive()));
                                  if (SUCCEEDED(hr)) hr = KwHostMemoryStream::Create(nullptr, 0, stream.Receive(), engine->Context());
                                  if (SUCCEEDED(hr)) {
                                      KwHostSaveDriver driver(engine->Context());
                                      hr = driver.Save(filter.Get(), static_cast<IStream*>(stream.Get()), image);
                                  }
                                  return hr;
                              }});
    }
    // A host that runs for days keeps no record of every call, as the tests' engine does.
    KwHostDouble(*engine).Log().SetEnabled(false);
    std::vector<HRESULT> firstResults;
    for (const Operation& op : operations) firstResults.push_back(op.run());
    for (size_t k : {0, 1, 4, 5, 6, 7, 8, 9, 10}) EXPECT_EQ(firstResults[k], S_OK) << operations[k].what << " " << k;

    constexpr int Operations = 3000, Settle = 100;
    std::int64_t settledBytes = 0, peakBytes = 0;
    int settledDescriptors = 0, peakDescriptors = -1, differences = 0;
    for (int i = 0; i < Operations; ++i) {
        const size_t k = static_cast<size_t>(i) % operations.size();
        if (operations[k].run() != firstResults[k]) ++differences;
        if (i + 1 == Settle) {
            settledBytes = SystemProbe::ResidentBytes();
            settledDescriptors = SystemProbe::OpenHandles();
        } else if (i + 1 > Settle && (i % 25 == 0 || i + 1 == Operations)) {
            peakBytes = std::max(peakBytes, SystemProbe::ResidentBytes());
            peakDescriptors = std::max(peakDescriptors, SystemProbe::OpenHandles());
        }
    }
    std::printf("%d operations: resident %lld KiB after %d, at most %lld KiB after (%+lld KiB); "
                "descriptors %d, at most %d\n",
                Operations, static_cast<long long>(settledBytes / 1024), Settle,
                static_cast<long long>(peakBytes / 1024), static_cast<long long>((peakBytes - settledBytes) / 1024),
                settledDescriptors, peakDescriptors);
    EXPECT_EQ(differences, 0) << "every repetition gives the first result";
    if (settledDescriptors >= 0) {
        EXPECT_LE(peakDescriptors, settledDescriptors);
    } else {
        std::printf("the system counts no handles (Wine): their number is not compared\n");
    }
    if (MeasureMemory) {
        EXPECT_LE(peakBytes - settledBytes, 1024 * 1024);
    }
    EXPECT_EQ(KwModuleLockCount(), 0);
}
