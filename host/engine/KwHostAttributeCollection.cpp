#include "KwHostAttributeCollection.h"

#include "KwHostContext.h"
#include "private/KwHostHooks.h"

extern "C" const CLSID CLSID_KwHostAttribute = {
    0x3F2C8A41, 0x6B0D, 0x4E57, {0x9A, 0x1C, 0x5D, 0x7E, 0x20, 0xB4, 0xC9, 0xF3}};

HRESULT KwHostAttributeCollection::Create(KwHostAttributeCollection** out,
                                          std::shared_ptr<KwHostContext> context) noexcept
{
    if (!out) return E_POINTER;
    *out = nullptr;
    KW_HOST_TRY
    *out = new KwHostMade<KwHostAttributeCollection>(KwHostContext::Ensure(std::move(context)), KW_ATTRIBUTE);
    return S_OK;
    KW_HOST_CATCH
}
