// What the platform suite needs to know about the system it runs on: the one
// place that tells Windows (or Wine) from our POSIX layer.
#pragma once

#include "KwPlatform.h"

#include <vector>

// True under Wine, which departs from documented Windows behaviour in a few
// places; the cases it cannot pass skip there, naming the departure.
bool KwRunsUnderWine();

// The ANSI code pages that read UTF-8: on our POSIX layer the thread's ANSI
// code page is UTF-8; on Windows it is the system's legacy code page.
std::vector<UINT> KwUtf8AnsiCodePages();

// VARIANT types that Windows copies and clears but our POSIX layer refuses:
// it makes no arrays, and no VT_VARIANT outside VT_BYREF.
std::vector<VARTYPE> KwVarTypesOnlyWindowsTakes();
