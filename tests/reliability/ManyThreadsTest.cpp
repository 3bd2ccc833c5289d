// The built filter library as a multi-threaded host uses it: every thread its
// own apartment and engine, filters created by ProgID through the registry,
// while another thread keeps asking whether the library may be unloaded.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/ExifBuilder.h"
#include "com/KwComPtr.h"
#include "interfaces/KwFilterInterfaces.h"
#include "engine/KwHostEngine.h"
#include "engine/KwHostEventSink.h"
#include "engine/KwHostLoad.h"
#include "engine/KwHostMemoryStream.h"
#include "engine/KwHostObject.h"
#include "engine/KwHostSaveDriver.h"
#include "FilterLibrary.h"
#include "ReliabilityFixture.h"

namespace {

// What one operation produced: its result and a digest of the pixels or bytes.
struct Result {
    HRESULT hr = E_FAIL;
    LONG rows = -1;
    size_t digest = 0;
    bool operator==(const Result& o) const { return hr == o.hr && rows == o.rows && digest == o.digest; }
};

size_t Digest(const unsigned char* data, size_t size, size_t seed)
{
    size_t h = seed ^ 1469598103934665603ull;
    for (size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 1099511628211ull;
    return h;
}

struct Case {
    const char* what;
    Bytes file;          // a load of this file, or
    KwHostImage image;   // a save of this image when the file is empty
    bool abortAtFirstProgress = false;
};

Result Load(KwHostEngine& engine, const Case& c)
{
    Result r;
    CLSID clsid;
    KwComPtr<IKwFilter> filter;
    r.hr = CLSIDFromProgID(OLESTR("KwFilter_JPEG.KwFilterJPEG"), &clsid);
    if (SUCCEEDED(r.hr))
        r.hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IKwFilter,
                                reinterpret_cast<void**>(filter.Receive()));
    if (FAILED(r.hr)) return r;
    KwComPtr<KwHostMemoryStream> stream;
    KwComPtr<KwHostEventSink> sink;
    if (FAILED(KwHostMemoryStream::Create(c.file, stream.Receive(), engine.Context())) ||
        FAILED(KwHostEventSink::Create(sink.Receive(), engine.Context())))
        return r;
    if (c.abortAtFirstProgress) sink->SetCallback([](LONG, VARIANT_BOOL* abort) { *abort = VARIANT_TRUE; });
    sink->Connect(filter.Get());
    KwHostLoadResult result;
    r.hr = KwHostLoad(engine, filter.Get(), static_cast<IStream*>(stream.Get()), "image.jpg", &result);
    sink->Disconnect(filter.Get());
    // An EXIF file makes the filter create the engine's attribute collection,
    // whose class object the thread's engine registered in its apartment.
    if (result.Document && result.Document->HasAttribute("SummaryInformation")) r.digest = 1;
    if (KwHostRasterBlock* raster = result.Raster()) {
        r.rows = raster->RowsDelivered();
        for (LONG y = 0; y < r.rows && raster->HasStorage(); ++y)
            r.digest = Digest(raster->Row(y), static_cast<size_t>(raster->Stride()), r.digest);
    }
    result.Reset();
    return r;
}

Result Save(KwHostEngine& engine, const Case& c)
{
    Result r;
    KwComPtr<KwHostMemoryStream> output;
    if (FAILED(KwHostMemoryStream::Create(nullptr, 0, output.Receive(), engine.Context()))) return r;
    KwHostSaveDriver driver(engine.Context());
    r.hr = driver.Save("KwFilter_JPEG.KwFilterSaveJPEG", static_cast<IStream*>(output.Get()), c.image);
    r.digest = Digest(output->Bytes().data(), output->Bytes().size(), 0);
    return r;
}

Result RunCase(KwHostEngine& engine, const Case& c) { return c.file.empty() ? Save(engine, c) : Load(engine, c); }

KwHostImage Pattern(LONG width, LONG height, LONG bitsPerPixel)
{
    KwHostImage image = KwHostImage::Make(width, height, bitsPerPixel);
    for (size_t i = 0; i < image.Pixels.size(); ++i) image.Pixels[i] = static_cast<unsigned char>(i * 7 + i / 97);
    return image;
}

TEST(ManyThreads, LoadAndSaveByProgIdWhileAnotherThreadUnloads)
{
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    // The test keeps its own reference to the library, so that it can ask the
    // library itself whether it may go; the runtime's loads and unloads still
    // run their whole course against it.
    FilterLibrary library;
    ASSERT_TRUE(library.Open());

    std::vector<Case> cases;
    const Bytes good = SmallRgbFile(40, 160);
    cases.push_back({"a good file", good, {}});
    ExifBuilder exif;
    exif.AddAscii(0, 0x010F, "Maker").AddAscii(0, 0x0110, "Model");
    cases.push_back({"a file with EXIF data", ExifBuilder::InsertAfterSoi(good, ExifBuilder::App1(exif.Payload())), {}});
    cases.push_back({"a truncated file", Bytes(good.begin(), good.begin() + good.size() / 2), {}});
    cases.push_back({"a load aborted from the sink", good, {}, true});
    TestJpeg::Options gray;
    gray.Width = 33;
    gray.Height = 70;
    gray.Kind = TestJpeg::Gray;
    gray.Progressive = true;
    cases.push_back({"a progressive gray file", TestJpeg::Make(gray), {}});
    cases.push_back({"a 24-bit save", {}, Pattern(37, 21, 24)});
    cases.push_back({"an 8-bit save", {}, Pattern(19, 30, 8)});

    KwHostEngine mainEngine;
    ASSERT_EQ(mainEngine.Start(), S_OK);
    std::vector<Result> expected;
    for (const Case& c : cases) expected.push_back(RunCase(mainEngine, c));
    EXPECT_EQ(expected[0].hr, S_OK);
    EXPECT_EQ(expected[0].rows, 160);
    EXPECT_EQ(expected[1].hr, S_OK);
    EXPECT_NE(expected[1].digest, expected[0].digest) << "the EXIF data reached the document";
    EXPECT_EQ(expected[3].hr, E_ABORT);
    for (size_t k : {4, 5, 6}) EXPECT_EQ(expected[k].hr, S_OK) << cases[k].what;

    constexpr int Threads = 8;
    constexpr int Operations = 2400;
    std::atomic<int> next{0}, mismatches{0}, workersLeft{Threads};
    std::mutex firstLock;
    std::string first;
    std::vector<std::thread> threads;
    for (int t = 0; t < Threads; ++t) {
        threads.emplace_back([&] {
            CoInitialize(nullptr);
            {
                // Class objects registered for in-process use serve their own apartment only.
                KwHostEngine engine;
                if (engine.Start() != S_OK && mismatches++ == 0) {
                    std::lock_guard<std::mutex> guard(firstLock);
                    first = "a thread's engine did not start";
                }
                for (int i; (i = next++) < Operations;) {
                    const size_t k = static_cast<size_t>(i) % cases.size();
                    if (RunCase(engine, cases[k]) == expected[k]) continue;
                    if (mismatches++ == 0) {
                        std::lock_guard<std::mutex> guard(firstLock);
                        first = std::string(cases[k].what) + " at operation " + std::to_string(i);
                    }
                }
            }
            CoUninitialize();
            --workersLeft;
        });
    }
    int polls = 0;
    std::thread unloader([&] {
        CoInitialize(nullptr);
        while (workersLeft > 0) {
            library.CanUnloadNow();
            CoFreeUnusedLibraries();
            ++polls;
            std::this_thread::yield();
        }
        CoUninitialize();
    });
    for (std::thread& t : threads) t.join();
    unloader.join();

    std::printf("%d operations on %d threads, %d unload requests meanwhile\n", Operations, Threads, polls);
    EXPECT_EQ(mismatches, 0) << "results differ from one thread's, first: " << first;
    EXPECT_GT(polls, 0);
    mainEngine.Stop();
    EXPECT_EQ(KwHostLiveObjects(), 0) << "host objects left alive";
    void* attributeClass = nullptr;
    EXPECT_EQ(CoGetClassObject(KwHostEngine::AttributeClassId(), CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               &attributeClass),
              REGDB_E_CLASSNOTREG)
        << "the engine's class object is revoked";
    EXPECT_EQ(library.CanUnloadNow(), S_OK) << "filter objects or class object references left";
    library.Close();

    // Now only the runtime holds the library: three threads create and release
    // both filters while a fourth frees unused libraries, which must not unmap
    // the code that a thread's last Release is still returning through.
#if defined(__SANITIZE_THREAD__)
    constexpr int Creations = 3000; // enough to find races; the plain build hunts the crash
#else
    constexpr int Creations = 30000;
#endif
    std::atomic<int> created{0}, failures{0};
    std::vector<std::thread> creators;
    for (int t = 0; t < 3; ++t) {
        creators.emplace_back([&] {
            CoInitialize(nullptr);
            for (int i; (i = created++) < Creations;) {
                CLSID clsid;
                IUnknown* object = nullptr;
                const LPCOLESTR progId =
                    i % 2 ? OLESTR("KwFilter_JPEG.KwFilterSaveJPEG") : OLESTR("KwFilter_JPEG.KwFilterJPEG");
                if (FAILED(CLSIDFromProgID(progId, &clsid)) ||
                    FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                            reinterpret_cast<void**>(&object))))
                    ++failures;
                else
                    object->Release();
            }
            CoUninitialize();
        });
    }
    std::thread freer([&] {
        CoInitialize(nullptr);
        while (created < Creations) CoFreeUnusedLibraries();
        CoUninitialize();
    });
    for (std::thread& t : creators) t.join();
    freer.join();
    EXPECT_EQ(failures, 0);
    CoFreeUnusedLibraries();
    HRESULT canUnloadNow = E_FAIL;
    EXPECT_EQ(library.Loaded(&canUnloadNow), FilterLibrary::FreeingWaits)
        << "freeing unused libraries lets one that may go wait for its delay where the runtime has one";
    if (FilterLibrary::FreeingWaits) {
        EXPECT_EQ(canUnloadNow, S_OK) << "lock count left";
    }
    // No thread runs in the library any more: it may go at once.
    CoFreeUnusedLibrariesEx(0, 0);
    EXPECT_FALSE(library.Loaded(&canUnloadNow)) << "the library is unloaded at the end";
    CoUninitialize();
}

} // namespace
