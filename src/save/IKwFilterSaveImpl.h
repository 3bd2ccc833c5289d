// The IKwFilterSave side of a save filter class: the interface, the method the
// filter accepts without needing it and error-information support. Its
// parameters, the class and its coclass's identifier, name what the base
// serves, as in every filter base; it uses neither.
#pragma once

#include "KwComObject.h"

template <typename T, const CLSID* Clsid>
class IKwFilterSaveImpl : public IKwFilterSave, public KwSupportErrorInfoImpl<IKwFilterSave> {
public:
    // The stream stays referenced until the filter is released, so there is nothing to close.
    HRESULT STDMETHODCALLTYPE CloseDocument() noexcept override { return S_OK; }

protected:
    IKwFilterSaveImpl() = default;
    ~IKwFilterSaveImpl() = default;
};
