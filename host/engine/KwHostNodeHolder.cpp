#include "KwHostNodeHolder.h"

#include "KwAutomation.h"
#include "KwHostContext.h"
#include "KwHostNode.h"
#include "KwHostRasterBlock.h"

KwHostObject* KwHostNodeHolder::FindChild(const VARIANT& index) const noexcept
{
    for (const KwHostChildEntry& c : m_Children)
        if (KwHostVariant::IndexEqual(c.index.Get(), index)) return c.host;
    return nullptr;
}

KwHostNode* KwHostNodeHolder::FindNode(LONG index) const noexcept
{
    VARIANT v;
    v.vt = VT_I4;
    v.lVal = index;
    return dynamic_cast<KwHostNode*>(FindChild(v));
}

KwHostNode* KwHostNodeHolder::FindNode(const std::string& index) const
{
    KwHostVariant v = KwHostVariant::Text(index);
    return dynamic_cast<KwHostNode*>(FindChild(v.Get()));
}

std::vector<KwHostRasterBlock*> KwHostNodeHolder::RasterBlocks() const
{
    std::vector<KwHostRasterBlock*> out;
    for (const KwHostChildEntry& c : m_Children)
        if (auto* block = dynamic_cast<KwHostRasterBlock*>(c.host)) out.push_back(block);
    return out;
}

std::vector<KwHostNode*> KwHostNodeHolder::ChildNodes() const
{
    std::vector<KwHostNode*> out;
    for (const KwHostChildEntry& c : m_Children)
        if (auto* node = dynamic_cast<KwHostNode*>(c.host)) out.push_back(node);
    return out;
}

bool KwHostNodeHolder::ValidIndex(const VARIANT& index) noexcept
{
    LONGLONG n = 0;
    return index.vt == VT_BSTR || KwHostVariant::AsInteger(index, &n);
}

std::string KwHostNodeHolder::ChildLabel(const VARIANT& index) const
{
    return Label() + "/" + KwHostVariant::IndexText(index);
}

HRESULT KwHostNodeHolder::DoGetChild(const VARIANT& Index, VARIANT* Descriptor, VARIANT* ParentIndex,
                                     IDispatch** Child) noexcept
{
    KW_HOST_TRY
    KwHostCall call{Label(), "GetChild"};
    call.name = KwHostVariant::IndexText(Index);
    std::string details = call.name + (Descriptor ? ", Descriptor" : "") + (ParentIndex ? ", ParentIndex" : "");
    if (Descriptor) VariantInit(Descriptor);
    if (ParentIndex) VariantInit(ParentIndex);
    if (!Child) return Context().Record(call, details, E_POINTER);
    *Child = nullptr;
    call.index = KwHostVariant::ForLog(Index);
    HRESULT hr = S_OK;
    if (Context().InjectFailure(call.method, &hr)) return Context().Record(call, details, hr);
    for (const KwHostChildEntry& c : m_Children) {
        if (KwHostVariant::IndexEqual(c.index.Get(), Index)) {
            *Child = c.child.Get();
            (*Child)->AddRef();
            return Context().Record(call, details, S_OK);
        }
    }
    return Context().Record(call, details, E_INVALIDARG);
    KW_HOST_CATCH
}

HRESULT KwHostNodeHolder::DoAddChild(const VARIANT& Index, IDispatch* Child, VARIANT_BOOL Protected,
                                     VARIANT* Descriptor) noexcept
{
    KW_HOST_TRY
    KwHostCall call{Label(), "AddChild"};
    call.name = KwHostVariant::IndexText(Index);
    call.flag = Protected;
    std::string details = call.name + ", Protected " + std::to_string(Protected);
    if (Descriptor) VariantInit(Descriptor);
    HRESULT hr = S_OK;
    if (Context().InjectFailure(call.method, &hr)) return Context().Record(call, details, hr);
    if (!Child) return Context().Record(call, details, E_POINTER);
    if (!ValidIndex(Index)) return Context().Record(call, details, E_INVALIDARG);
    KwHostChildEntry entry;
    entry.index = KwHostVariant(Index);
    entry.child = KwComPtr<IDispatch>(Child);
    entry.protectedChild = Protected != VARIANT_FALSE;
    m_Children.push_back(std::move(entry));
    return Context().Record(call, details, S_OK);
    KW_HOST_CATCH
}

