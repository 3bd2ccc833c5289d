// Stand-in for <winbase.h>, <winreg.h>, <winuser.h>, <winver.h> and <stringapiset.h>
// on non-Windows systems: the registry, code pages, the message box, module and
// resource functions, interlocked counters and critical sections.
#pragma once

#include "KwWinTypes.h"

// ---------------------------------------------------------------- registry

#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)((LONG)0x80000000))
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)((LONG)0x80000001))
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)((LONG)0x80000002))
#define HKEY_USERS ((HKEY)(ULONG_PTR)((LONG)0x80000003))

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_MULTI_SZ 7
#define REG_QWORD 11

#define REG_OPTION_NON_VOLATILE 0x00000000L
#define REG_OPTION_VOLATILE 0x00000001L
#define REG_CREATED_NEW_KEY 0x00000001L
#define REG_OPENED_EXISTING_KEY 0x00000002L

#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_ALL_ACCESS 0xF003F

// Narrow names are UTF-8. Key names compare without regard to case (ASCII letters).
KWPLATFORM_API LSTATUS RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                                       REGSAM samDesired, const void* lpSecurityAttributes, PHKEY phkResult,
                                       LPDWORD lpdwDisposition);
KWPLATFORM_API LSTATUS RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult);
KWPLATFORM_API LSTATUS RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);
KWPLATFORM_API LSTATUS RegCloseKey(HKEY hKey);
KWPLATFORM_API LSTATUS RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                                      DWORD cbData);
KWPLATFORM_API LSTATUS RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                        BYTE* lpData, LPDWORD lpcbData);
KWPLATFORM_API LSTATUS RegDeleteValueA(HKEY hKey, LPCSTR lpValueName);
// Deletes a key that has no subkeys (its values go with it), as on Windows.
KWPLATFORM_API LSTATUS RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey);
// Deletes a key with its whole subtree (RegDeleteTree semantics; a null lpSubKey empties hKey).
KWPLATFORM_API LSTATUS RegDeleteTreeA(HKEY hKey, LPCSTR lpSubKey);
KWPLATFORM_API LSTATUS RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                                     LPSTR lpClass, LPDWORD lpcchClass, FILETIME* lpftLastWriteTime);
KWPLATFORM_API LSTATUS RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                                     LPDWORD lpReserved, LPDWORD lpType, BYTE* lpData, LPDWORD lpcbData);
// The wide forms: names and string data are UTF-16 and stored as UTF-8.
KWPLATFORM_API LSTATUS RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass, DWORD dwOptions,
                                       REGSAM samDesired, const void* lpSecurityAttributes, PHKEY phkResult,
                                       LPDWORD lpdwDisposition);
KWPLATFORM_API LSTATUS RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);
KWPLATFORM_API LSTATUS RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                                      DWORD cbData);
KWPLATFORM_API LSTATUS RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName);
KWPLATFORM_API LSTATUS RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey);
KWPLATFORM_API LSTATUS RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey);
KWPLATFORM_API LSTATUS RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                                        LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                                        LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                                        LPDWORD lpcbSecurityDescriptor, FILETIME* lpftLastWriteTime);

// The file that holds the persistent registry: $KWPLATFORM_REGISTRY, else a
// per-user default. Returned for diagnostics (kwjpeg prints it).
KWPLATFORM_API LPCSTR KwRegistryPath(void);
// The line (from 1) of the registry file where it is damaged, 0 when it is
// sound. A damaged file is read for the keys that parse and never written:
// writes fail with ERROR_REGISTRY_CORRUPT and leave it as it is.
KWPLATFORM_API DWORD KwRegistryDamagedLine(void);
// A batch: the registry changes of the calling thread until its end reach the
// store together at the end, or (when it is not committed, or a write fails) not
// at all. Other threads' writes wait for the end, at most 30 seconds, then fail
// with ERROR_TIMEOUT; their reads go on and see what is committed. A thread
// that ends inside its batch undoes it. Batches nest: an end without commit
// undoes the whole batch, and the outermost end then refuses to commit with
// ERROR_TRANSACTION_ALREADY_ABORTED. A file past 64 MB is neither read nor
// written (ERROR_FILE_TOO_LARGE). A lock file that is a link is never followed
// (ERROR_STOPPED_ON_SYMLINK).
KWPLATFORM_API LSTATUS KwRegistryBeginBatch(void);
KWPLATFORM_API LSTATUS KwRegistryEndBatch(BOOL commit);

