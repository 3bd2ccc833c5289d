#include "KwSaveErrorManager.h"

#include "KwPlatform.h"

extern "C" {

// The codec requires that this never returns: the user sees the message, then
// the encode ends by jumping back out of the codec.
static void KwSaveErrorExit(j_common_ptr cinfo)
{
    char text[JMSG_LENGTH_MAX];
    text[0] = '\0';
    (*cinfo->err->format_message)(cinfo, text);
    MessageBoxA(nullptr, text, "JPEG Error", MB_OK);
    KwSaveErrorManager* manager = reinterpret_cast<KwSaveErrorManager*>(cinfo->err);
    std::longjmp(manager->Jump, 1);
}

} // extern "C"

jpeg_error_mgr* KwInitSaveErrorManager(KwSaveErrorManager* manager) noexcept
{
    jpeg_error_mgr* err = jpeg_std_error(&manager->Public);
    err->error_exit = KwSaveErrorExit;
    return err;
}
