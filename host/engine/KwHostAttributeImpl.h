// IUnknown, IDispatch and the attribute members of a host class that derives
// from several interfaces: one definition overrides the same member in all of
// them (the attribute group of IKwDocument, IKwContents, IKwContainer and
// IKwRasterBlock, and IKwAttribute).
#pragma once

#include "KwHostAttributeHolder.h"

template <class Holder, class... Interfaces>
class KwHostAttributeImpl : public KwHostImplements<Holder, Interfaces...> {
public:
    // Not marked override: some members below override in one instantiation and not in another.
    KW_HOST_IDISPATCH_()

    // Members of the attribute group (IKwAttributeGroup slots 7-14) and of IKwAttribute;
    // a class whose interfaces lack one of them keeps it as a plain function.
    virtual HRESULT STDMETHODCALLTYPE get_Attributes(IDispatch** Attributes) noexcept
    {
        return this->DoGetAttributes(Attributes);
    }
    virtual HRESULT STDMETHODCALLTYPE get_AttributeCount(LONG* Count) noexcept
    {
        return this->DoGetAttributeCount(Count);
    }
    virtual HRESULT STDMETHODCALLTYPE get_ProtectAttributes(VARIANT_BOOL* Protected) noexcept
    {
        return this->DoGetProtectAttributes(Protected);
    }
    virtual HRESULT STDMETHODCALLTYPE put_ProtectAttributes(VARIANT_BOOL Protected) noexcept
    {
        return this->DoPutProtectAttributes(Protected);
    }
    virtual HRESULT STDMETHODCALLTYPE GetAttribute(BSTR Name, VARIANT* Type, VARIANT* Value) noexcept
    {
        return this->DoGetAttribute(Name, Type, Value);
    }
    virtual HRESULT STDMETHODCALLTYPE PutAttribute(BSTR Name, VARIANT Value, LONG Type) noexcept
    {
        return this->DoPutAttribute(Name, Value, Type);
    }
    virtual HRESULT STDMETHODCALLTYPE RemoveAttribute(BSTR Name) noexcept { return this->DoRemoveAttribute(Name); }
    virtual HRESULT STDMETHODCALLTYPE RemoveAllAttributes() noexcept { return this->DoRemoveAllAttributes(); }
    virtual HRESULT STDMETHODCALLTYPE GetAttributeName(LONG Position, BSTR* Name) noexcept
    {
        return this->DoGetAttributeName(Position, Name);
    }

protected:
    using KwHostImplements<Holder, Interfaces...>::KwHostImplements;
};