// ---------------------------------------------------------------- code pages

#define CP_ACP 0
#define CP_OEMCP 1
#define CP_THREAD_ACP 3
#define CP_UTF8 65001
#define MB_PRECOMPOSED 0x00000001
#define MB_ERR_INVALID_CHARS 0x00000008
#define WC_ERR_INVALID_CHARS 0x00000080

// The ANSI code page of this platform is UTF-8.
KWPLATFORM_API int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                                       LPWSTR lpWideCharStr, int cchWideChar);
KWPLATFORM_API int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                                       LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                                       LPBOOL lpUsedDefaultChar);

// ---------------------------------------------------------------- user interface

#define MB_OK 0x00000000L
#define MB_ICONERROR 0x00000010L
#define IDOK 1

// Writes "caption: text" to standard error, unless a handler is installed.
KWPLATFORM_API int MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType);
typedef int (*KwMessageBoxHandler)(void* context, LPCSTR text, LPCSTR caption, UINT type);
// Installs a handler that sees every MessageBoxA call instead (null restores the default).
KWPLATFORM_API void KwSetMessageBoxHandler(KwMessageBoxHandler handler, void* context);

// ---------------------------------------------------------------- modules, resources, version information

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

KWPLATFORM_API BOOL DisableThreadLibraryCalls(HMODULE hLibModule);
KWPLATFORM_API DWORD GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize);
// nSize and the result count UTF-16 code units, as on Windows.
KWPLATFORM_API DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize);
KWPLATFORM_API HMODULE LoadLibraryA(LPCSTR lpLibFileName);
KWPLATFORM_API BOOL FreeLibrary(HMODULE hLibModule);
typedef void (*FARPROC)(void);
KWPLATFORM_API FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
KWPLATFORM_API DWORD GetLastError(void);
KWPLATFORM_API void SetLastError(DWORD dwErrCode);

// A module's resources. On this platform the build compiles a module's
// resources into a table that the module hands over when it is loaded.
#define RT_STRING MAKEINTRESOURCEA(6)
#define RT_VERSION MAKEINTRESOURCEA(16)
typedef struct KwResourceEntry {
    LPCSTR Type;     // MAKEINTRESOURCEA(n) or a name such as "REGISTRY" or "TYPELIB"
    WORD Id;
    const void* Data;
    DWORD Size;
} KwResourceEntry;
KWPLATFORM_API void KwRegisterModuleResources(HMODULE hModule, const KwResourceEntry* entries, DWORD count);
KWPLATFORM_API void KwUnregisterModuleResources(HMODULE hModule);

KWPLATFORM_API HRSRC FindResourceA(HMODULE hModule, LPCSTR lpName, LPCSTR lpType);
KWPLATFORM_API HGLOBAL LoadResource(HMODULE hModule, HRSRC hResInfo);
KWPLATFORM_API LPVOID LockResource(HGLOBAL hResData);
KWPLATFORM_API DWORD SizeofResource(HMODULE hModule, HRSRC hResInfo);
KWPLATFORM_API int LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax);

