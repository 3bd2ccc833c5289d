#include "KwPixelSwap.h"

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#include <immintrin.h>
#define KW_PIXEL_SWAP_SHUFFLE 1
#endif

namespace {

void SwapScalar(const uint8_t* in, uint8_t* out, size_t pixels) noexcept
{
    for (size_t i = 0; i < pixels; ++i, in += 3, out += 3) {
        const uint8_t first = in[0];
        out[1] = in[1];
        out[0] = in[2];
        out[2] = first;
    }
}

#ifdef KW_PIXEL_SWAP_SHUFFLE
// Five pixels per 16-byte load. The sixteenth byte is copied as it is and
// written again by the next step, so the loop stops while a whole 16 bytes
// remain in both rows.
__attribute__((target("ssse3"))) void SwapShuffle(const uint8_t* in, uint8_t* out, size_t pixels) noexcept
{
    const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
    size_t i = 0;
    for (; i + 6 <= pixels; i += 5, in += 15, out += 15) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(block, order));
    }
    SwapScalar(in, out, pixels - i);
}

bool HasShuffle() noexcept
{
    static const bool has = __builtin_cpu_supports("ssse3");
    return has;
}
#endif

} // namespace

void KwPixelSwap::SwapRedBlue(const uint8_t* in, uint8_t* out, size_t pixels) noexcept
{
#ifdef KW_PIXEL_SWAP_SHUFFLE
    if (HasShuffle()) {
        SwapShuffle(in, out, pixels);
        return;
    }
#endif
    SwapScalar(in, out, pixels);
}
