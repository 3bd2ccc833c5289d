#include "KwHostStructuredStorage.h"

#include "KwHostContext.h"
#include "private/KwHostHooks.h"

HRESULT KwHostStructuredStorage::Create(IUnknown** out, std::shared_ptr<KwHostContext> context) noexcept
{
    if (!out) return E_POINTER;
    *out = nullptr;
    KW_HOST_TRY
    *out = static_cast<IUnknown*>(
        new KwHostMade<KwHostStructuredStorage>(KwHostContext::Ensure(std::move(context)), 0));
    return S_OK;
    KW_HOST_CATCH
}
