#include "KwModuleLock.h"

namespace {
LONG volatile g_lockCount = 0;
}

LONG KwModuleLock() { return InterlockedIncrement(&g_lockCount); }
LONG KwModuleUnlock() { return InterlockedDecrement(&g_lockCount); }
LONG KwModuleLockCount() { return InterlockedCompareExchange(&g_lockCount, 0, 0); }
