// Entry points whose implementation lands in the following changes.
#include "KwPlatform.h"

KWPLATFORM_API void KwRegisterModuleResources(HMODULE, const KwResourceEntry*, DWORD) {}
KWPLATFORM_API void KwUnregisterModuleResources(HMODULE) {}
KWPLATFORM_API HRSRC FindResourceA(HMODULE, LPCSTR, LPCSTR) { SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND); return nullptr; }
KWPLATFORM_API HGLOBAL LoadResource(HMODULE, HRSRC) { return nullptr; }
KWPLATFORM_API LPVOID LockResource(HGLOBAL) { return nullptr; }
KWPLATFORM_API DWORD SizeofResource(HMODULE, HRSRC) { return 0; }
KWPLATFORM_API int LoadStringA(HINSTANCE, UINT, LPSTR, int) { return 0; }
KWPLATFORM_API DWORD GetFileVersionInfoSizeA(LPCSTR, LPDWORD) { SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND); return 0; }
KWPLATFORM_API BOOL GetFileVersionInfoA(LPCSTR, DWORD, DWORD, LPVOID) { return FALSE; }
KWPLATFORM_API BOOL VerQueryValueA(LPCVOID, LPCSTR, LPVOID*, UINT*) { return FALSE; }
KWPLATFORM_API HRESULT KwRegisterModuleTypeLib(HMODULE, REFGUID, WORD, WORD, LCID, LPCSTR) { return E_NOTIMPL; }
KWPLATFORM_API HRESULT KwUnregisterModuleTypeLib(HMODULE, REFGUID, WORD, WORD, LCID) { return E_NOTIMPL; }
