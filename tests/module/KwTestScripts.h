// Registration scripts for the module's own tests, as REGISTRY resources
// 201-203 of this test program: on Windows the resource script links them in
// (KwTestScripts.rc includes this header); elsewhere the program hands them to
// the platform's resource table itself.
#pragma once

#define KW_TEST_SCRIPT_A                                                                                              \
    "HKCR\r\n{\r\n\tKwT.ModuleA = s '%MODULE%'\r\n\t{\r\n\t\tval Version = s '%VERSION%'\r\n\t}\r\n}\r\n"
#define KW_TEST_SCRIPT_B "HKCR { KwT.ModuleB = s 'b' { 'Bad\\Name' } }"
#define KW_TEST_SCRIPT_C "HKCR { KwT.ModuleC = s 'c' }"

#ifndef RC_INVOKED
#include "KwPlatform.h"

// This program's module, with the scripts above as its resources until KwDetachTestScripts.
HMODULE KwAttachTestScripts();
void KwDetachTestScripts(HMODULE module);
#endif
