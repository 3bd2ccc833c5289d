// The attribute collection class "VelEngine.KwAttribute": ordered named values
// reached through IKwAttribute.
#pragma once

#include "KwHostAttributeImpl.h"

// The class identifier under which KwHostEngine registers the collection class.
extern "C" const CLSID CLSID_KwHostAttribute;

class KwHostAttributeCollection : public KwHostAttributeImpl<KwHostAttributeHolder, IKwAttribute> {
public:
    static HRESULT Create(KwHostAttributeCollection** out, std::shared_ptr<KwHostContext> context = nullptr) noexcept;

protected:
    using KwHostAttributeImpl::KwHostAttributeImpl;
};
