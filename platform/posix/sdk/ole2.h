// Stand-in for <ole2.h> on non-Windows systems (the COM runtime): the platform
// layer's declarations, as a widl-generated header includes them.
#pragma once

#include "rpcndr.h"
