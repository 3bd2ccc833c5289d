// Console questions a tool asks of the platform.
#include "KwPlatform.h"

KWPLATFORM_API BOOL KwStandardErrorIsTerminal(void)
{
    HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
    return handle && handle != INVALID_HANDLE_VALUE && GetFileType(handle) == FILE_TYPE_CHAR;
}
