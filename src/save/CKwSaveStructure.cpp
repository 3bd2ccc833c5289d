#include "CKwSaveStructure.h"

#include "CKwSaveRasterData.h"

const KwInterfaceEntry* CKwSaveStructure::InterfaceTable() noexcept
{
    static const KwInterfaceEntry table[] = {
        KW_INTERFACE_ENTRY2(CKwSaveStructure, IUnknown, IKwSaveStructure),
        KW_INTERFACE_ENTRY(CKwSaveStructure, IKwSaveStructure),
        KW_INTERFACE_ENTRY(CKwSaveStructure, ISupportErrorInfo),
        KW_INTERFACE_TABLE_END,
    };
    return table;
}

HRESULT CKwSaveStructure::CreateObject(KW_OBJECT_TYPE ObjectType, VARIANT /*ObjectIndex*/,
                                       IKwDescriptorNative* /*Descriptor*/, IUnknown** SaveObject) noexcept
{
    if (SaveObject) *SaveObject = nullptr;
    const LONG kind = ObjectType;
    if (kind >= KW_DOCUMENT && kind <= KW_CONTAINER) return CreateSaveObject<CKwSaveStructure>(OutputStream.Get(), SaveObject);
    if (kind == KW_RASTER_BLOCK) return CreateSaveObject<CKwSaveRasterData>(OutputStream.Get(), SaveObject);
    return E_INVALIDARG;
}
