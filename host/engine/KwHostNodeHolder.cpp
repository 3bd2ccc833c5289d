#include "KwHostNodeHolder.h"

#include "com/KwAutomation.h"
#include "KwHostNode.h"
#include "KwHostRasterBlock.h"

KwHostObject* KwHostNodeHolder::FindChild(const VARIANT& index) const noexcept
{
    for (const KwHostChildEntry& c : m_Children)
        if (KwHostVariant::IndexEqual(c.Index.Get(), index)) return c.Host;
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
        if (auto* block = dynamic_cast<KwHostRasterBlock*>(c.Host)) out.push_back(block);
    return out;
}

std::vector<KwHostNode*> KwHostNodeHolder::ChildNodes() const
{
    std::vector<KwHostNode*> out;
    for (const KwHostChildEntry& c : m_Children)
        if (auto* node = dynamic_cast<KwHostNode*>(c.Host)) out.push_back(node);
    return out;
}

bool KwHostNodeHolder::ValidIndex(const VARIANT& index) noexcept
{
    LONGLONG n = 0;
    return index.vt == VT_BSTR || KwHostVariant::AsInteger(index, &n);
}

HRESULT KwHostNodeHolder::DoGetChild(const VARIANT& Index, VARIANT* Descriptor, VARIANT* ParentIndex,
                                     IDispatch** Child) noexcept
{
    KW_HOST_TRY
    if (Descriptor) VariantInit(Descriptor);
    if (ParentIndex) VariantInit(ParentIndex);
    if (!Child) return E_POINTER;
    *Child = nullptr;
    for (const KwHostChildEntry& c : m_Children) {
        if (KwHostVariant::IndexEqual(c.Index.Get(), Index)) {
            *Child = c.Child.Get();
            (*Child)->AddRef();
            return S_OK;
        }
    }
    return E_INVALIDARG;
    KW_HOST_CATCH
}

HRESULT KwHostNodeHolder::DoAddChild(const VARIANT& Index, IDispatch* Child, VARIANT_BOOL Protected,
                                     VARIANT* Descriptor) noexcept
{
    KW_HOST_TRY
    if (Descriptor) VariantInit(Descriptor);
    if (!Child) return E_POINTER;
    if (!ValidIndex(Index)) return E_INVALIDARG;
    KwHostChildEntry entry;
    entry.Index = KwHostVariant(Index);
    entry.Child = KwComPtr<IDispatch>(Child);
    entry.ProtectedChild = Protected != VARIANT_FALSE;
    m_Children.push_back(std::move(entry));
    return S_OK;
    KW_HOST_CATCH
}

HRESULT KwHostNodeHolder::DoCreateChild(const VARIANT& Index, const VARIANT& Type, VARIANT_BOOL Protected,
                                        VARIANT* Descriptor, IDispatch** Child) noexcept
{
    KW_HOST_TRY
    LONGLONG type = 0;
    bool typeValid = KwHostVariant::AsInteger(Type, &type);
    const LONG objectType = typeValid ? static_cast<LONG>(type) : 0;
    if (Descriptor) VariantInit(Descriptor);
    if (!Child) return E_POINTER;
    *Child = nullptr;
    if (!typeValid || !ValidIndex(Index)) return E_INVALIDARG;

    KwHostChildEntry entry;
    entry.Index = KwHostVariant(Index);
    entry.ObjectType = objectType;
    entry.ProtectedChild = Protected != VARIANT_FALSE;
    HRESULT hr = S_OK;
    if (objectType == KW_CONTENTS || objectType == KW_CONTAINER) {
        KwComPtr<KwHostNode> node;
        hr = KwHostNode::Create(objectType, node.Receive(), SharedContext());
        if (FAILED(hr)) return hr;
        entry.Host = node.Get();
        entry.Child = KwComPtr<IDispatch>(static_cast<IDispatch*>(node->FindInterface(IID_IDispatch)));
    } else if (objectType == KW_RASTER_BLOCK) {
        KwComPtr<KwHostRasterBlock> block;
        hr = KwHostRasterBlock::Create(block.Receive(), SharedContext());
        if (FAILED(hr)) return hr;
        entry.Host = block.Get();
        entry.Child = KwComPtr<IDispatch>(static_cast<IDispatch*>(block->FindInterface(IID_IDispatch)));
    } else {
        // Documents, text, vector and other blocks are not made by this engine.
        return E_INVALIDARG;
    }
    m_Children.push_back(entry);
    *Child = entry.Child.Get();
    (*Child)->AddRef();
    return S_OK;
    KW_HOST_CATCH
}

HRESULT KwHostNodeHolder::DoRemoveChild(const VARIANT& Index) noexcept
{
    KW_HOST_TRY
    for (auto it = m_Children.begin(); it != m_Children.end(); ++it) {
        if (KwHostVariant::IndexEqual(it->Index.Get(), Index)) {
            if (it->ProtectedChild || m_ProtectChildren) return E_ACCESSDENIED;
            KwHostChildEntry removed = std::move(*it);
            m_Children.erase(it);
            return S_OK;
        }
    }
    return E_INVALIDARG;
    KW_HOST_CATCH
}

HRESULT KwHostNodeHolder::DoRemoveAllChildren() noexcept
{
    KW_HOST_TRY
    // Protected children stay.
    std::vector<KwHostChildEntry> kept;
    for (KwHostChildEntry& c : m_Children)
        if (c.ProtectedChild) kept.push_back(std::move(c));
    std::vector<KwHostChildEntry> removed;
    removed.swap(m_Children);
    m_Children.swap(kept);
    return m_Children.empty() ? S_OK : S_FALSE;
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
    return m_Children[static_cast<size_t>(Position)].Index.CopyTo(Index);
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
