// The IKwFilterSave side of a save filter class: the interface, the method the
// filter accepts without needing it, error-information support and the class id.
#pragma once

#include "KwComObject.h"

template <typename T, const CLSID* Clsid>
class IKwFilterSaveImpl : public IKwFilterSave, public KwSupportErrorInfoImpl<IKwFilterSave> {
public:
    static const CLSID& ObjectClsid() noexcept { return *Clsid; }

    // The stream stays referenced until the filter is released, so there is nothing to close.
    HRESULT STDMETHODCALLTYPE CloseDocument() noexcept override { return S_OK; }

protected:
    IKwFilterSaveImpl() = default;
    ~IKwFilterSaveImpl() = default;
};
