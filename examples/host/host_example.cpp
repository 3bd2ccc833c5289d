// A host of the JPEG filter, as a host developer writes one against the
// installed SDK: the reference host engine supplies the data object over the
// file, the document and its nodes, and the attribute class the filter creates
// by ProgID; this program adds its own progress sink and its own raster storage,
// which only counts the rows it receives.
//
//   host_example PHOTO.jpg     prints the size and the attributes; exit status 0
//                              when the photograph loaded, 1 when not, 2 on wrong usage
//
// The filter must be registered first (kwjpeg register; the registry file is
// $KWPLATFORM_REGISTRY).
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <kwfilter/KwComPtr.h>              // the SDK: interfaces, GUIDs, platform layer
#include <kwfilter/KwFilterInterfaces.h>
#include <kwfilter/host/KwHostDataObject.h> // the SDK: the reference host engine
#include <kwfilter/host/KwHostDocument.h>
#include <kwfilter/host/KwHostEngine.h>
#include <kwfilter/host/KwHostFileStream.h>

#include "HostReport.h"

namespace {

// The progress sink: the filter fires Progress after every 64th row and stops
// with E_ABORT when the sink sets *Abort. This one lets the load run and counts.
class ProgressSink final : public _IKwFilterEvents {
public:
    LONG events = 0;
    LONG last = 0;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!IsEqualGUID(riid, IID_IUnknown) && !IsEqualGUID(riid, DIID__IKwFilterEvents)) return E_NOINTERFACE;
        *out = static_cast<_IKwFilterEvents*>(this);
        AddRef();
        return S_OK;
    }
    // Lives on main's stack, longer than any connection: no counting needed.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE Progress(LONG progress, VARIANT_BOOL* abort) override
    {
        ++events;
        last = progress;
        if (abort) *abort = VARIANT_FALSE;
        return S_OK;
    }
    // Never fired by an image filter.
    HRESULT STDMETHODCALLTYPE FontPath(BSTR*, LONG*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE XrefPath(BSTR*, LONG*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE XrefPathEx(BSTR*, BSTR, LONG*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Password(BSTR*) override { return S_OK; }
};

// The raster storage: the engine's raster block hands every band of rows here
// as the filter delivers it, and keeps none itself. A real host would draw or
// store the rows; this one counts them.
class RowCounter final : public KwHostRowSink {
public:
    LONG width = 0, height = 0, bitsPerPixel = 0, rows = 0;

    HRESULT Begin(LONG w, LONG h, LONG bpp, const std::vector<LONG>&) override
    {
        width = w;
        height = h;
        bitsPerPixel = bpp;
        return S_OK;
    }
    HRESULT Rows(LONG first, LONG count, const unsigned char*, LONG) override
    {
        if (first != rows) return E_UNEXPECTED; // rows come top-down, each once
        rows += count;
        return S_OK;
    }
};

// Opens `path` through the filter; prints what the host learned.
int Load(const std::string& path)
{
    KwHostEngine engine;
    // "VelEngine.KwAttribute", the collection class the filter creates for EXIF values.
    if (FAILED(engine.Start())) return 1;
    auto counter = std::make_shared<RowCounter>();
    engine.SetRowSink(counter);

    // The filter, found by its ProgID in the registry and created through COM.
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(OLESTR("KwFilter_JPEG.KwFilterJPEG"), &clsid);
    if (FAILED(hr)) {
        std::fprintf(stderr, "host_example: the JPEG filter is not registered (0x%08X)\n", static_cast<unsigned>(hr));
        return 1;
    }
    KwComPtr<IKwFilter> filter;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IKwFilter,
                          reinterpret_cast<void**>(filter.Receive()));
    if (FAILED(hr)) {
        std::fprintf(stderr, "host_example: cannot create the JPEG filter (0x%08X)\n", static_cast<unsigned>(hr));
        return 1;
    }

    // The progress sink, connected through the filter's connection point.
    ProgressSink sink;
    KwComPtr<IConnectionPointContainer> points;
    KwComPtr<IConnectionPoint> point;
    DWORD cookie = 0;
    if (SUCCEEDED(filter->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(points.Receive()))))
        points->FindConnectionPoint(DIID__IKwFilterEvents, point.Receive());
    if (point) point->Advise(&sink, &cookie);

    // The storage: a data object bound to the file's stream, and an empty document.
    KwComPtr<KwHostFileStream> stream;
    hr = engine.OpenFileStream(path, KwHostFileMode::Read, stream.Receive());
    if (FAILED(hr)) {
        std::fprintf(stderr, "host_example: %s: cannot open the file (0x%08X)\n", path.c_str(), static_cast<unsigned>(hr));
        if (point) point->Unadvise(cookie);
        return 1;
    }
    KwComPtr<KwHostDataObject> data;
    KwComPtr<KwHostDocument> document;
    hr = engine.CreateDataObject(stream.Get(), path, data.Receive());
    if (SUCCEEDED(hr)) hr = engine.CreateDocument(document.Receive());

    // OpenDocument checks the file and describes the document; GetNode (VT_EMPTY:
    // the default node, Load true) decodes the image into the raster storage.
    KwComPtr<IDispatch> node;
    if (SUCCEEDED(hr)) hr = filter->OpenDocument(data.Get(), document.Get(), nullptr);
    if (SUCCEEDED(hr)) {
        VARIANT nodeSpec;
        VariantInit(&nodeSpec);
        hr = filter->GetNode(nodeSpec, VARIANT_TRUE, node.Receive());
    }
    if (point) point->Unadvise(cookie);

    bool loaded = SUCCEEDED(hr) && counter->height > 0 && counter->rows == counter->height;
    std::printf("%s\n", path.substr(path.find_last_of("/\\") + 1).c_str()); // the file's name, as on Windows
    std::printf("  %-10s %s (0x%08X)\n", "load", loaded ? "loaded" : "failed", static_cast<unsigned>(hr));
    std::printf("  %-10s %d x %d, %d bits per pixel\n", "size", static_cast<int>(counter->width),
                static_cast<int>(counter->height), static_cast<int>(counter->bitsPerPixel));
    std::printf("  %-10s %d counted, %d progress events (last %d)\n", "rows", static_cast<int>(counter->rows),
                static_cast<int>(sink.events), static_cast<int>(sink.last));
    if (document) {
        PrintAttributes("document", static_cast<IKwDocument*>(document.Get()));
        VARIANT name;
        VariantInit(&name);
        name.vt = VT_BSTR;
        name.bstrVal = SysAllocString(OLESTR("Contents"));
        KwComPtr<IDispatch> contents;
        document->GetChild(name, nullptr, nullptr, contents.Receive());
        VariantClear(&name);
        PrintAttributes("contents", contents.Get());
    }
    PrintAttributes("node 1", node.Get());

    // Clean shutdown: every reference goes before the engine stops and COM ends.
    node.Reset();
    document.Reset();
    data.Reset();
    stream.Reset();
    point.Reset();
    points.Reset();
    filter.Reset();
    engine.Stop();
    return loaded ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: host_example PHOTO.jpg\n");
        return 2;
    }
    if (FAILED(CoInitialize(nullptr))) return 1;
    int status = Load(argv[1]);
    // Every object is released and no other thread uses the filter: it may go at once.
    CoFreeUnusedLibrariesEx(0, 0);
    CoUninitialize();
    return status;
}
