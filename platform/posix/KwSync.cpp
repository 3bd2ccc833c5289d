// Critical sections (recursive mutexes) and the thread's last-error value.
#include "KwPlatform.h"

#include <pthread.h>

static_assert(sizeof(pthread_mutex_t) <= sizeof(CRITICAL_SECTION::opaque),
              "a pthread mutex must fit in the storage of a critical section");
static_assert(alignof(pthread_mutex_t) <= 8, "the storage of a critical section is 8-byte aligned");

namespace {

pthread_mutex_t* MutexOf(LPCRITICAL_SECTION cs)
{
    return reinterpret_cast<pthread_mutex_t*>(cs->opaque);
}

thread_local DWORD t_lastError = 0;

} // namespace

KWPLATFORM_API void InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection)
{
    if (!lpCriticalSection) return;
    std::memset(lpCriticalSection, 0, sizeof(*lpCriticalSection));
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    // A critical section may be entered again by the thread that owns it.
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(MutexOf(lpCriticalSection), &attr);
    pthread_mutexattr_destroy(&attr);
}

KWPLATFORM_API void EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection)
{
    if (lpCriticalSection) pthread_mutex_lock(MutexOf(lpCriticalSection));
}

KWPLATFORM_API void LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection)
{
    if (lpCriticalSection) pthread_mutex_unlock(MutexOf(lpCriticalSection));
}

KWPLATFORM_API void DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection)
{
    if (lpCriticalSection) pthread_mutex_destroy(MutexOf(lpCriticalSection));
}

KWPLATFORM_API DWORD GetLastError(void)
{
    return t_lastError;
}

KWPLATFORM_API void SetLastError(DWORD dwErrCode)
{
    t_lastError = dwErrCode;
}