HRESULT KwHostNodeHolder::DoCreateChild(const VARIANT& Index, const VARIANT& Type, VARIANT_BOOL Protected,
                                        VARIANT* Descriptor, IDispatch** Child) noexcept
{
    KW_HOST_TRY
    KwHostCall call{Label(), "CreateChild"};
    call.name = KwHostVariant::IndexText(Index);
    call.flag = Protected;
    LONGLONG type = 0;
    bool typeValid = KwHostVariant::AsInteger(Type, &type);
    call.type = typeValid ? static_cast<LONG>(type) : 0;
    std::string details = call.name + ", " + KwHostVariant::Describe(Type) + ", Protected " +
                          std::to_string(Protected) + (Descriptor ? ", Descriptor" : "");
    call.index = KwHostVariant::ForLog(Index);
    call.value = KwHostVariant::ForLog(Type);
    if (Descriptor) VariantInit(Descriptor);
    if (!Child) return Context().Record(call, details, E_POINTER);
    *Child = nullptr;
    HRESULT hr = S_OK;
    if (Context().InjectFailure(call.method, &hr)) return Context().Record(call, details, hr);
    if (!typeValid || !ValidIndex(Index)) return Context().Record(call, details, E_INVALIDARG);
    if (const KwHostChildRefusal* refusal = Context().Switches().Refusal(call.type))
        return Context().Record(call, details + ", refused", refusal->result);

    KwHostChildEntry entry;
    entry.index = KwHostVariant(Index);
    entry.objectType = call.type;
    entry.protectedChild = Protected != VARIANT_FALSE;
    std::string label = ChildLabel(Index);
    if (call.type == KW_CONTENTS || call.type == KW_CONTAINER) {
        KwComPtr<KwHostNode> node;
        hr = KwHostNode::Create(call.type, label, node.Receive(), SharedContext());
        if (FAILED(hr)) return Context().Record(call, details, hr);
        entry.host = node.Get();
        entry.child = KwComPtr<IDispatch>(static_cast<IDispatch*>(node->FindInterface(IID_IDispatch)));
    } else if (call.type == KW_RASTER_BLOCK) {
        KwComPtr<KwHostRasterBlock> block;
        hr = KwHostRasterBlock::Create(label, block.Receive(), SharedContext());
        if (FAILED(hr)) return Context().Record(call, details, hr);
        entry.host = block.Get();
        entry.child = KwComPtr<IDispatch>(static_cast<IDispatch*>(block->FindInterface(IID_IDispatch)));
    } else {
        // Documents, text, vector and other blocks are not made by this engine.
        return Context().Record(call, details, E_INVALIDARG);
    }
    m_Children.push_back(entry);
    *Child = entry.child.Get();
    (*Child)->AddRef();
    return Context().Record(call, details, S_OK);
    KW_HOST_CATCH
}

HRESULT KwHostNodeHolder::DoRemoveChild(const VARIANT& Index) noexcept
{
    KW_HOST_TRY
    KwHostCall call{Label(), "RemoveChild"};
    call.name = KwHostVariant::IndexText(Index);
    HRESULT hr = S_OK;
    if (Context().InjectFailure(call.method, &hr)) return Context().Record(call, call.name, hr);
    for (auto it = m_Children.begin(); it != m_Children.end(); ++it) {
        if (KwHostVariant::IndexEqual(it->index.Get(), Index)) {
            if (it->protectedChild || m_ProtectChildren) return Context().Record(call, call.name, E_ACCESSDENIED);
            KwHostChildEntry removed = std::move(*it);
            m_Children.erase(it);
            return Context().Record(call, call.name, S_OK);
        }
    }
    return Context().Record(call, call.name, E_INVALIDARG);
    KW_HOST_CATCH
}

HRESULT KwHostNodeHolder::DoRemoveAllChildren() noexcept
{
    KW_HOST_TRY
    KwHostCall call{Label(), "RemoveAllChildren"};
    HRESULT hr = S_OK;
    if (Context().InjectFailure(call.method, &hr)) return Context().Record(call, "", hr);
    // Protected children stay.
    std::vector<KwHostChildEntry> kept;
    for (KwHostChildEntry& c : m_Children)
        if (c.protectedChild) kept.push_back(std::move(c));
    std::vector<KwHostChildEntry> removed;
    removed.swap(m_Children);
    m_Children.swap(kept);
    return Context().Record(call, "", m_Children.empty() ? S_OK : S_FALSE);
    KW_HOST_CATCH
}

HRESULT KwHostNodeHolder::DoGetChildCount(LONG* Count) noexcept
{
    if (!Count) return E_POINTER;
    *Count = static_cast<LONG>(m_Children.size());
    return S_OK;
}

HRESULT KwHostNodeHolder::DoGetChildIndex(LONG Position, VARIANT* Index) noexcept
{
    if (!Index) return E_POINTER;
    VariantInit(Index);
    if (Position < 0 || static_cast<size_t>(Position) >= m_Children.size()) return E_INVALIDARG;
    return m_Children[static_cast<size_t>(Position)].index.CopyTo(Index);
}

HRESULT KwHostNodeHolder::DoGetProtectChildren(VARIANT_BOOL* Protected) noexcept
{
    if (!Protected) return E_POINTER;
    *Protected = m_ProtectChildren ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT KwHostNodeHolder::DoPutProtectChildren(VARIANT_BOOL Protected) noexcept
{
    m_ProtectChildren = Protected != VARIANT_FALSE;
    return S_OK;
}
