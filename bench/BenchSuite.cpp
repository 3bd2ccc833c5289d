// The filter against the raw codec, in one run: load (GetNode with Load, on the
// host engine with a row sink that keeps nothing) against libjpeg decoding the same file with
// the same settings; save (the encode session over the host's stored rows, the
// work of EndObject) against libjpeg compressing the same pixels at quality 75;
// and the metadata scan and EXIF parse of camera headers.
// Pairs are named <Group>/Filter/<case> and <Group>/Raw/<case>; bench/report.py
// turns a JSON run into ratios.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "BenchCodec.h"
#include "load/CKwFilterJPEG.h"
#include "save/CKwSaveRasterData.h"
#include "metadata/JpegSectionReader.h"
#include "com/KwComObject.h"
#include "codec/KwEncodeSession.h"
#include "engine/KwHostEngine.h"
#include "engine/KwHostLoad.h"
#include "engine/KwHostMemoryStream.h"
#include "com/KwMemory.h"
#include "common/TestJpeg.h"

namespace {

struct LoadCase {
    std::string name;
    BenchBytes file;
    int width = 0;
    int height = 0;
};

struct SaveCase {
    std::string name;
    int width = 0;
    int height = 0;
    int bitsPerPixel = 24;
    BenchBytes stored;       // the host's rows: B, G, R (or palette indices), padded
    BenchBytes rgb;          // the same pixels as packed R, G, B, as cjpeg reads them
    std::vector<LONG> palette;
};

struct MetadataCase {
    std::string name;
    BenchBytes file;
    BenchBytes exifPayload; // the APP1 payload, starting with "Exif"
};

// Bytes allocated through the filter's allocation point while the hook is on.
std::size_t g_allocatedBytes = 0;
std::size_t g_largestAllocation = 0;
bool CountAllocation(unsigned long, std::size_t size)
{
    g_allocatedBytes += size;
    if (size > g_largestAllocation) g_largestAllocation = size;
    return false;
}

// The host engine every case runs on, started by main.
KwHostEngine* g_engine = nullptr;

// The engine's row sink: it keeps nothing and folds two bytes of each band into
// a checksum, so that the load benchmark measures the filter and not a host's
// copy of the image.
class BenchRowSink final : public KwHostRowSink {
public:
    HRESULT Begin(LONG, LONG, LONG, const std::vector<LONG>&) override { return S_OK; }
    // The block passes at least one row of at least one byte.
    HRESULT Rows(LONG, LONG, const unsigned char* rows, LONG bytesPerLine) override
    {
        m_Checksum = m_Checksum * 31u + rows[0] + rows[bytesPerLine - 1];
        benchmark::DoNotOptimize(m_Checksum);
        return S_OK;
    }

private:
    unsigned m_Checksum = 0;
};

// One load as a host does it, from the start of the stream; the rows the
// raster block took once ended.
HRESULT LoadThroughFilter(IStream* stream, LONG* rows)
{
    *rows = 0;
    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    KwComPtr<IKwFilter> filter;
    HRESULT hr = KwCreateComObject<CKwFilterJPEG>(nullptr, IID_IKwFilter, reinterpret_cast<void**>(filter.Receive()));
    if (FAILED(hr)) return hr;
    KwHostLoadResult result;
    hr = KwHostLoad(*g_engine, filter.Get(), stream, "bench.jpg", &result);
    const KwHostRasterBlock* raster = result.Raster();
    if (raster && raster->Ended()) *rows = raster->RowsDelivered();
    return hr;
}

void LoadFilter(benchmark::State& state, const LoadCase* c)
{
    // One stream for every run, so that no run pays for a copy of the file.
    KwComPtr<KwHostMemoryStream> stream;
    if (FAILED(g_engine->CreateMemoryStream(c->file.data(), c->file.size(), stream.Receive()))) {
        state.SkipWithError("no memory for the stream");
        return;
    }
    for (auto _ : state) {
        LONG rows = 0;
        HRESULT hr = LoadThroughFilter(stream.Get(), &rows);
        if (FAILED(hr) || rows != c->height) {
            state.SkipWithError("the filter did not deliver every row");
            break;
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * c->width * c->height);
    g_allocatedBytes = g_largestAllocation = 0;
    KwSetAllocationHook(CountAllocation);
    LONG rows = 0;
    LoadThroughFilter(stream.Get(), &rows);
    KwSetAllocationHook(nullptr);
    state.counters["filter_alloc_bytes"] = static_cast<double>(g_allocatedBytes);
    state.counters["filter_largest_alloc"] = static_cast<double>(g_largestAllocation);
}

void LoadRaw(benchmark::State& state, const LoadCase* c)
{
    for (auto _ : state) {
        BenchRawDecode result;
        if (!BenchDecodeRaw(c->file, &result) || result.height != c->height) {
            state.SkipWithError("the codec failed");
            break;
        }
        benchmark::DoNotOptimize(result.checksum);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * c->width * c->height);
}

// ------------------------------------------------------------------ save

// The output stream keeps its bytes' capacity between runs, so that the save
// pays for no growth of the host's buffer after the first.
CKwSaveRasterData* PrepareSave(const SaveCase* c, KwHostMemoryStream* sink)
{
    CKwSaveRasterData* raster = nullptr;
    if (FAILED(KwCreatePlainObject(&raster))) return nullptr;
    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    sink->Seek(zero, STREAM_SEEK_SET, nullptr);
    sink->MutableBytes().clear();
    raster->SetOutputStream(sink);
    const LONG stride = TestJpeg::Stride(c->width, c->bitsPerPixel);
    LONG* palette = c->palette.empty() ? nullptr : const_cast<LONG*>(c->palette.data());
    raster->CreateRasterStorage(c->width, c->height, c->bitsPerPixel, 0, 0, nullptr,
                                static_cast<LONG>(c->palette.size()), palette);
    raster->AddScanline1(c->bitsPerPixel == 24 ? KW_RASTER_RGB : KW_RASTER_INDEX_8, 0, c->height, stride,
                         const_cast<unsigned char*>(c->stored.data()));
    return raster;
}

// The engine's stream that every save writes into, made by main.
KwHostMemoryStream* g_saveSink = nullptr;

// What EndObject does with the stored rows: the encode session, driven directly.
HRESULT EncodeStoredRows(const SaveCase* c, KwHostMemoryStream* sink)
{
    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    sink->Seek(zero, STREAM_SEEK_SET, nullptr);
    sink->MutableBytes().clear();
    uint32_t colors[KwHostRowConverter::MaxColors] = {};
    for (std::size_t i = 0; i < c->palette.size() && i < KwHostRowConverter::MaxColors; ++i)
        colors[i] = static_cast<uint32_t>(c->palette[i]);
    const std::size_t stride = static_cast<std::size_t>(TestJpeg::Stride(c->width, c->bitsPerPixel));
    KwEncodeSession session;
    HRESULT hr = session.Start(sink, c->width, c->height, c->bitsPerPixel, colors);
    for (int y = 0; SUCCEEDED(hr) && y < c->height; ++y)
        hr = session.WriteRow(c->stored.data() + stride * static_cast<std::size_t>(y));
    return SUCCEEDED(hr) ? session.Finish() : hr;
}

void SaveFilterEndObject(benchmark::State& state, const SaveCase* c)
{
    for (auto _ : state) {
        const HRESULT hr = EncodeStoredRows(c, g_saveSink);
        if (FAILED(hr) || g_saveSink->Bytes().size() < 100) {
            state.SkipWithError("the encode failed");
            break;
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * c->width * c->height);
    state.counters["jpeg_bytes"] = static_cast<double>(g_saveSink->Bytes().size());
}

// The whole save object: storage, rows and EndObject.
void SaveFilterWhole(benchmark::State& state, const SaveCase* c)
{
    for (auto _ : state) {
        CKwSaveRasterData* raster = PrepareSave(c, g_saveSink);
        HRESULT hr = raster ? raster->EndObject() : E_OUTOFMEMORY;
        if (raster) raster->Release();
        if (FAILED(hr)) {
            state.SkipWithError("EndObject failed");
            break;
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * c->width * c->height);
}

void SaveRaw(benchmark::State& state, const SaveCase* c)
{
    static BenchBytes sink;
    for (auto _ : state) {
        if (!TestJpeg::EncodeReference(c->rgb, c->width, c->height, &sink)) {
            state.SkipWithError("the codec failed");
            break;
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * c->width * c->height);
    state.counters["jpeg_bytes"] = static_cast<double>(sink.size());
}

// ------------------------------------------------------------------ metadata

void MetadataScan(benchmark::State& state, const MetadataCase* c)
{
    KwComPtr<KwHostMemoryStream> stream;
    if (FAILED(g_engine->CreateMemoryStream(c->file.data(), c->file.size(), stream.Receive()))) {
        state.SkipWithError("no memory for the stream");
        return;
    }
    for (auto _ : state) {
        LARGE_INTEGER zero;
        zero.QuadPart = 0;
        stream->Seek(zero, STREAM_SEEK_SET, nullptr);
        JpegMetadata metadata;
        std::memset(&metadata, 0, sizeof(metadata));
        JpegSectionReader reader(&metadata);
        bool ok = reader.ReadSections(stream.Get());
        benchmark::DoNotOptimize(ok);
        benchmark::DoNotOptimize(metadata.HasExif);
    }
}

// The parser trims the user comment in place; a second parse of the same
// block sees the trimmed text and does the same work.
void ExifParse(benchmark::State& state, const MetadataCase* c)
{
    BenchBytes payload = c->exifPayload;
    for (auto _ : state) {
        JpegMetadata metadata;
        std::memset(&metadata, 0, sizeof(metadata));
        JpegSectionReader reader(&metadata);
        bool ok = reader.ParseExif(payload.data(), static_cast<uint32_t>(payload.size()));
        benchmark::DoNotOptimize(ok);
    }
}

// ------------------------------------------------------------------ inputs

std::string ImageRoot()
{
    const char* root = std::getenv("KW_BENCH_IMAGES");
    return root && *root ? root : "/usr/share/backgrounds/mate";
}

BenchBytes FirstApp1Payload(const BenchBytes& file)
{
    std::size_t at = 2;
    while (at + 4 <= file.size() && file[at] == 0xFF) {
        const int marker = file[at + 1];
        const std::size_t length = (static_cast<std::size_t>(file[at + 2]) << 8) | file[at + 3];
        if (marker == 0xDA || length < 2 || at + 2 + length > file.size()) break;
        if (marker == 0xE1)
            return BenchBytes(file.begin() + static_cast<long>(at + 4), file.begin() + static_cast<long>(at + 2 + length));
        at += 2 + length;
    }
    return BenchBytes();
}

// Photographs: baseline and progressive in each sampling; gray and CMYK made
// from one of them, so that they carry a photograph's detail too.
std::vector<LoadCase>& LoadCases()
{
    static std::vector<LoadCase> cases;
    return cases;
}
std::vector<SaveCase>& SaveCases()
{
    static std::vector<SaveCase> cases;
    return cases;
}
std::vector<MetadataCase>& MetadataCases()
{
    static std::vector<MetadataCase> cases;
    return cases;
}

void AddLoadCase(const std::string& name, BenchBytes file)
{
    BenchRawDecode decoded;
    if (file.empty() || !BenchDecodeRaw(file, &decoded)) {
        std::fprintf(stderr, "bench: skipping %s (not readable)\n", name.c_str());
        return;
    }
    LoadCase c;
    c.name = name;
    c.file = std::move(file);
    c.width = decoded.width;
    c.height = decoded.height;
    LoadCases().push_back(std::move(c));
}

void AddSaveCase(const std::string& name, const BenchBytes& file, bool gray)
{
    SaveCase c;
    c.name = name;
    BenchBytes samples;
    if (file.empty() || !BenchDecodeToRgb(file, gray, &c.width, &c.height, &samples)) return;
    c.bitsPerPixel = gray ? 8 : 24;
    const std::size_t stride = static_cast<std::size_t>(TestJpeg::Stride(c.width, c.bitsPerPixel));
    c.stored.assign(stride * static_cast<std::size_t>(c.height), 0);
    c.rgb.assign(static_cast<std::size_t>(c.width) * c.height * 3, 0);
    for (int y = 0; y < c.height; ++y) {
        unsigned char* stored = c.stored.data() + stride * static_cast<std::size_t>(y);
        unsigned char* rgb = c.rgb.data() + static_cast<std::size_t>(c.width) * 3 * static_cast<std::size_t>(y);
        for (int x = 0; x < c.width; ++x) {
            if (gray) {
                const unsigned char v = samples[static_cast<std::size_t>(y) * c.width + x];
                stored[x] = v;
                rgb[3 * x] = rgb[3 * x + 1] = rgb[3 * x + 2] = v;
            } else {
                const unsigned char* p = samples.data() + (static_cast<std::size_t>(y) * c.width + x) * 3;
                stored[3 * x] = p[2];
                stored[3 * x + 1] = p[1];
                stored[3 * x + 2] = p[0];
                rgb[3 * x] = p[0];
                rgb[3 * x + 1] = p[1];
                rgb[3 * x + 2] = p[2];
            }
        }
    }
    if (gray)
        for (LONG i = 0; i < 256; ++i) c.palette.push_back(i | (i << 8) | (i << 16));
    SaveCases().push_back(std::move(c));
}

void CollectCases()
{
    const std::string root = ImageRoot();
    struct Photo {
        const char* name;
        const char* path;
    };
    const Photo photos[] = {
        {"420_baseline_Aqua", "nature/Aqua.jpg"},
        {"420_progressive_FreshFlower", "nature/FreshFlower.jpg"},
        {"422_baseline_Storm", "nature/Storm.jpg"},
        {"422_progressive_Elephants18MP", "abstract/Elephants_5640x3172.jpg"},
        {"444_baseline_GreenTraditional", "desktop/GreenTraditional.jpg"},
        {"444_progressive_Elephants", "abstract/Elephants.jpg"},
    };
    for (const Photo& p : photos) AddLoadCase(p.name, BenchReadFile(root + "/" + p.path));

    // Gray and CMYK (Adobe, as Photoshop writes it) from the Aqua photograph.
    const BenchBytes aqua = BenchReadFile(root + "/nature/Aqua.jpg");
    int width = 0, height = 0;
    BenchBytes rgb;
    if (!aqua.empty() && BenchDecodeToRgb(aqua, false, &width, &height, &rgb)) {
        TestJpeg::Options gray;
        gray.Width = width;
        gray.Height = height;
        gray.Kind = TestJpeg::Gray;
        gray.Quality = 90;
        gray.Pixels.resize(static_cast<std::size_t>(width) * height);
        TestJpeg::Options cmyk = gray;
        cmyk.Kind = TestJpeg::Cmyk;
        cmyk.AdobeMarker = true;
        cmyk.Pixels.resize(static_cast<std::size_t>(width) * height * 4);
        for (std::size_t i = 0; i < static_cast<std::size_t>(width) * height; ++i) {
            const int r = rgb[3 * i], g = rgb[3 * i + 1], b = rgb[3 * i + 2];
            gray.Pixels[i] = static_cast<unsigned char>((r * 77 + g * 150 + b * 29) >> 8);
            const int k = 255 - std::max(r, std::max(g, b));
            cmyk.Pixels[4 * i] = static_cast<unsigned char>(255 - r - k);
            cmyk.Pixels[4 * i + 1] = static_cast<unsigned char>(255 - g - k);
            cmyk.Pixels[4 * i + 2] = static_cast<unsigned char>(255 - b - k);
            cmyk.Pixels[4 * i + 3] = static_cast<unsigned char>(k);
        }
        AddLoadCase("gray_generated", TestJpeg::Make(gray));
        AddLoadCase("cmyk_adobe_generated", TestJpeg::Make(cmyk));
    }

    AddSaveCase("rgb24_Aqua", aqua, false);
    AddSaveCase("rgb24_Storm", BenchReadFile(root + "/nature/Storm.jpg"), false);
    AddSaveCase("rgb24_GreenTraditional", BenchReadFile(root + "/desktop/GreenTraditional.jpg"), false);
    AddSaveCase("rgb24_Elephants18MP", BenchReadFile(root + "/abstract/Elephants_5640x3172.jpg"), false);
    AddSaveCase("gray8_Aqua", aqua, true);

    const Photo cameras[] = {
        {"Canon_II_Storm", "nature/Storm.jpg"},
        {"Canon_II_Dune", "nature/Dune.jpg"},
        {"Minolta_MM_Wood", "nature/Wood.jpg"},
        {"Sony_II_Elephants18MP", "abstract/Elephants_5640x3172.jpg"},
        {"MM_Aqua", "nature/Aqua.jpg"},
    };
    for (const Photo& p : cameras) {
        MetadataCase c;
        c.name = p.name;
        c.file = BenchReadFile(root + "/" + p.path);
        if (c.file.empty()) continue;
        c.exifPayload = FirstApp1Payload(c.file);
        MetadataCases().push_back(std::move(c));
    }
}

void RegisterAll()
{
    for (const LoadCase& c : LoadCases()) {
        benchmark::RegisterBenchmark(("Load/Filter/" + c.name).c_str(), LoadFilter, &c)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Load/Raw/" + c.name).c_str(), LoadRaw, &c)->Unit(benchmark::kMillisecond);
    }
    for (const SaveCase& c : SaveCases()) {
        benchmark::RegisterBenchmark(("Save/Filter/" + c.name).c_str(), SaveFilterEndObject, &c)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Save/Raw/" + c.name).c_str(), SaveRaw, &c)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("SaveWhole/Filter/" + c.name).c_str(), SaveFilterWhole, &c)
            ->Unit(benchmark::kMillisecond);
    }
    for (const MetadataCase& c : MetadataCases()) {
        benchmark::RegisterBenchmark(("Metadata/Scan/" + c.name).c_str(), MetadataScan, &c)
            ->Unit(benchmark::kMicrosecond);
        if (!c.exifPayload.empty())
            benchmark::RegisterBenchmark(("Metadata/ExifParse/" + c.name).c_str(), ExifParse, &c)
                ->Unit(benchmark::kMicrosecond);
    }
}

} // namespace

int main(int argc, char** argv)
{
    // The attribute class is registered in a registry file of the bench's own.
    if (!std::getenv("KWPLATFORM_REGISTRY")) setenv("KWPLATFORM_REGISTRY", "/tmp/kwbench-registry.reg", 1);
    CoInitialize(nullptr);
    int status = 0;
    {
        // The host's attribute class, so that EXIF attributes are published as in a real load.
        KwHostEngine engine;
        engine.SetRowSink(std::make_shared<BenchRowSink>());
        engine.Start();
        g_engine = &engine;
        KwComPtr<KwHostMemoryStream> saveSink;
        g_saveSink = SUCCEEDED(engine.CreateMemoryStream(nullptr, 0, saveSink.Receive())) ? saveSink.Get() : nullptr;
        CollectCases();
        RegisterAll();
        benchmark::Initialize(&argc, argv);
        if (!g_saveSink || benchmark::ReportUnrecognizedArguments(argc, argv)) status = 1;
        else benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
        engine.Stop();
    }
    CoUninitialize();
    return status;
}
