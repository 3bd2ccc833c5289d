// Console questions a tool asks of the platform.
#include "KwPlatform.h"

#include <fcntl.h>
#include <io.h>

KWPLATFORM_API BOOL KwStandardErrorIsTerminal(void)
{
    HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
    return handle && handle != INVALID_HANDLE_VALUE && GetFileType(handle) == FILE_TYPE_CHAR;
}

KWPLATFORM_API BOOL KwSetBinaryStandardStream(int descriptor)
{
    if (descriptor != 0 && descriptor != 1) return FALSE;
    return _setmode(descriptor, _O_BINARY) != -1;
}

namespace {

KwInterruptHandler g_interruptHandler = nullptr;

// The system runs this on a thread of its own.
BOOL WINAPI ConsoleControl(DWORD type)
{
    switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT: g_interruptHandler(2); return TRUE;
    case CTRL_CLOSE_EVENT: g_interruptHandler(1); return TRUE;
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT: g_interruptHandler(15); return TRUE;
    default: return FALSE;
    }
}

} // namespace

KWPLATFORM_API BOOL KwWatchInterrupts(KwInterruptHandler handler)
{
    if (!handler || g_interruptHandler) return FALSE;
    g_interruptHandler = handler;
    return SetConsoleCtrlHandler(ConsoleControl, TRUE);
}
