#include "KwHostNode.h"

#include "KwHostContext.h"
#include "private/KwHostHooks.h"

HRESULT KwHostNode::Create(LONG objectType, KwHostNode** out,
                           std::shared_ptr<KwHostContext> context) noexcept
{
    if (!out) return E_POINTER;
    *out = nullptr;
    if (objectType != KW_CONTENTS && objectType != KW_CONTAINER) return E_INVALIDARG;
    KW_HOST_TRY
    *out = new KwHostMade<KwHostNode>(KwHostContext::Ensure(std::move(context)), objectType);
    return S_OK;
    KW_HOST_CATCH
}

bool KwHostNode::Refuses(REFIID riid) const noexcept
{
    return IsEqualGUID(riid, IsContents() ? IID_IKwContainer : IID_IKwContents);
}
