#include "KwSaveErrorManager.h"

#include <type_traits>

#include "JpegStreamDestination.h"
#include "KwPlatform.h"

// The codec holds a pointer to Public; the wrappers and error_exit find the whole record from it.
static_assert(std::is_standard_layout<KwSaveErrorManager>::value, "Public must start the record");

namespace {

KwSaveErrorManager* ManagerOf(j_compress_ptr cinfo) noexcept
{
    return reinterpret_cast<KwSaveErrorManager*>(cinfo->err);
}

} // namespace

extern "C" {

// The codec requires that this never returns: the user sees the message, then
// the encode ends by jumping back to the wrapper that started the call.
static void KwSaveErrorExit(j_common_ptr cinfo)
{
    char text[JMSG_LENGTH_MAX];
    text[0] = '\0';
    (*cinfo->err->format_message)(cinfo, text);
    MessageBoxA(nullptr, text, "JPEG Error", MB_OK);
    std::longjmp(reinterpret_cast<KwSaveErrorManager*>(cinfo->err)->Jump, 1);
}

} // extern "C"

void KwSaveErrorManager::Attach(j_compress_ptr cinfo) noexcept
{
    jpeg_std_error(&Public);
    Public.error_exit = KwSaveErrorExit;
    cinfo->err = &Public;
}

bool KwSaveErrorManager::CreateCompress(j_compress_ptr cinfo) noexcept
{
    if (setjmp(ManagerOf(cinfo)->Jump)) return false;
    jpeg_create_compress(cinfo);
    return true;
}

bool KwSaveErrorManager::InstallDestination(j_compress_ptr cinfo, CKwSaveRasterData* owner) noexcept
{
    if (setjmp(ManagerOf(cinfo)->Jump)) return false;
    InstallStreamDestination(cinfo, owner);
    return true;
}

bool KwSaveErrorManager::SetDefaults(j_compress_ptr cinfo) noexcept
{
    if (setjmp(ManagerOf(cinfo)->Jump)) return false;
    jpeg_set_defaults(cinfo);
    return true;
}

bool KwSaveErrorManager::SetQuality(j_compress_ptr cinfo, int quality) noexcept
{
    if (setjmp(ManagerOf(cinfo)->Jump)) return false;
    jpeg_set_quality(cinfo, quality, TRUE);
    return true;
}

bool KwSaveErrorManager::StartCompress(j_compress_ptr cinfo) noexcept
{
    if (setjmp(ManagerOf(cinfo)->Jump)) return false;
    jpeg_start_compress(cinfo, TRUE);
    return true;
}

bool KwSaveErrorManager::WriteScanline(j_compress_ptr cinfo, JSAMPROW row) noexcept
{
    if (setjmp(ManagerOf(cinfo)->Jump)) return false;
    JSAMPROW rows[1] = {row};
    return jpeg_write_scanlines(cinfo, rows, 1) == 1;
}

bool KwSaveErrorManager::FinishCompress(j_compress_ptr cinfo) noexcept
{
    if (setjmp(ManagerOf(cinfo)->Jump)) return false;
    jpeg_finish_compress(cinfo);
    return true;
}
