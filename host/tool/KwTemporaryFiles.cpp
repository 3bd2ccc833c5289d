#include "KwTemporaryFiles.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <vector>

#include "KwPaths.h"

namespace {

// Never destroyed: an interrupt may arrive while the process runs its exit.
std::mutex& Lock()
{
    static std::mutex* lock = new std::mutex;
    return *lock;
}

std::vector<std::string>& Paths()
{
    static std::vector<std::string>* paths = new std::vector<std::string>;
    return *paths;
}

} // namespace

void KwTemporaryFiles::Add(const std::string& path)
{
    std::lock_guard<std::mutex> guard(Lock());
    Paths().push_back(path);
}

void KwTemporaryFiles::Forget(const std::string& path)
{
    std::lock_guard<std::mutex> guard(Lock());
    std::vector<std::string>& paths = Paths();
    auto it = std::find(paths.begin(), paths.end(), path);
    if (it != paths.end()) paths.erase(it);
}

void KwTemporaryFiles::RemoveAllForExit()
{
    Lock().lock();
    for (const std::string& path : Paths()) KwPaths::Remove(path);
}
