// Helpers shared by the posix implementation files; not part of the platform API.
#pragma once

#include "KwPlatform.h"

#include <string>

namespace kwposix {

// The file of the module whose base address is `module` (null: the executable),
// as an absolute path; false when no loaded module starts there.
bool ModulePath(HMODULE module, std::string& path);

// The canonical form of a path (symbolic links resolved) when it exists,
// otherwise the path as given.
std::string CanonicalPath(const std::string& path);

// UTF-16 <-> UTF-8 for registry names and values, and for file names: Widen
// carries bytes that are not UTF-8 as U+DC80..U+DCFF, which Narrow gives back.
std::string Narrow(LPCOLESTR text);
std::u16string Widen(const std::string& text);

} // namespace kwposix
