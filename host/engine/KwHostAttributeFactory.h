// The class object of "VelEngine.KwAttribute", registered by KwHostEngine::Start.
// It is engine infrastructure and does not count as a live host object.
#pragma once

#include <atomic>

#include "KwHostObject.h"

class KwHostAttributeFactory : public KwHostImplements<KwHostObject, IClassFactory> {
public:
    static HRESULT Create(std::shared_ptr<KwHostContext> context, IClassFactory** out) noexcept;

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) noexcept override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) noexcept override;

    ULONG Instances() const noexcept { return m_Instances.load(); }

protected:
    using KwHostImplements::KwHostImplements;
    // Filters on every thread of the process create collections through this one object.
    std::atomic<ULONG> m_Instances{0};
};
