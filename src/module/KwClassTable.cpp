#include "KwClassTable.h"

#include "load/CKwFilterJPEG.h"
#include "save/CKwFilterSaveJPEG.h"
#include "com/KwComObject.h"
#include "KwModuleResources.h"

namespace {

// In registration order. KwSaveStructure and KwSaveRasterData are not here:
// only the save filter makes them.
KwClassEntry g_classes[] = {
    {&CLSID_KwFilterJPEG, &KwCreateComObject<CKwFilterJPEG>, LoadFilterScriptResource, {nullptr}, nullptr, nullptr},
    {&CLSID_KwFilterSaveJPEG, &KwCreateComObject<CKwFilterSaveJPEG>, SaveFilterScriptResource, {nullptr}, nullptr, nullptr},
};

} // namespace

KwModuleDescription KwFilterModuleDescription() noexcept
{
    return {g_classes, sizeof g_classes / sizeof g_classes[0], &LIBID_KWFILTER_JPEGLib, 1, 0,
            "KwFilter_JPEG 1.0 Type Library"};
}
