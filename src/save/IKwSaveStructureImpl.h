// The base of a save-structure class T: the COM object answering
// IKwSaveStructure (the identity) and ISupportErrorInfo, and the methods a
// structure accepts without needing them.
#pragma once

#include "com/KwComObject.h"

template <typename T> class IKwSaveStructureImpl : public KwComObject<T, IKwSaveStructure, ISupportErrorInfo> {
public:
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) noexcept override
    {
        return KwSupportsErrorInfo<IKwSaveStructure>(riid);
    }
    // A JPEG file has no place for document attributes.
    HRESULT STDMETHODCALLTYPE PutAttribute(BSTR, VARIANT) noexcept override { return S_OK; }
    // Each raster block writes its own stream when it ends; a structure has nothing to finish.
    HRESULT STDMETHODCALLTYPE EndObject() noexcept override { return S_OK; }

protected:
    IKwSaveStructureImpl() = default;
    ~IKwSaveStructureImpl() = default;
};
