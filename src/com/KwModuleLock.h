// The module lock count: every live object of the library holds one lock, and
// so does every LockServer(TRUE). DllCanUnloadNow answers S_OK only at zero.
#pragma once

#include "KwPlatform.h"

LONG KwModuleLock();
LONG KwModuleUnlock();
LONG KwModuleLockCount();

// Holds one module lock for the lifetime of the object that contains it.
class KwModuleLockHolder {
public:
    KwModuleLockHolder() noexcept { KwModuleLock(); }
    ~KwModuleLockHolder() { KwModuleUnlock(); }
    KwModuleLockHolder(const KwModuleLockHolder&) = delete;
    KwModuleLockHolder& operator=(const KwModuleLockHolder&) = delete;
};
