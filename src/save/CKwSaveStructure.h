// The save-structure object (coclass KwSaveStructure): one level of the host's
// document during a save. It hands out nested levels and raster-data objects,
// all writing to the same output stream.
#pragma once

#include "IKwSaveStructureImpl.h"
#include "KwComObject.h"

class CKwSaveStructure final : public IKwSaveStructureImpl<CKwSaveStructure, &CLSID_KwSaveStructure>,
                               public KwComObjectRoot<CKwSaveStructure> {
public:
    CKwSaveStructure() noexcept = default;
    ~CKwSaveStructure() = default;

    KW_IMPLEMENT_IUNKNOWN
    static const KwInterfaceEntry* InterfaceTable() noexcept;

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
        // The identity entry: the creation reference becomes the caller's.
        *SaveObject = static_cast<IUnknown*>(Child::InterfaceTable()[0].cast(child));
        return S_OK;
    }

private:
    // Counted, so that an object the host keeps past the filter (or past a later
    // CreateDocument) never writes to a released stream.
    KwComPtr<IStream> OutputStream;
};
