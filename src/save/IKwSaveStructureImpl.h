// The IKwSaveStructure side of a save-structure class: the interface, the methods
// a structure accepts without needing them and error-information support. Its
// parameters, the class and its coclass's identifier, name what the base
// serves, as in every filter base; it uses neither.
#pragma once

#include "KwComObject.h"

template <typename T, const CLSID* Clsid>
class IKwSaveStructureImpl : public IKwSaveStructure, public KwSupportErrorInfoImpl<IKwSaveStructure> {
public:
    // A JPEG file has no place for document attributes.
    HRESULT STDMETHODCALLTYPE PutAttribute(BSTR, VARIANT) noexcept override { return S_OK; }
    // Each raster block writes its own stream when it ends; a structure has nothing to finish.
    HRESULT STDMETHODCALLTYPE EndObject() noexcept override { return S_OK; }

protected:
    IKwSaveStructureImpl() = default;
    ~IKwSaveStructureImpl() = default;
};
