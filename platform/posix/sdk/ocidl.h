// Stand-in for <ocidl.h> on non-Windows systems (the connection-point interfaces): the platform
// layer's declarations, as a widl-generated header includes them.
#pragma once

#include "rpcndr.h"
