#include "KwTestScripts.h"

#if defined(_WIN32)

// The resources are linked into the program (KwTestScripts.rc).
HMODULE KwAttachTestScripts() { return GetModuleHandleA(nullptr); }

void KwDetachTestScripts(HMODULE) {}

#else

HMODULE KwAttachTestScripts()
{
    static const char ScriptA[] = KW_TEST_SCRIPT_A;
    static const char ScriptB[] = KW_TEST_SCRIPT_B;
    static const char ScriptC[] = KW_TEST_SCRIPT_C;
    static const KwResourceEntry resources[] = {
        {"REGISTRY", 201, ScriptA, sizeof ScriptA - 1},
        {"REGISTRY", 202, ScriptB, sizeof ScriptB - 1},
        {"REGISTRY", 203, ScriptC, sizeof ScriptC - 1},
    };
    HMODULE self = KwModuleHandleFromAddress(reinterpret_cast<const void*>(&KwAttachTestScripts));
    if (self) KwRegisterModuleResources(self, resources, 3);
    return self;
}

void KwDetachTestScripts(HMODULE module) { KwUnregisterModuleResources(module); }

#endif
