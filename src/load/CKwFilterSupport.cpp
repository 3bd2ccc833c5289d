#include "CKwFilterSupport.h"

#include "com/KwAutomation.h"
#include "com/KwComPtr.h"
#include "com/KwMemory.h"

HRESULT CKwFilterSupport::ParseNodeSpec(const VARIANT& NodeSpec, LONG* Kind, LONG* Index) const noexcept
{
    if (!Kind || !Index) return E_POINTER;
    switch (NodeSpec.vt) {
    case VT_EMPTY:
        *Kind = NodeDefault;
        *Index = -1;
        return S_OK;
    case VT_BOOL:
        *Kind = NodeSpec.boolVal == VARIANT_FALSE ? NodeDefault : NodeDefaultTrue;
        *Index = -1;
        return S_OK;
    case VT_I2:
        *Kind = NodeByIndex;
        *Index = NodeSpec.iVal;
        return S_OK;
    case VT_I4:
        *Kind = NodeByIndex;
        *Index = NodeSpec.lVal;
        return S_OK;
    case VT_UI1:
        *Kind = NodeByIndex;
        *Index = NodeSpec.bVal;
        return S_OK;
    default:
        return E_FAIL;
    }
}

HRESULT CKwFilterSupport::GetOrCreateChild(IUnknown* Parent, const VARIANT& Index, LONG ObjectType, bool* Created,
                                           bool* Loaded, IDispatch** Child) const noexcept
{
    if (!Created || !Loaded || !Child) return E_POINTER;
    *Created = false;
    *Loaded = false;
    KwComPtr<IKwChildren> children;
    if (!Parent || FAILED(KwQuery(Parent, children.Receive())) || !children) return E_FAIL;

    KwComPtr<IDispatch> child;
    children->GetChild(Index, nullptr, nullptr, child.Receive());
    if (!child) {
        KwVariant type;
        type.SetI4(ObjectType);
        HRESULT hr = children->CreateChild(Index, type, VARIANT_TRUE, nullptr, child.Receive());
        if (FAILED(hr)) return hr;
        *Created = true;
    } else {
        KwComPtr<IKwAttribute> attributes;
        if (SUCCEEDED(KwQuery(child.Get(), attributes.Receive())) && attributes) {
            KwBstr name = KwMakeBstr(OLESTR("Loaded"));
            if (!name.Ok()) return E_OUTOFMEMORY;
            KwVariant value;
            if (SUCCEEDED(attributes->GetAttribute(name.Get(), nullptr, &value)) && value.vt == VT_BOOL &&
                value.boolVal == VARIANT_TRUE)
                *Loaded = true;
        }
    }
    if (*Child) (*Child)->Release();
    *Child = child.Detach();
    return S_OK;
}

BSTR KwNarrowToBstr(const char* text) noexcept
{
    const int length = MultiByteToWideChar(CP_THREAD_ACP, 0, text, -1, nullptr, 0);
    if (length <= 1) return KwAllocStringLen(nullptr, 0);
    BSTR result = KwAllocStringLen(nullptr, static_cast<UINT>(length - 1));
    if (!result) return nullptr;
    if (MultiByteToWideChar(CP_THREAD_ACP, 0, text, -1, result, length) != length) result[0] = 0;
    return result;
}
