// The library's allocation points. Every allocation the filter makes on its own
// behalf (objects, row buffers, tables) goes through here, so that a failure can
// be answered with E_OUTOFMEMORY and tests can make any one of them fail.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <utility>

#include "KwAutomation.h"

// Returns null on failure, never throws.
void* KwAllocate(std::size_t size) noexcept;
// As KwAllocate, filled with zero bytes; a large block fresh from the system is
// not written a second time.
void* KwAllocateZeroed(std::size_t size) noexcept;
void KwFree(void* block) noexcept;

// An owned block of count Ts from the allocation point (check for null), freed
// when it goes out of scope. Never held in a frame a codec error may jump over.
struct KwFreeDeleter {
    void operator()(void* block) const noexcept { KwFree(block); }
};
template <typename T> using KwBuffer = std::unique_ptr<T[], KwFreeDeleter>;

template <typename T> KwBuffer<T> KwAllocateBuffer(std::size_t count) noexcept
{
    return KwBuffer<T>(static_cast<T*>(KwAllocate(count * sizeof(T))));
}
template <typename T> KwBuffer<T> KwAllocateZeroedBuffer(std::size_t count) noexcept
{
    return KwBuffer<T>(static_cast<T*>(KwAllocateZeroed(count * sizeof(T))));
}

template <typename T, typename... Args> T* KwNew(Args&&... args) noexcept
{
    void* place = KwAllocate(sizeof(T));
    if (!place) return nullptr;
    return new (place) T(std::forward<Args>(args)...);
}

template <typename T> void KwDelete(T* object) noexcept
{
    if (!object) return;
    object->~T();
    KwFree(object);
}

// The BSTRs the filter makes for its hosts (SysAllocString, SysAllocStringLen),
// through the same hook; null on failure.
BSTR KwAllocString(const OLECHAR* text) noexcept;
BSTR KwAllocStringLen(const OLECHAR* text, UINT length) noexcept;
// An owned BSTR of `text`; check ok().
inline KwBstr KwMakeBstr(const OLECHAR* text) noexcept
{
    KwBstr made;
    *made.Receive() = KwAllocString(text);
    return made;
}

// Test hook: called before each allocation with its running number (from 1);
// answering true makes that allocation fail. Null removes the hook.
typedef bool (*KwAllocationHook)(unsigned long number, std::size_t size);
void KwSetAllocationHook(KwAllocationHook hook) noexcept;
// Inside a hook: true when the allocation asked for is a BSTR (its size is then
// the string's bytes without the terminator).
bool KwAllocatingString() noexcept;
