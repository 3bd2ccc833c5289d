// The save-structure object (coclass KwSaveStructure): one level of the host's
// document during a save. It hands out nested levels and raster-data objects,
// all writing to the same output stream.
#pragma once

#include "IKwSaveStructureImpl.h"

class CKwSaveStructure final : public IKwSaveStructureImpl<CKwSaveStructure> {
public:
    CKwSaveStructure() noexcept = default;
    ~CKwSaveStructure() = default;

    // Set by the creator right after creation; copied into every child.
    void SetOutputStream(IStream* stream) noexcept { OutputStream = KwComPtr<IStream>(stream); }

    HRESULT STDMETHODCALLTYPE CreateObject(KW_OBJECT_TYPE ObjectType, VARIANT ObjectIndex,
                                           IKwDescriptorNative* Descriptor, IUnknown** SaveObject) noexcept override;

    // Creates a save object (a structure or raster data) on the given stream and
    // hands out its IUnknown: E_OUTOFMEMORY when it cannot be made, E_POINTER
    // (and nothing made) for a null SaveObject.
    template <typename Child> static HRESULT CreateSaveObject(IStream* stream, IUnknown** SaveObject) noexcept
    {
        Child* child = nullptr;
        if (FAILED(KwCreatePlainObject(&child))) return E_OUTOFMEMORY;
        if (!SaveObject) {
            child->Release();
            return E_POINTER;
        }
        child->SetOutputStream(stream);
        // The identity: the creation reference becomes the caller's.
        *SaveObject = child->Identity();
        return S_OK;
    }

private:
    // Counted, so that an object the host keeps past the filter (or past a later
    // CreateDocument) never writes to a released stream.
    KwComPtr<IStream> OutputStream;
};
