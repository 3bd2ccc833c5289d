// The interrupt watch: the signals are blocked in every thread and one thread
// waits for them with sigwait, so the handler runs as ordinary code, not in a
// signal context.
#include "KwPlatform.h"

#include <pthread.h>
#include <signal.h>

namespace {

KwInterruptHandler g_interruptHandler = nullptr;
sigset_t g_watched;

void* WatchInterrupts(void*)
{
    for (;;) {
        int signal = 0;
        if (sigwait(&g_watched, &signal) == 0) g_interruptHandler(signal);
    }
    return nullptr;
}

} // namespace

KWPLATFORM_API BOOL KwWatchInterrupts(KwInterruptHandler handler)
{
    if (!handler || g_interruptHandler) return FALSE;
    sigemptyset(&g_watched);
    sigaddset(&g_watched, SIGINT);
    sigaddset(&g_watched, SIGTERM);
    // A hang-up that nohup set aside stays ignored. An interrupt is always
    // taken: a script's background job starts with SIGINT ignored, and a
    // `kill -INT` sent to it must still stop it cleanly.
    struct sigaction hangup;
    if (sigaction(SIGHUP, nullptr, &hangup) == 0 && hangup.sa_handler != SIG_IGN) sigaddset(&g_watched, SIGHUP);
    g_interruptHandler = handler;
    if (pthread_sigmask(SIG_BLOCK, &g_watched, nullptr) != 0) return FALSE;
    // An ignored signal may be dropped before it is queued: give it back its
    // default action, which never runs while the signal stays blocked.
    struct sigaction fallback = {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(SIGINT, &fallback, nullptr);
    pthread_attr_t attributes;
    pthread_t thread;
    bool started = pthread_attr_init(&attributes) == 0;
    started = started && pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED) == 0 &&
              pthread_create(&thread, &attributes, WatchInterrupts, nullptr) == 0;
    pthread_attr_destroy(&attributes);
    if (!started) pthread_sigmask(SIG_UNBLOCK, &g_watched, nullptr);
    return started ? TRUE : FALSE;
}
