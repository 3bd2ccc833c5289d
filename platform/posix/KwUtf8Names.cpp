// Names in UTF-8: here a name is the bytes given, so the narrow calls serve.
#include "KwPlatform.h"

KWPLATFORM_API void KwUtf8CommandLine(int*, char***) {}

KWPLATFORM_API FILE* KwOpenFileUtf8(LPCSTR path, LPCSTR mode) { return fopen(path, mode); }

KWPLATFORM_API HMODULE KwLoadLibraryUtf8(LPCSTR path) { return LoadLibraryA(path); }

KWPLATFORM_API DWORD KwModuleFileNameUtf8(HMODULE module, LPSTR buffer, DWORD size)
{
    return GetModuleFileNameA(module, buffer, size);
}
