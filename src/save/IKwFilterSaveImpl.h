// The base of a save filter class T: the COM object answering IKwFilterSave
// (the identity) and ISupportErrorInfo, and the method the filter accepts
// without needing it.
#pragma once

#include "com/KwComObject.h"

template <typename T> class IKwFilterSaveImpl : public KwComObject<T, IKwFilterSave, ISupportErrorInfo> {
public:
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) noexcept override
    {
        return KwSupportsErrorInfo<IKwFilterSave>(riid);
    }
    // The stream stays referenced until the filter is released, so there is nothing to close.
    HRESULT STDMETHODCALLTYPE CloseDocument() noexcept override { return S_OK; }

protected:
    IKwFilterSaveImpl() = default;
    ~IKwFilterSaveImpl() = default;
};
