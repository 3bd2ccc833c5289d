#include "KwHostDocument.h"

#include "KwHostContext.h"

HRESULT KwHostDocument::Create(KwHostDocument** out, std::shared_ptr<KwHostContext> context) noexcept
{
    if (!out) return E_POINTER;
    *out = nullptr;
    KW_HOST_TRY
    *out = new KwHostDocument(KwHostContext::Ensure(std::move(context)), "document", KW_DOCUMENT);
    return S_OK;
    KW_HOST_CATCH
}

void* KwHostDocument::FindInterface(REFIID riid) noexcept
{
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IDispatch) || IsEqualGUID(riid, IID_IKwDocument))
        return static_cast<IKwDocument*>(this);
    if (IsEqualGUID(riid, IID_IKwChildren)) return static_cast<IKwChildren*>(this);
    if (IsEqualGUID(riid, IID_IKwAttribute)) return static_cast<IKwAttribute*>(this);
    return nullptr;
}

HRESULT STDMETHODCALLTYPE KwHostDocument::LoadDocument(VARIANT*, IDispatch*) noexcept { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE KwHostDocument::SaveDocument(VARIANT*, IDispatch*, IDispatch*) noexcept { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE KwHostDocument::Close() noexcept { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE KwHostDocument::Open(VARIANT*, IDispatch*) noexcept { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE KwHostDocument::ReleaseDoc() noexcept { return E_NOTIMPL; }
