// The load filter (coclass KwFilterJPEG): accepts a JPEG stream, describes the
// document, and loads its one image node into a host raster block.
#pragma once

#include "CKwFilterSupport.h"
#include "IKwFilterImpl.h"
#include "codec/KwIccProfile.h"
#include "com/KwComPtr.h"

class CKwFilterJPEG final : public IKwFilterImpl<CKwFilterJPEG>, public CKwFilterSupport {
public:
    static const int StorageNameSize = 260;
    static const ULONG HeaderSize = 30;
    static const int DamageTextSize = 256;

    CKwFilterJPEG() noexcept;
    ~CKwFilterJPEG();

    HRESULT STDMETHODCALLTYPE OpenDocument(IKwDataObject* DataObject, IKwDocument* Document,
                                           IKwFilters* Filters) noexcept override;
    HRESULT STDMETHODCALLTYPE GetNode(VARIANT NodeSpec, VARIANT_BOOL Load, IDispatch** NodeObject) noexcept override;

private:
    HRESULT TakeStorageName() noexcept;
    bool AcceptStream() noexcept;
    HRESULT DescribeDocument() noexcept;
    // The node's attributes are published as the node is created, then once its image is loaded.
    enum class Stage { NodeCreated, ImageLoaded };
    struct PublishedAttribute;
    HRESULT PublishAttributes(Stage stage, IKwContainer* node) noexcept;
    HRESULT LoadNode(IKwContainer* node) noexcept;
    HRESULT Decode(IKwRasterBlock* raster) noexcept;
    static bool AskToGoOn(void* context) noexcept;
    HRESULT CreateStorage(IKwRasterBlock* raster) noexcept;

    LONG m_Width;
    LONG m_Height;
    LONG m_BitsPerPixel;
    double m_LpiX;
    double m_LpiY;
    LONG m_FileSize;
    char m_StorageName[StorageNameSize];
    LONG m_ExifFound;
    // Of the last load: the EXIF orientation (1 to 8; 0 when the file gives
    // none) and what the codec said of damaged data (empty when nothing).
    LONG m_Orientation;
    char m_Damage[DamageTextSize];
    // The colour profile the file embeds, of the last load (empty when none).
    KwIccProfile m_Profile;
    KwComPtr<IKwDataObject> m_DataObject;
    KwComPtr<IStream> m_Stream;
    KwComPtr<IKwDocument> m_Document;
    KwComPtr<IKwContents> m_Contents;
    // Set while a load runs: a Progress sink must not start another load or
    // replace the stream under the running decode.
    bool m_Busy;
};
