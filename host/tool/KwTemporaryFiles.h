// The temporary files of conversions in flight, so that an interrupted process
// removes them before it ends (nothing half-written is left behind).
#pragma once

#include <string>

class KwTemporaryFiles {
public:
    static void Add(const std::string& path);
    // The file was renamed into place or removed.
    static void Forget(const std::string& path);
    // Removes every file in flight and keeps the list locked, so that no new
    // one is added: for a process that is about to end.
    static void RemoveAllForExit();
};
