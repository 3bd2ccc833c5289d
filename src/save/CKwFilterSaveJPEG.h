// The save filter (coclass KwFilterSaveJPEG): holds the target stream of a save
// and hands out the save-structure object through which the host walks its document.
#pragma once

#include "IKwFilterSaveImpl.h"

class CKwFilterSaveJPEG final : public IKwFilterSaveImpl<CKwFilterSaveJPEG> {
public:
    CKwFilterSaveJPEG() noexcept = default;
    ~CKwFilterSaveJPEG() = default;

    HRESULT STDMETHODCALLTYPE CreateDocument(IKwDataObject* DataObject, IKwDescriptorNative* Descriptor,
                                             IUnknown** SaveObject) noexcept override;

private:
    // The target stream; replaced by every CreateDocument, released with the filter.
    KwComPtr<IStream> OutputStream;
};
