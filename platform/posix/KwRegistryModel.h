// The in-memory registry tree and its text file form; used only by the registry.
#pragma once

#include "KwPlatform.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kwposix {

struct RegValue {
    std::string Name; // "" is the default value
    DWORD Type = REG_NONE;
    std::vector<BYTE> Data;
};

struct RegKey {
    std::string Name; // case preserved
    bool IsVolatile = false;
    // Subkeys by upper-case name: lookups ignore case and enumeration comes in
    // the order Windows keeps (names compared upper-cased).
    std::map<std::string, std::unique_ptr<RegKey>> Children;
    std::vector<RegValue> Values; // in the order they were first set

    RegKey* Child(const std::string& name) const;
    RegValue* FindValue(const std::string& name);
    bool HasPersistentContent() const;
};

// The predefined roots, in file order.
enum RegRoot { RootClasses, RootCurrentUser, RootLocalMachine, RootUsers, RootCount };
const char* RegRootName(int root);

struct RegTree {
    RegKey Roots[RootCount];
};

// A deep copy: a batch changes its own copy while other threads read the original.
std::unique_ptr<RegTree> RegCopy(const RegTree& tree);

// Upper-cases ASCII letters: key and value names compare this way.
std::string RegFold(const std::string& name);

// The file form: "[HKEY_LOCAL_MACHINE\Software\Quarvenx]" starts a key,
// then one value per line: @="default", "Name"="text", "Name"=dword:00000108,
// "Name"=hex:01,02 (REG_BINARY) or "Name"=hex(7):... for other types.
// Volatile keys are never written.
std::string RegSerialize(const RegTree& tree);
// Fills `tree` from the text (LF or CRLF line ends); lines that cannot be
// understood are skipped. Returns the number (from 1) of the first such line,
// 0 when every line was understood: a file that was not is damaged, and a
// rewrite would make its loss permanent.
size_t RegParse(const std::string& text, RegTree& tree);

} // namespace kwposix
