#include "KwSystemUnderTest.h"

bool KwRunsUnderWine()
{
#ifdef _WIN32
    // Wine's ntdll exports its version; Windows' does not.
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}

std::vector<UINT> KwUtf8AnsiCodePages()
{
#ifdef _WIN32
    return {};
#else
    return {CP_ACP, CP_THREAD_ACP};
#endif
}

std::vector<VARTYPE> KwVarTypesOnlyWindowsTakes()
{
#ifdef _WIN32
    return {};
#else
    return {VT_ARRAY | VT_I4, VT_VARIANT};
#endif
}
