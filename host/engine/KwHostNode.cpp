#include "KwHostNode.h"

#include "KwHostContext.h"

HRESULT KwHostNode::Create(LONG objectType, const std::string& label, KwHostNode** out,
                           std::shared_ptr<KwHostContext> context) noexcept
{
    if (!out) return E_POINTER;
    *out = nullptr;
    if (objectType != KW_CONTENTS && objectType != KW_CONTAINER) return E_INVALIDARG;
    KW_HOST_TRY
    *out = new KwHostNode(KwHostContext::Ensure(std::move(context)), label, objectType);
    return S_OK;
    KW_HOST_CATCH
}

void* KwHostNode::FindInterface(REFIID riid) noexcept
{
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IDispatch)) {
        if (IsContents()) return static_cast<IKwContents*>(this);
        return static_cast<IKwContainer*>(this);
    }
    if (IsEqualGUID(riid, IID_IKwContents)) return IsContents() ? static_cast<IKwContents*>(this) : nullptr;
    if (IsEqualGUID(riid, IID_IKwContainer)) return IsContents() ? nullptr : static_cast<IKwContainer*>(this);
    if (IsEqualGUID(riid, IID_IKwChildren)) return static_cast<IKwChildren*>(this);
    if (IsEqualGUID(riid, IID_IKwAttribute)) return static_cast<IKwAttribute*>(this);
    return nullptr;
}
