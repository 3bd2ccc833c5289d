#include "KwMemory.h"

#include <atomic>
#include <cstdlib>

#include "KwPlatform.h"

namespace {
std::atomic<KwAllocationHook> g_hook{nullptr};
std::atomic<unsigned long> g_count{0};
} // namespace

void* KwAllocate(std::size_t size) noexcept
{
    if (KwAllocationHook hook = g_hook.load(std::memory_order_relaxed)) {
        if (hook(++g_count, size)) return nullptr;
    }
    return std::malloc(size ? size : 1);
}

void* KwAllocateZeroed(std::size_t size) noexcept
{
    if (KwAllocationHook hook = g_hook.load(std::memory_order_relaxed)) {
        if (hook(++g_count, size)) return nullptr;
    }
    void* block = std::calloc(size ? size : 1, 1);
    // Zeroed blocks are the image buffers, written whole soon after.
    if (block) KwAdviseLargeBlock(block, size);
    return block;
}

void KwFree(void* block) noexcept { std::free(block); }

void KwSetAllocationHook(KwAllocationHook hook) noexcept
{
    g_count = 0;
    g_hook = hook;
}
