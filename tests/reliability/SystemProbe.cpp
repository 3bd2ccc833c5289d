#include "SystemProbe.h"

#if defined(_WIN32)

#include <cstdlib>

#include "KwPlatform.h"
#include <psapi.h>

namespace {

PROCESS_MEMORY_COUNTERS MemoryCounters()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters))) counters = {};
    return counters;
}

} // namespace

void SystemProbe::SetEnvironment(const char* name, const char* value)
{
    // Through the C runtime, whose copy getenv reads; an empty value removes the name.
    _putenv_s(name, value ? value : "");
}

std::int64_t SystemProbe::ResidentBytes() { return static_cast<std::int64_t>(MemoryCounters().WorkingSetSize); }

std::int64_t SystemProbe::PeakResidentBytes()
{
    return static_cast<std::int64_t>(MemoryCounters().PeakWorkingSetSize);
}

int SystemProbe::OpenHandles()
{
    DWORD count = 0;
    // Every process holds handles (its threads, its console, its files): 0 is
    // Wine's answer to every process (8.0 counts no handles), and tells nothing.
    if (!GetProcessHandleCount(GetCurrentProcess(), &count) || count == 0) return -1;
    return static_cast<int>(count);
}

// Wine maps drive Z: to the root of the Unix file system in every prefix it makes.
std::string SystemProbe::PhotoFolder() { return "Z:/usr/share/backgrounds/mate"; }

#else

#include <dirent.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>

void SystemProbe::SetEnvironment(const char* name, const char* value)
{
    if (value) setenv(name, value, 1);
    else unsetenv(name);
}

std::int64_t SystemProbe::ResidentBytes()
{
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return static_cast<std::int64_t>(resident) * sysconf(_SC_PAGESIZE);
}

std::int64_t SystemProbe::PeakResidentBytes()
{
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<std::int64_t>(usage.ru_maxrss) * 1024;
}

int SystemProbe::OpenHandles()
{
    DIR* d = opendir("/proc/self/fd");
    if (!d) return -1;
    int count = 0;
    while (dirent* e = readdir(d))
        if (e->d_name[0] != '.') ++count;
    closedir(d);
    return count;
}

std::string SystemProbe::PhotoFolder() { return "/usr/share/backgrounds/mate"; }

#endif
