// What the reliability tests ask of the operating system, answered in one
// place for each: the process environment the codec reads, the memory and
// handles the process holds, and where the photographs are installed.
#pragma once

#include <cstdint>
#include <string>

namespace SystemProbe {

// Sets `name` in the process environment, or removes it when `value` is null.
void SetEnvironment(const char* name, const char* value);

// Bytes of the process resident in memory now (the working set), and at most so far.
std::int64_t ResidentBytes();
std::int64_t PeakResidentBytes();

// Descriptors (on Windows, handles) the process holds open; -1 when the system
// does not tell (Wine answers every handle count with 0).
int OpenHandles();

// The folder of the package mate-backgrounds, whose photographs the tests cut down.
std::string PhotoFolder();

} // namespace SystemProbe
