// Stand-in for <windows.h> on non-Windows systems (the basic types): the platform
// layer's declarations, as a widl-generated header includes them.
#pragma once

#include "rpcndr.h"
