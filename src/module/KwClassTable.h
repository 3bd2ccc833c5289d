// The creatable classes of the library and the type library registered with
// them: what DllMain hands to the module.
#pragma once

#include "KwModule.h"

KwModuleDescription KwFilterModuleDescription() noexcept;
