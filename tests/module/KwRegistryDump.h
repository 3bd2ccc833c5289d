// A registry subtree as text, for comparing what registration wrote:
//   ROOT\path\to\key
//     @ = s "default value"
//     Name = d 4
// keys in depth-first order, subkeys and values sorted by name (without
// regard to case), the default value named @.
#pragma once

#include <string>

#include "KwPlatform.h"

// `path` is "HKCR\\..." or "HKLM\\..."; an empty string when the key is missing.
std::string KwDumpRegistry(const std::string& path);
// Opens "HKCR\\a\\b" (null when missing); the caller closes the key.
HKEY KwOpenRegistryPath(const std::string& path, REGSAM access = KEY_READ);
// Creates "HKCR\\a\\b", optionally with a string value (`name` empty: the default value).
bool KwCreateRegistryPath(const std::string& path, const char* name = nullptr, const char* value = nullptr);
