#include "CKwSaveStructure.h"

#include "CKwSaveRasterData.h"

HRESULT CKwSaveStructure::CreateObject(KW_OBJECT_TYPE ObjectType, VARIANT /*ObjectIndex*/,
                                       IKwDescriptorNative* /*Descriptor*/, IUnknown** SaveObject) noexcept
{
    if (SaveObject) *SaveObject = nullptr;
    const LONG kind = ObjectType;
    if (kind >= KW_DOCUMENT && kind <= KW_CONTAINER) return CreateSaveObject<CKwSaveStructure>(OutputStream.Get(), SaveObject);
    if (kind == KW_RASTER_BLOCK) return CreateSaveObject<CKwSaveRasterData>(OutputStream.Get(), SaveObject);
    return E_INVALIDARG;
}
