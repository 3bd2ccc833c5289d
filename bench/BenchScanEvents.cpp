// The host's word while the scans of a multi-scan file are read: loads one
// file as a host does and tells how often the filter asked (the progress
// events of value 0 before the first row) and how long after the start.
//
//   kwbench_events FILE [--abort]
//
// --abort answers abort at the first event, so the output says how long a
// host that stops a load at once waits for it. Prints one line:
// result, events before the first row, ms to the first event, mean ms between
// events, ms in all (wall time on this thread).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "load/CKwFilterJPEG.h"
#include "com/KwComObject.h"
#include "engine/KwHostEngine.h"
#include "engine/KwHostEventSink.h"
#include "engine/KwHostLoad.h"
#include "engine/KwHostMemoryStream.h"
#include "engine/KwHostRowSink.h"

namespace {

// Keeps no row: the load measures the filter, not a host's copy of the image.
class DiscardRows final : public KwHostRowSink {
public:
    HRESULT Begin(LONG, LONG, LONG, const std::vector<LONG>&) override { return S_OK; }
    HRESULT Rows(LONG, LONG, const unsigned char*, LONG) override { return S_OK; }
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3 || (argc == 3 && std::strcmp(argv[2], "--abort") != 0)) {
        std::fprintf(stderr, "usage: kwbench_events FILE [--abort]\n");
        return 2;
    }
    const bool abortAtFirst = argc == 3;
    std::ifstream in(argv[1], std::ios::binary);
    std::vector<char> file;
    if (in) file.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (file.empty()) {
        std::fprintf(stderr, "kwbench_events: cannot read %s\n", argv[1]);
        return 2;
    }
    if (!std::getenv("KWPLATFORM_REGISTRY")) setenv("KWPLATFORM_REGISTRY", "/tmp/kwbench-registry.reg", 1);
    CoInitialize(nullptr);
    int status = 0;
    {
        KwHostEngine engine;
        engine.SetRowSink(std::make_shared<DiscardRows>());
        engine.Start();
        KwComPtr<KwHostMemoryStream> stream;
        KwComPtr<IKwFilter> filter;
        KwComPtr<KwHostEventSink> sink;
        if (FAILED(engine.CreateMemoryStream(file.data(), file.size(), stream.Receive())) ||
            FAILED(KwCreateComObject<CKwFilterJPEG>(nullptr, IID_IKwFilter,
                                                    reinterpret_cast<void**>(filter.Receive()))) ||
            FAILED(KwHostEventSink::Create(sink.Receive())) || FAILED(sink->Connect(filter.Get()))) {
            std::fprintf(stderr, "kwbench_events: cannot set up the load\n");
            status = 2;
        } else {
            typedef std::chrono::steady_clock Clock;
            std::vector<Clock::time_point> scanEvents;
            bool rowsBegan = false;
            sink->SetCallback([&](LONG value, VARIANT_BOOL* abort) {
                if (value != 0) rowsBegan = true;
                if (rowsBegan) return;
                scanEvents.push_back(Clock::now());
                if (abortAtFirst) *abort = VARIANT_TRUE;
            });
            const Clock::time_point start = Clock::now();
            KwHostLoadResult result;
            const HRESULT hr = KwHostLoad(engine, filter.Get(), stream.Get(), "bench.jpg", &result);
            const Clock::time_point end = Clock::now();
            sink->Disconnect(filter.Get());
            auto ms = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
            const double first = scanEvents.empty() ? 0.0 : ms(scanEvents.front() - start);
            const double between = scanEvents.size() < 2 ? 0.0
                                                          : ms(scanEvents.back() - scanEvents.front()) /
                                                                double(scanEvents.size() - 1);
            std::printf("0x%08X %zu %.1f %.1f %.1f\n", static_cast<unsigned>(hr), scanEvents.size(), first, between,
                        ms(end - start));
        }
        engine.Stop();
    }
    CoUninitialize();
    return status;
}
