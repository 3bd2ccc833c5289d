#include "KwHostDocument.h"

#include "KwHostContext.h"
#include "private/KwHostHooks.h"

HRESULT KwHostDocument::Create(KwHostDocument** out, std::shared_ptr<KwHostContext> context) noexcept
{
    if (!out) return E_POINTER;
    *out = nullptr;
    KW_HOST_TRY
    *out = new KwHostMade<KwHostDocument>(KwHostContext::Ensure(std::move(context)), KW_DOCUMENT);
    return S_OK;
    KW_HOST_CATCH
}

HRESULT STDMETHODCALLTYPE KwHostDocument::LoadDocument(VARIANT*, IDispatch*) noexcept { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE KwHostDocument::SaveDocument(VARIANT*, IDispatch*, IDispatch*) noexcept { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE KwHostDocument::Close() noexcept { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE KwHostDocument::Open(VARIANT*, IDispatch*) noexcept { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE KwHostDocument::ReleaseDoc() noexcept { return E_NOTIMPL; }
