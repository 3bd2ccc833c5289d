#include "common/KwMessageBoxHook.h"

#include <mutex>

namespace {

std::mutex g_handlerMutex;
KwMessageBoxHandler g_handler = nullptr;
void* g_handlerContext = nullptr;

int WINAPI MessageBoxDispatch(HWND window, LPCSTR text, LPCSTR caption, UINT type)
{
    KwMessageBoxHandler handler;
    void* context;
    {
        std::lock_guard<std::mutex> lock(g_handlerMutex);
        handler = g_handler;
        context = g_handlerContext;
    }
    // As the system would show them: "Error" for no caption, an empty body for no text.
    if (handler) return handler(context, text ? text : "", caption ? caption : "Error", type);
    using MessageBoxFunction = int(WINAPI*)(HWND, LPCSTR, LPCSTR, UINT);
    // Through void (*)(), the function pointer type that converts to any other without a warning.
    static const auto system = reinterpret_cast<MessageBoxFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(LoadLibraryA("user32.dll"), "MessageBoxA")));
    return system ? system(window, text, caption, type) : 0;
}

} // namespace

// The code under test calls MessageBoxA through its import slot, __imp_MessageBoxA.
// Defined here, the slot is the program's own and the import library's is never linked.
extern "C" {
int(WINAPI* __imp_MessageBoxA)(HWND, LPCSTR, LPCSTR, UINT) = MessageBoxDispatch;
}

void KwSetMessageBoxHandler(KwMessageBoxHandler handler, void* context)
{
    std::lock_guard<std::mutex> lock(g_handlerMutex);
    g_handler = handler;
    g_handlerContext = handler ? context : nullptr;
}
