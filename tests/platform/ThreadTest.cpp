// Critical sections and the last-error value of each thread.
#include <gtest/gtest.h>

#include "KwPlatform.h"

#include <atomic>
#include <chrono>
#include <thread>

TEST(Threads, CriticalSectionsAreRecursiveAndExclusive)
{
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    EnterCriticalSection(&cs);
    EnterCriticalSection(&cs); // the owner may enter again
    std::atomic<bool> entered{false};
    std::thread other([&] {
        EnterCriticalSection(&cs);
        entered = true;
        LeaveCriticalSection(&cs);
    });
    LeaveCriticalSection(&cs);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(entered) << "still held once";
    LeaveCriticalSection(&cs);
    other.join();
    EXPECT_TRUE(entered);
    DeleteCriticalSection(&cs);
}

TEST(Threads, LastErrorBelongsToEachThread)
{
    // Any system call may set the caller's last error (starting or joining a
    // thread among them), so the threads meet through atomics alone.
    std::atomic<int> stage{0};
    SetLastError(ERROR_MORE_DATA);
    DWORD seen = 1;
    std::thread other([&] {
        while (stage.load() != 1) {
        }
        seen = GetLastError();
        SetLastError(ERROR_ACCESS_DENIED);
        stage = 2;
    });
    SetLastError(ERROR_MORE_DATA);
    stage = 1;
    while (stage.load() != 2) {
    }
    const DWORD mine = GetLastError();
    other.join();
    EXPECT_EQ(seen, 0u);
    EXPECT_EQ(mine, static_cast<DWORD>(ERROR_MORE_DATA));
}
