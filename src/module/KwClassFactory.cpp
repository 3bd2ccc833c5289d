#include "KwClassFactory.h"

#include "com/KwComObjectBase.h"
#include "com/KwMemory.h"
#include "com/KwModuleLock.h"

HRESULT KwClassFactory::Create(KwCreatorFunction creator, KwClassFactory** out) noexcept
{
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!creator) return E_INVALIDARG;
    *out = KwNew<KwClassFactory>(creator);
    return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT KwClassFactory::QueryInterface(REFIID riid, void** ppv) noexcept
{
    return KwQueryInterfaceOf<IClassFactory>(this, riid, ppv);
}

ULONG KwClassFactory::AddRef() noexcept
{
    LONG count = InterlockedIncrement(&m_RefCount);
    if (count == 2) KwModuleLock(); // the first reference beside the cache's
    return static_cast<ULONG>(count);
}

ULONG KwClassFactory::Release() noexcept
{
    LONG count = InterlockedDecrement(&m_RefCount);
    if (count == 1) KwModuleUnlock(); // only the cache's reference is left
    if (count == 0) KwDelete(this);
    return static_cast<ULONG>(count);
}

void KwClassFactory::ReleaseCacheReference() noexcept
{
    if (InterlockedDecrement(&m_RefCount) == 0) KwDelete(this);
}

HRESULT KwClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) noexcept
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    return m_Creator(outer, riid, ppv);
}

HRESULT KwClassFactory::LockServer(BOOL lock) noexcept
{
    if (lock) {
        InterlockedIncrement(&m_ServerLocks);
        KwModuleLock();
        return S_OK;
    }
    // An unlock without a lock would take a lock that a live object holds and
    // let the library be unloaded under it.
    for (;;) {
        LONG locks = InterlockedCompareExchange(&m_ServerLocks, 0, 0);
        if (locks <= 0) return E_UNEXPECTED;
        if (InterlockedCompareExchange(&m_ServerLocks, locks - 1, locks) == locks) break;
    }
    KwModuleUnlock();
    return S_OK;
}
