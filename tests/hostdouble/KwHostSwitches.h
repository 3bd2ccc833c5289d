// The switches of one engine of the test build: what its objects refuse, leave
// out or answer differently. Read by the objects at every call, so a test may
// change them at any time.
#pragma once

#include <string>
#include <vector>

#include "KwPlatform.h"

struct KwHostChildRefusal {
    LONG ObjectType;  // the KW_OBJECT_TYPE that CreateChild refuses
    HRESULT Result;   // a failure: CreateChild returns it; a success: it returns that with no child
};

struct KwHostOmittedInterface {
    LONG ObjectType;  // KW_DOCUMENT, KW_CONTENTS, KW_CONTAINER, KW_RASTER_BLOCK, KW_ATTRIBUTE, KW_DATA_OBJECT
    IID Iid;
};

struct KwHostSwitches {
    std::vector<KwHostChildRefusal> RefusedChildren;
    std::vector<KwHostOmittedInterface> OmittedInterfaces;

    HRESULT GetAttributeResult = S_OK;        // a failure makes every GetAttribute fail with it
    HRESULT CreateRasterStorageResult = S_OK; // a failure makes every CreateRasterStorage fail with it
    HRESULT EndObjectResult = S_OK;           // what the raster blocks' EndObject returns
    bool AttributeClassUnavailable = false;   // KwHostEngine::Start leaves "VelEngine.KwAttribute" unregistered
    HRESULT AttributeCreateResult = S_OK;     // a failure makes the class object's CreateInstance fail with it

    // Fault injection: the failCallNumber-th logged host call after the switch was set
    // (1-based; counting only calls of failCallMethod when that is set) returns
    // failCallResult and does nothing. 0: off.
    ULONG FailCallNumber = 0;
    std::string FailCallMethod;
    HRESULT FailCallResult = E_FAIL;

    void Refuse(LONG objectType, HRESULT result = E_FAIL) { RefusedChildren.push_back({objectType, result}); }
    void Omit(LONG objectType, REFIID iid) { OmittedInterfaces.push_back({objectType, iid}); }
    void FailCall(ULONG number, const std::string& method = std::string(), HRESULT result = E_FAIL)
    {
        FailCallNumber = number;
        FailCallMethod = method;
        FailCallResult = result;
    }

    bool IsOmitted(LONG objectType, REFIID iid) const noexcept
    {
        for (const KwHostOmittedInterface& o : OmittedInterfaces)
            if (o.ObjectType == objectType && IsEqualGUID(o.Iid, iid)) return true;
        return false;
    }
    const KwHostChildRefusal* Refusal(LONG objectType) const noexcept
    {
        for (const KwHostChildRefusal& r : RefusedChildren)
            if (r.ObjectType == objectType) return &r;
        return nullptr;
    }
};
