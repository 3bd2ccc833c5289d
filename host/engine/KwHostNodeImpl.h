// The children members (IKwChildGroup slots 15-23, IKwChildren slots 7-14) and
// the parent members (slots 24-26) of host documents and nodes.
#pragma once

#include "KwHostAttributeImpl.h"
#include "KwHostNodeHolder.h"

template <class... Interfaces> class KwHostNodeImpl : public KwHostAttributeImpl<KwHostNodeHolder, Interfaces...> {
public:
    virtual HRESULT STDMETHODCALLTYPE get__EnumChildren(IUnknown** Enumerator) noexcept
    {
        // No enumerator: children are reached by index or by position (GetChildIndex).
        if (Enumerator) *Enumerator = nullptr;
        return E_NOTIMPL;
    }
    virtual HRESULT STDMETHODCALLTYPE GetChild(VARIANT Index, VARIANT* Descriptor, VARIANT* ParentIndex,
                                               IDispatch** Child) noexcept
    {
        return this->DoGetChild(Index, Descriptor, ParentIndex, Child);
    }
    virtual HRESULT STDMETHODCALLTYPE AddChild(VARIANT Index, IDispatch* Child, VARIANT_BOOL Protected,
                                               VARIANT* Descriptor) noexcept
    {
        return this->DoAddChild(Index, Child, Protected, Descriptor);
    }
    virtual HRESULT STDMETHODCALLTYPE CreateChild(VARIANT Index, VARIANT Type, VARIANT_BOOL Protected,
                                                  VARIANT* Descriptor, IDispatch** Child) noexcept
    {
        return this->DoCreateChild(Index, Type, Protected, Descriptor, Child);
    }
    virtual HRESULT STDMETHODCALLTYPE RemoveChild(VARIANT Index) noexcept { return this->DoRemoveChild(Index); }
    virtual HRESULT STDMETHODCALLTYPE RemoveAllChildren() noexcept { return this->DoRemoveAllChildren(); }
    virtual HRESULT STDMETHODCALLTYPE get_ChildCount(LONG* Count) noexcept { return this->DoGetChildCount(Count); }
    virtual HRESULT STDMETHODCALLTYPE get_ProtectChildren(VARIANT_BOOL* Protected) noexcept
    {
        return this->DoGetProtectChildren(Protected);
    }
    virtual HRESULT STDMETHODCALLTYPE put_ProtectChildren(VARIANT_BOOL Protected) noexcept
    {
        return this->DoPutProtectChildren(Protected);
    }
    virtual HRESULT STDMETHODCALLTYPE GetChildIndex(LONG Position, VARIANT* Index) noexcept
    {
        return this->DoGetChildIndex(Position, Index);
    }
    // Nodes do not hold their parents (that would make reference cycles).
    virtual HRESULT STDMETHODCALLTYPE get_Parents(IDispatch** Parents) noexcept
    {
        if (Parents) *Parents = nullptr;
        return E_NOTIMPL;
    }
    virtual HRESULT STDMETHODCALLTYPE get_ParentCount(LONG* Count) noexcept
    {
        if (Count) *Count = 0;
        return E_NOTIMPL;
    }
    virtual HRESULT STDMETHODCALLTYPE GetParent(LONG, VARIANT* Descriptor, VARIANT* ChildIndex,
                                                IDispatch** Parent) noexcept
    {
        if (Descriptor) VariantInit(Descriptor);
        if (ChildIndex) VariantInit(ChildIndex);
        if (Parent) *Parent = nullptr;
        return E_NOTIMPL;
    }

protected:
    using KwHostAttributeImpl<KwHostNodeHolder, Interfaces...>::KwHostAttributeImpl;
};