typedef struct tagVS_FIXEDFILEINFO {
    DWORD dwSignature;
    DWORD dwStrucVersion;
    DWORD dwFileVersionMS;
    DWORD dwFileVersionLS;
    DWORD dwProductVersionMS;
    DWORD dwProductVersionLS;
    DWORD dwFileFlagsMask;
    DWORD dwFileFlags;
    DWORD dwFileOS;
    DWORD dwFileType;
    DWORD dwFileSubtype;
    DWORD dwFileDateMS;
    DWORD dwFileDateLS;
} VS_FIXEDFILEINFO;
#define VS_FFI_SIGNATURE 0xFEEF04BDL
#define VS_FFI_STRUCVERSION 0x00010000L
#define VOS__WINDOWS32 0x00000004L
#define VFT_DLL 0x00000002L

// Version information of a loaded module file (its RT_VERSION resource 1).
KWPLATFORM_API DWORD GetFileVersionInfoSizeA(LPCSTR lptstrFilename, LPDWORD lpdwHandle);
KWPLATFORM_API BOOL GetFileVersionInfoA(LPCSTR lptstrFilename, DWORD dwHandle, DWORD dwLen, LPVOID lpData);
KWPLATFORM_API BOOL VerQueryValueA(LPCVOID pBlock, LPCSTR lpSubBlock, LPVOID* lplpBuffer, UINT* puLen);
KWPLATFORM_API DWORD GetFileVersionInfoSizeW(LPCWSTR lptstrFilename, LPDWORD lpdwHandle);
KWPLATFORM_API BOOL GetFileVersionInfoW(LPCWSTR lptstrFilename, DWORD dwHandle, DWORD dwLen, LPVOID lpData);
KWPLATFORM_API BOOL VerQueryValueW(LPCVOID pBlock, LPCWSTR lpSubBlock, LPVOID* lplpBuffer, UINT* puLen);

// ---------------------------------------------------------------- synchronisation

#define INFINITE 0xFFFFFFFF // a wait or delay without end (or the system's default)

inline LONG InterlockedIncrement(LONG volatile* addend) { return __atomic_add_fetch(addend, 1, __ATOMIC_SEQ_CST); }
inline LONG InterlockedDecrement(LONG volatile* addend) { return __atomic_sub_fetch(addend, 1, __ATOMIC_SEQ_CST); }
inline LONG InterlockedExchange(LONG volatile* target, LONG value)
{
    return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedCompareExchange(LONG volatile* dest, LONG exchange, LONG comparand)
{
    __atomic_compare_exchange_n(dest, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
    return comparand;
}

// A recursive mutex, as a Windows critical section is. The storage is large
// enough for the platform's mutex; only the functions below touch it.
typedef struct _CRITICAL_SECTION {
    alignas(8) unsigned char opaque[64];
} CRITICAL_SECTION;
typedef CRITICAL_SECTION* LPCRITICAL_SECTION;
KWPLATFORM_API void InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
KWPLATFORM_API void EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
KWPLATFORM_API void LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
KWPLATFORM_API void DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection);

// ---------------------------------------------------------------- DllMain for shared libraries
//
// A library that defines DllMain puts KW_IMPLEMENT_DLLMAIN_HOOKS() in one source
// file; the loader then calls DllMain with DLL_PROCESS_ATTACH when the library
// is loaded and DLL_PROCESS_DETACH when it is unloaded, passing the library's
// own module handle.
KWPLATFORM_API HMODULE KwModuleHandleFromAddress(const void* address);
#define KW_IMPLEMENT_DLLMAIN_HOOKS()                                                                                  \
    extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID);                                                        \
    namespace {                                                                                                       \
    __attribute__((constructor)) void KwDllMainAttach()                                                              \
    {                                                                                                                 \
        DllMain((HINSTANCE)KwModuleHandleFromAddress((const void*)&KwDllMainAttach), DLL_PROCESS_ATTACH, nullptr);  \
    }                                                                                                                 \
    __attribute__((destructor)) void KwDllMainDetach()                                                               \
    {                                                                                                                 \
        DllMain((HINSTANCE)KwModuleHandleFromAddress((const void*)&KwDllMainAttach), DLL_PROCESS_DETACH, nullptr);  \
    }                                                                                                                 \
    }
