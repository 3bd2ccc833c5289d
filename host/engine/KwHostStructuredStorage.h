// A storage that is not a byte stream: it answers IUnknown and nothing else,
// as a compound-file storage does for a filter that asks for IStream.
#pragma once

#include "KwHostObject.h"

class KwHostStructuredStorage final : public KwHostObject, public IUnknown {
public:
    static HRESULT Create(IUnknown** out, std::shared_ptr<KwHostContext> context = nullptr) noexcept;

    KW_IMPLEMENT_IUNKNOWN
    void* FindInterface(REFIID riid) noexcept override
    {
        return IsEqualGUID(riid, IID_IUnknown) ? static_cast<IUnknown*>(this) : nullptr;
    }

private:
    using KwHostObject::KwHostObject;
};
