#include "KwHostLoad.h"

#include "KwHostEngine.h"

KwHostNode* KwHostLoadResult::Node() const
{
    KwHostNode* contents = Contents();
    return contents ? contents->FindNode(1) : nullptr;
}

KwHostRasterBlock* KwHostLoadResult::Raster() const
{
    KwHostNode* node = Node();
    if (!node) return nullptr;
    std::vector<KwHostRasterBlock*> blocks = node->RasterBlocks();
    return blocks.empty() ? nullptr : blocks.front();
}

void KwHostLoadResult::Reset() noexcept
{
    node.Reset();
    document.Reset();
    dataObject.Reset();
}

HRESULT KwHostLoad(KwHostEngine& engine, IKwFilter* filter, IStream* stream, const KwHostLoadOptions& options,
                   KwHostLoadResult* result) noexcept
{
    if (!result) return E_POINTER;
    result->Reset();
    result->openResult = E_FAIL;
    result->nodeResult = E_FAIL;
    if (!filter) return E_POINTER;

    HRESULT hr = engine.CreateDataObject(stream, options.name, result->dataObject.Receive());
    if (FAILED(hr)) return hr;
    result->dataObject->SetNameMode(options.nameMode);
    hr = engine.CreateDocument(result->document.Receive());
    if (FAILED(hr)) return hr;

    result->openResult = filter->OpenDocument(result->dataObject.Get(), result->document.Get(), nullptr);
    if (FAILED(result->openResult)) return result->openResult;
    if (!options.getNode) return S_OK;

    VARIANT selector;
    VariantInit(&selector);
    if (options.nodeSpecType == VT_I4) {
        selector.vt = VT_I4;
        selector.lVal = options.nodeSpecValue;
    }
    result->nodeResult = filter->GetNode(selector, options.load, result->node.Receive());
    return result->nodeResult;
}

HRESULT KwHostLoad(KwHostEngine& engine, IKwFilter* filter, IStream* stream, const std::string& name,
                   KwHostLoadResult* result) noexcept
{
    KwHostLoadOptions options;
    try {
        options.name = name;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    return KwHostLoad(engine, filter, stream, options, result);
}
