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
    NodeDispatch.Reset();
    Document.Reset();
    DataObject.Reset();
}

HRESULT KwHostLoad(KwHostEngine& engine, IKwFilter* filter, IStream* stream, const KwHostLoadOptions& options,
                   KwHostLoadResult* result) noexcept
{
    if (!result) return E_POINTER;
    result->Reset();
    result->OpenResult = E_FAIL;
    result->NodeResult = E_FAIL;
    if (!filter) return E_POINTER;

    HRESULT hr = engine.CreateDataObject(stream, options.Name, result->DataObject.Receive());
    if (FAILED(hr)) return hr;
    result->DataObject->SetNameMode(options.NameMode);
    hr = engine.CreateDocument(result->Document.Receive());
    if (FAILED(hr)) return hr;

    result->OpenResult = filter->OpenDocument(result->DataObject.Get(), result->Document.Get(), nullptr);
    if (FAILED(result->OpenResult)) return result->OpenResult;
    if (!options.GetNode) return S_OK;

    VARIANT selector;
    VariantInit(&selector);
    if (options.NodeSpecType == VT_I4) {
        selector.vt = VT_I4;
        selector.lVal = options.NodeSpecValue;
    }
    result->NodeResult = filter->GetNode(selector, options.Load, result->NodeDispatch.Receive());
    return result->NodeResult;
}

HRESULT KwHostLoad(KwHostEngine& engine, IKwFilter* filter, IStream* stream, const std::string& name,
                   KwHostLoadResult* result) noexcept
{
    KwHostLoadOptions options;
    try {
        options.Name = name;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    return KwHostLoad(engine, filter, stream, options, result);
}
