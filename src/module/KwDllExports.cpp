// The entry points of the filter library. This file goes only into the shared
// library; everything it calls lives in kwfilter_core.
#include "KwClassTable.h"
#include "KwModule.h"
#include "KwModuleResources.h"

KW_IMPLEMENT_DLLMAIN_HOOKS()

namespace {
KwModule g_module; // constant-initialised: ready before the loader calls DllMain
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        KwAttachModuleResources(instance);
        g_module.Attach(instance, KwFilterModuleDescription());
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        g_module.Detach();
        KwDetachModuleResources(instance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) { return g_module.GetClassObject(rclsid, riid, ppv); }

STDAPI DllCanUnloadNow() { return g_module.CanUnloadNow(); }

STDAPI DllRegisterServer() { return g_module.RegisterServer(); }

STDAPI DllUnregisterServer() { return g_module.UnregisterServer(); }
