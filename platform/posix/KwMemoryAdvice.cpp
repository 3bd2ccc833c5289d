#include <sys/mman.h>

#include <cstdint>

#include "KwPlatform.h"

KWPLATFORM_API void KwAdviseLargeBlock(void* block, SIZE_T size)
{
#ifdef MADV_HUGEPAGE
    // Only whole 2 MB pages inside the block can be large ones.
    const uintptr_t large = uintptr_t(2) << 20;
    if (!block || size < 2 * large) return;
    const uintptr_t first = (reinterpret_cast<uintptr_t>(block) + large - 1) & ~(large - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(block) + size) & ~(large - 1);
    if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#else
    (void)block;
    (void)size;
#endif
}
