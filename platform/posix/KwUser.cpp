// The message box: there is no desktop, so the message goes to standard error,
// or to a handler a test or a host installs.
#include "KwPlatform.h"

#include <unistd.h>
#include <cstdio>
#include <mutex>

namespace {

std::mutex g_handlerMutex;
KwMessageBoxHandler g_handler = nullptr;
void* g_handlerContext = nullptr;

} // namespace

KWPLATFORM_API int MessageBoxA(HWND, LPCSTR lpText, LPCSTR lpCaption, UINT uType)
{
    // Windows shows "Error" when no caption is given, and an empty body for no text.
    const char* caption = lpCaption ? lpCaption : "Error";
    const char* text = lpText ? lpText : "";
    KwMessageBoxHandler handler;
    void* context;
    {
        std::lock_guard<std::mutex> lock(g_handlerMutex);
        handler = g_handler;
        context = g_handlerContext;
    }
    if (handler) return handler(context, text, caption, uType);
    std::fprintf(stderr, "%s: %s\n", caption, text);
    std::fflush(stderr);
    return IDOK;
}

KWPLATFORM_API void KwSetMessageBoxHandler(KwMessageBoxHandler handler, void* context)
{
    std::lock_guard<std::mutex> lock(g_handlerMutex);
    g_handler = handler;
    g_handlerContext = handler ? context : nullptr;
}

KWPLATFORM_API BOOL KwStandardErrorIsTerminal(void) { return isatty(2) ? TRUE : FALSE; }

KWPLATFORM_API BOOL KwSetBinaryStandardStream(int descriptor) { return descriptor == 0 || descriptor == 1; }
