#include "CKwFilterSaveJPEG.h"

#include "CKwSaveStructure.h"

HRESULT CKwFilterSaveJPEG::CreateDocument(IKwDataObject* DataObject, IKwDescriptorNative* /*Descriptor*/,
                                          IUnknown** SaveObject) noexcept
{
    if (SaveObject) *SaveObject = nullptr;
    CKwSaveStructure* created = nullptr;
    if (FAILED(KwCreatePlainObject(&created))) return E_OUTOFMEMORY;
    KwComPtr<IKwSaveStructure> structure;
    structure.Attach(created);
    if (!SaveObject || !DataObject) return E_POINTER;

    // Only the interface pointer counts; the property's result is not examined.
    KwComPtr<IUnknown> storage;
    DataObject->get_Storage(storage.Receive());
    KwComPtr<IStream> stream;
    if (storage) KwQuery<IStream>(storage.Get(), stream.Receive());
    OutputStream = stream;
    if (!OutputStream) return E_FAIL; // not bound, or bound to something that is not a stream

    created->SetOutputStream(OutputStream.Get());
    *SaveObject = structure.Detach();
    return S_OK;
}
