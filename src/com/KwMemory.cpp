#include "KwMemory.h"

#include <atomic>
#include <cstdlib>

#include "KwPlatform.h"

namespace {
std::atomic<KwAllocationHook> g_hook{nullptr};
std::atomic<unsigned long> g_count{0};
thread_local bool t_string = false;

bool HookRefuses(std::size_t size, bool string) noexcept
{
    KwAllocationHook hook = g_hook.load(std::memory_order_relaxed);
    if (!hook) return false;
    t_string = string;
    const bool refused = hook(++g_count, size);
    t_string = false;
    return refused;
}
} // namespace

void* KwAllocate(std::size_t size) noexcept
{
    if (HookRefuses(size, false)) return nullptr;
    return std::malloc(size ? size : 1);
}

void* KwAllocateZeroed(std::size_t size) noexcept
{
    if (HookRefuses(size, false)) return nullptr;
    void* block = std::calloc(size ? size : 1, 1);
    // Zeroed blocks are the image buffers, written whole soon after.
    if (block) KwAdviseLargeBlock(block, size);
    return block;
}

void KwFree(void* block) noexcept { std::free(block); }

BSTR KwAllocString(const OLECHAR* text) noexcept
{
    if (!text) return nullptr;
    UINT length = 0;
    while (text[length]) ++length;
    return KwAllocStringLen(text, length);
}

BSTR KwAllocStringLen(const OLECHAR* text, UINT length) noexcept
{
    if (HookRefuses(static_cast<std::size_t>(length) * sizeof(OLECHAR), true)) return nullptr;
    return SysAllocStringLen(text, length);
}

void KwSetAllocationHook(KwAllocationHook hook) noexcept
{
    g_count = 0;
    g_hook = hook;
}

bool KwAllocatingString() noexcept { return t_string; }
