// On Windows the test programs see the message boxes of the code they link
// statically through the same call the POSIX platform layer offers.
#pragma once

#include "KwPlatform.h"

#ifdef _WIN32
typedef int (*KwMessageBoxHandler)(void* context, LPCSTR text, LPCSTR caption, UINT type);
// Installs a handler that sees every MessageBoxA call instead (null restores the system's box).
void KwSetMessageBoxHandler(KwMessageBoxHandler handler, void* context);
#endif
