#include "KwHostAttributeFactory.h"

#include "com/KwComPtr.h"
#include "KwHostAttributeCollection.h"
#include "KwHostContext.h"
#include "private/KwHostHooks.h"

HRESULT KwHostAttributeFactory::Create(std::shared_ptr<KwHostContext> context, IClassFactory** out) noexcept
{
    if (!out) return E_POINTER;
    *out = nullptr;
    KW_HOST_TRY
    *out = new KwHostMade<KwHostAttributeFactory>(KwHostContext::Ensure(std::move(context)), 0, false);
    return S_OK;
    KW_HOST_CATCH
}

HRESULT STDMETHODCALLTYPE KwHostAttributeFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                                                 void** ppvObject) noexcept
{
    if (!ppvObject) return E_POINTER;
    *ppvObject = nullptr;
    if (pUnkOuter) return CLASS_E_NOAGGREGATION;
    KwComPtr<KwHostAttributeCollection> collection;
    HRESULT hr = KwHostAttributeCollection::Create(collection.Receive(), SharedContext());
    if (FAILED(hr)) return hr;
    hr = collection->QueryInterface(riid, ppvObject);
    if (SUCCEEDED(hr)) ++m_Instances;
    return hr;
}

HRESULT STDMETHODCALLTYPE KwHostAttributeFactory::LockServer(BOOL) noexcept { return S_OK; }
