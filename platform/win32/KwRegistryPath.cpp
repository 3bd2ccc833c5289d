// The registry of this platform is the system's own.
#include "KwPlatform.h"

KWPLATFORM_API LPCSTR KwRegistryPath(void) { return "the Windows registry"; }

KWPLATFORM_API DWORD KwRegistryDamagedLine(void) { return 0; }

KWPLATFORM_API LSTATUS KwRegistryBeginBatch(void) { return ERROR_SUCCESS; }

KWPLATFORM_API LSTATUS KwRegistryEndBatch(BOOL) { return ERROR_SUCCESS; }
