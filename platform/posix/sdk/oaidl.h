// Stand-in for <oaidl.h> on non-Windows systems (IDispatch, BSTR and VARIANT): the platform
// layer's declarations, as a widl-generated header includes them.
#pragma once

#include "rpcndr.h"
