// The save filter (coclass KwFilterSaveJPEG): holds the target stream of a save
// and hands out the save-structure object through which the host walks its document.
#pragma once

#include "IKwFilterSaveImpl.h"
#include "KwComObject.h"

class CKwFilterSaveJPEG final : public IKwFilterSaveImpl<CKwFilterSaveJPEG, &CLSID_KwFilterSaveJPEG>,
                                public KwComObjectRoot<CKwFilterSaveJPEG> {
public:
    CKwFilterSaveJPEG() noexcept = default;
    ~CKwFilterSaveJPEG() = default;

    KW_IMPLEMENT_IUNKNOWN
    static const KwInterfaceEntry* InterfaceTable() noexcept;

    HRESULT STDMETHODCALLTYPE CreateDocument(IKwDataObject* DataObject, IKwDescriptorNative* Descriptor,
                                             IUnknown** SaveObject) noexcept override;

private:
    // The target stream; replaced by every CreateDocument, released with the filter.
    KwComPtr<IStream> OutputStream;
};
