// The one platform header the rest of the code includes. On Windows it is the
// real SDK; elsewhere our own declarations with the same names, values and layouts.
#pragma once

#include <stdio.h>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <objbase.h>
#include <ole2.h>
#include <oleauto.h>
#include <olectl.h>
#include <ocidl.h>
#include <winreg.h>
#include <winver.h>
#ifndef KWPLATFORM_API
#define KWPLATFORM_API extern "C"
#endif
#define KW_IMPLEMENT_DLLMAIN_HOOKS()
// Where registrations go, for diagnostics (elsewhere: the registry file).
KWPLATFORM_API LPCSTR KwRegistryPath(void);
#ifndef ERROR_STOPPED_ON_SYMLINK
#define ERROR_STOPPED_ON_SYMLINK 681L
#endif
// The system's registry is never a damaged file: always 0.
KWPLATFORM_API DWORD KwRegistryDamagedLine(void);
// The system's registry writes each call by itself: a batch changes nothing there.
KWPLATFORM_API LSTATUS KwRegistryBeginBatch(void);
KWPLATFORM_API LSTATUS KwRegistryEndBatch(BOOL commit);
#else
#include "posix/KwWinTypes.h"
#include "posix/KwObjBase.h"
#include "posix/KwWinBase.h"
#endif

// The IID of an interface, named through its type: KwUuidOf<IKwFilter>().
// The primary template is deleted, so an interface without an IID does not compile.
template <typename T> const IID& KwUuidOf() = delete;
#define KW_DEFINE_UUIDOF(Interface, iid)                                                                              \
    template <> inline const IID& KwUuidOf<Interface>() { return iid; }

KW_DEFINE_UUIDOF(IUnknown, IID_IUnknown)
KW_DEFINE_UUIDOF(IDispatch, IID_IDispatch)
KW_DEFINE_UUIDOF(ISequentialStream, IID_ISequentialStream)
KW_DEFINE_UUIDOF(IStream, IID_IStream)
KW_DEFINE_UUIDOF(IClassFactory, IID_IClassFactory)
KW_DEFINE_UUIDOF(ISupportErrorInfo, IID_ISupportErrorInfo)
KW_DEFINE_UUIDOF(IConnectionPointContainer, IID_IConnectionPointContainer)
KW_DEFINE_UUIDOF(IConnectionPoint, IID_IConnectionPoint)
KW_DEFINE_UUIDOF(IEnumConnectionPoints, IID_IEnumConnectionPoints)
KW_DEFINE_UUIDOF(IEnumConnections, IID_IEnumConnections)

// Queries `from` for interface T, typed: KwQuery<IStream>(unk, &stream).
template <typename T> inline HRESULT KwQuery(IUnknown* from, T** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!from) return E_NOINTERFACE;
    return from->QueryInterface(KwUuidOf<T>(), reinterpret_cast<void**>(out));
}

// Type-library registration of a module, the same call on every platform.
// Windows: the TYPELIB resource 1 of the module file is loaded and registered
// with the system (libid and the rest are read from the library itself).
// Elsewhere: the TypeLib keys are written (HKCR\TypeLib\{LIBID}\maj.min =
// description, \lcid\win32 = module path, \FLAGS = 0, \HELPDIR = module folder).
KWPLATFORM_API HRESULT KwRegisterModuleTypeLib(HMODULE module, REFGUID libid, WORD major, WORD minor, LCID lcid,
                                               LPCSTR description);
KWPLATFORM_API HRESULT KwUnregisterModuleTypeLib(HMODULE module, REFGUID libid, WORD major, WORD minor, LCID lcid);

// True when the process's standard error is an interactive terminal (console),
// so a tool may draw progress there.
KWPLATFORM_API BOOL KwStandardErrorIsTerminal(void);

// Makes standard input (0) or standard output (1) carry bytes unchanged, for an
// image through a pipe: Windows opens them in text mode, which turns "\n" into
// "\r\n" and ends input at Ctrl-Z. Elsewhere there is nothing to change.
KWPLATFORM_API BOOL KwSetBinaryStandardStream(int descriptor);

// Names in UTF-8 on every build. Windows keeps file names and the command line
// in UTF-16, so these go through its wide calls there; elsewhere a name is the
// bytes given. KwUtf8CommandLine replaces a console program's arguments with
// the wide command line converted once (left as they are elsewhere, or when it
// cannot be read) and has the console print UTF-8; the new arguments live as
// long as the process.
KWPLATFORM_API void KwUtf8CommandLine(int* argc, char*** argv);
KWPLATFORM_API FILE* KwOpenFileUtf8(LPCSTR path, LPCSTR mode);
KWPLATFORM_API HMODULE KwLoadLibraryUtf8(LPCSTR path);
// As GetModuleFileNameA: the length written without the terminator, 0 on failure,
// `size` when the name was cut.
KWPLATFORM_API DWORD KwModuleFileNameUtf8(HMODULE module, LPSTR buffer, DWORD size);

// Calls `handler` with the signal's number, on a thread of its own, when the
// user interrupts or ends the process: SIGINT, SIGTERM and SIGHUP (those the
// process does not ignore); on Windows Ctrl-C and Ctrl-Break as 2, a closing
// console as 1, log-off and shut-down as 15. The handler ends the process; it
// may take locks and call the C library, as any thread does. Call this before
// the process starts other threads. False when the watch cannot be set up.
typedef void (*KwInterruptHandler)(int signal);
KWPLATFORM_API BOOL KwWatchInterrupts(KwInterruptHandler handler);

// Tells the system that a freshly allocated block of `size` bytes will be
// written whole (an image buffer), so that it may back it with large pages and
// spare the process a fault per small page. A hint only: blocks below a few
// megabytes, and systems without such pages, are left as they are.
KWPLATFORM_API void KwAdviseLargeBlock(void* block, SIZE_T size);
