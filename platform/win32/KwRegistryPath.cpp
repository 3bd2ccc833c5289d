// The registry of this platform is the system's own.
#include "KwPlatform.h"

KWPLATFORM_API LPCSTR KwRegistryPath(void) { return "the Windows registry"; }
