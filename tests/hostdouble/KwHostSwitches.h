// The switches of one engine of the test build: what its objects refuse, leave
// out or answer differently. Read by the objects at every call, so a test may
// change them at any time.
#pragma once

#include <string>
#include <vector>

#include "KwPlatform.h"

struct KwHostChildRefusal {
    LONG objectType;  // the KW_OBJECT_TYPE that CreateChild refuses
    HRESULT result;   // a failure: CreateChild returns it; a success: it returns that with no child
};

struct KwHostOmittedInterface {
    LONG objectType;  // KW_DOCUMENT, KW_CONTENTS, KW_CONTAINER, KW_RASTER_BLOCK, KW_ATTRIBUTE, KW_DATA_OBJECT
    IID iid;
};

struct KwHostSwitches {
    std::vector<KwHostChildRefusal> refusedChildren;
    std::vector<KwHostOmittedInterface> omittedInterfaces;

    HRESULT getAttributeResult = S_OK;        // a failure makes every GetAttribute fail with it
    HRESULT createRasterStorageResult = S_OK; // a failure makes every CreateRasterStorage fail with it
    HRESULT endObjectResult = S_OK;           // what the raster blocks' EndObject returns
    bool attributeClassUnavailable = false;   // KwHostEngine::Start leaves "VelEngine.KwAttribute" unregistered
    HRESULT attributeCreateResult = S_OK;     // a failure makes the class object's CreateInstance fail with it

    // Fault injection: the failCallNumber-th logged host call after the switch was set
    // (1-based; counting only calls of failCallMethod when that is set) returns
    // failCallResult and does nothing. 0: off.
    ULONG failCallNumber = 0;
    std::string failCallMethod;
    HRESULT failCallResult = E_FAIL;

    void Refuse(LONG objectType, HRESULT result = E_FAIL) { refusedChildren.push_back({objectType, result}); }
    void Omit(LONG objectType, REFIID iid) { omittedInterfaces.push_back({objectType, iid}); }
    void FailCall(ULONG number, const std::string& method = std::string(), HRESULT result = E_FAIL)
    {
        failCallNumber = number;
        failCallMethod = method;
        failCallResult = result;
    }

    bool IsOmitted(LONG objectType, REFIID iid) const noexcept
    {
        for (const KwHostOmittedInterface& o : omittedInterfaces)
            if (o.objectType == objectType && IsEqualGUID(o.iid, iid)) return true;
        return false;
    }
    const KwHostChildRefusal* Refusal(LONG objectType) const noexcept
    {
        for (const KwHostChildRefusal& r : refusedChildren)
            if (r.objectType == objectType) return &r;
        return nullptr;
    }
};
