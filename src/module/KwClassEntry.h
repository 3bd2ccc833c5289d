// One row of the module's class table: a creatable class, its registration
// script and its cached class object.
#pragma once

#include <atomic>

#include "KwClassFactory.h"

struct KwClassEntry {
    const CLSID* Clsid;
    KwCreatorFunction Creator;
    WORD RegistryResource;                      // the REGISTRY resource of the class's script
    std::atomic<KwClassFactory*> ClassObject;   // created on first request, released at library end
    // Work a class may need once per process, run at library attach and detach;
    // none of the filter's classes has any, so both are null for them.
    void (*StartHook)();
    void (*EndHook)();
};
