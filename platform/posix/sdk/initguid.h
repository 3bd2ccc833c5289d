// Stand-in for <initguid.h>: DEFINE_GUID defines the GUID from here on, so that
// one source file gives each GUID of an included header its storage.
#pragma once

#include "rpcndr.h"

#define INITGUID
#undef DEFINE_GUID
#define DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)                                                \
    EXTERN_C const GUID name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}
