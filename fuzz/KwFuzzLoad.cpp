// Fuzz target: the whole load path on raw bytes, as a host drives it:
// OpenDocument through a data object over a memory stream, then GetNode with
// the load, a Progress sink connected, then a second GetNode.
#include <cstdint>
#include <cstdlib>

#include "load/CKwFilterJPEG.h"
#include "com/KwAutomation.h"
#include "com/KwComObject.h"
#include "com/KwComPtr.h"
#include "KwFuzzHost.h"
#include "engine/KwHostDataObject.h"
#include "engine/KwHostDocument.h"
#include "hostdouble/KwHostDouble.h"
#include "engine/KwHostEventSink.h"
#include "engine/KwHostMemoryStream.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    KwFuzzStart();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    KwHostEngine& engine = KwFuzzEngine();
    {
        KwComPtr<IKwFilter> filter;
        if (KwCreateComObject<CKwFilterJPEG>(nullptr, IID_IKwFilter, reinterpret_cast<void**>(filter.Receive())) !=
            S_OK)
            std::abort();
        KwComPtr<KwHostDocument> document;
        KwComPtr<KwHostMemoryStream> stream;
        KwComPtr<KwHostDataObject> dataObject;
        if (FAILED(KwHostDocument::Create(document.Receive(), engine.Context())) ||
            FAILED(KwHostMemoryStream::Create(data, size, stream.Receive(), engine.Context())) ||
            FAILED(KwHostDataObject::Create(static_cast<IStream*>(stream.Get()), "image.jpg", dataObject.Receive(),
                                            engine.Context())))
            std::abort();
        // Some inputs also meet a stream that hands over little at a time, and
        // a sink that stops the load; chosen from the size so the file stays raw.
        if (size % 5 == 1) KwHostDouble(stream).Switches().MaxReadPerCall = static_cast<ULONG>(3 + size % 4000);
        KwComPtr<KwHostEventSink> sink;
        if (FAILED(KwHostEventSink::Create(sink.Receive(), engine.Context()))) std::abort();
        if (size % 7 == 3) sink->AbortAt(1 + static_cast<ULONG>(size % 3), static_cast<VARIANT_BOOL>(1));
        if (sink->Connect(filter.Get()) != S_OK) std::abort();

        const HRESULT opened = filter->OpenDocument(dataObject.Get(), document.Get(), nullptr);
        if (opened == S_OK) {
            VARIANT selector;
            VariantInit(&selector);
            KwComPtr<IDispatch> node;
            const HRESULT loaded = filter->GetNode(selector, VARIANT_TRUE, node.Receive());
            // The node is handed out before the load starts, whatever its result.
            if (!node && loaded != E_FAIL) std::abort();
            KwComPtr<IDispatch> again;
            const HRESULT second = filter->GetNode(selector, VARIANT_TRUE, again.Receive());
            // A complete load is not repeated.
            if (loaded == S_OK && second != S_OK) std::abort();
        } else if (opened != E_FAIL) {
            std::abort();
        }
        sink->Disconnect(filter.Get());
    }
    KwFuzzCheckClean("fuzz_load");
    return 0;
}
