// The class object of one creatable class.
//
// One instance per class is cached by the module and shared by all callers.
// The cache's own reference does not keep the library loaded: the module lock
// count is raised when a caller's first reference is added and lowered when the
// last caller reference goes. The count is atomic because the cached object is
// reached from any thread through DllGetClassObject.
#pragma once

#include "KwPlatform.h"

// Creates an instance as CreateInstance asks for it: plain without an outer
// object, aggregated (inner unknown returned) with one.
typedef HRESULT (*KwCreatorFunction)(IUnknown* outer, REFIID riid, void** ppv);

class KwClassFactory final : public IClassFactory {
public:
    // A new class object holding one reference: the cache's.
    static HRESULT Create(KwCreatorFunction creator, KwClassFactory** out) noexcept;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) noexcept override;
    ULONG STDMETHODCALLTYPE AddRef() noexcept override;
    ULONG STDMETHODCALLTYPE Release() noexcept override;

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) noexcept override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) noexcept override;

    // Drops the cache's reference (at library end).
    void ReleaseCacheReference() noexcept;

private:
    explicit KwClassFactory(KwCreatorFunction creator) noexcept : m_Creator(creator) {}
    ~KwClassFactory() = default;
    template <typename T> friend void KwDelete(T*) noexcept;
    template <typename T, typename... Args> friend T* KwNew(Args&&...) noexcept;

    KwCreatorFunction m_Creator;
    LONG volatile m_RefCount = 1;    // the cache's reference included
    LONG volatile m_ServerLocks = 0; // LockServer(TRUE) not yet matched
};
