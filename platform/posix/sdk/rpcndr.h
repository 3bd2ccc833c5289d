// Stand-in for <rpcndr.h> and the SDK macros that MIDL-style headers (widl -h)
// use, on non-Windows systems: only the C++ interface declarations are meant
// to compile here, plus the C vtable structs for the interface tests.
#pragma once

#include "../../KwPlatform.h"

#ifndef EXTERN_C
#define EXTERN_C extern "C"
#endif
#define interface struct
#define DECLSPEC_UUID(x)
#define DECLSPEC_NOVTABLE
#define MIDL_INTERFACE(x) struct DECLSPEC_UUID(x) DECLSPEC_NOVTABLE
#define BEGIN_INTERFACE
#define END_INTERFACE
#define CONST_VTBL
#define __RPC_FAR
#define __RPC_USER
#define __RPC_STUB

// Declares a GUID; <initguid.h> makes the same line define it.
#define DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) EXTERN_C const GUID name
