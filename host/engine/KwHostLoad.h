// Loading through a load filter as a host does: a data object bound to the
// stream, a new document, OpenDocument, then GetNode; the document tree stays
// available for inspection.
#pragma once

#include <string>

#include "com/KwComPtr.h"
#include "interfaces/KwFilterInterfaces.h"
#include "KwHostDataObject.h"
#include "KwHostDocument.h"
#include "KwHostNode.h"
#include "KwHostRasterBlock.h"

class KwHostEngine;

struct KwHostLoadOptions {
    std::string Name = "image.jpg";        // the storage name (UTF-8)
    KwHostNameMode NameMode = KwHostNameMode::Normal;
    bool GetNode = true;                   // false: OpenDocument only
    VARIANT_BOOL Load = VARIANT_TRUE;      // GetNode's Load argument
    LONG NodeSpecType = VT_EMPTY;          // GetNode's selector: VT_EMPTY, or VT_I4 with NodeSpecValue
    LONG NodeSpecValue = 0;
};

struct KwHostLoadResult {
    HRESULT OpenResult = E_FAIL;
    HRESULT NodeResult = E_FAIL;
    KwComPtr<KwHostDataObject> DataObject;
    KwComPtr<KwHostDocument> Document;
    KwComPtr<IDispatch> NodeDispatch;     // what GetNode handed back

    KwHostNode* Contents() const { return Document ? Document->Contents() : nullptr; }
    KwHostNode* Node() const;             // node 1 under "Contents"
    KwHostRasterBlock* Raster() const;    // the first raster block of node 1
    // Releases everything the result holds.
    void Reset() noexcept;
};

// Runs OpenDocument and (unless turned off) GetNode. Returns the first failure
// (openResult or nodeResult) or S_OK.
HRESULT KwHostLoad(KwHostEngine& engine, IKwFilter* filter, IStream* stream, const KwHostLoadOptions& options,
                   KwHostLoadResult* result) noexcept;
HRESULT KwHostLoad(KwHostEngine& engine, IKwFilter* filter, IStream* stream, const std::string& name,
                   KwHostLoadResult* result) noexcept;
