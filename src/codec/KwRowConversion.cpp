#include "KwRowConversion.h"

#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

// One decoded row of R, G, B into the host's B, G, R; padding is left as it is.
// Only for a codec without colour-space extensions, which cannot give B, G, R.
void KwConvertRgbRow(const unsigned char* in, unsigned char* out, LONG width) noexcept
{
    for (LONG x = 0; x < width; ++x, in += 3, out += 3) {
        out[0] = in[2];
        out[1] = in[1];
        out[2] = in[0];
    }
}

// Each colour is (255 - ink) x (255 - K) / 255, truncated. Adobe files store the
// inks inverted, so there 255 - ink is the stored value itself.
void KwConvertCmykRow(const unsigned char* in, unsigned char* out, LONG width, bool adobe) noexcept
{
    LONG x = 0;
#ifdef __SSE2__
    // Eight pixels at a time in 16-bit lanes, where t / 255 is (t + 1 + (t >> 8)) >> 8
    // for every product t up to 65025, and 255 - v is v ^ 255.
    const __m128i zero = _mm_setzero_si128();
    const __m128i flip = adobe ? zero : _mm_set1_epi16(255);
    const __m128i one = _mm_set1_epi16(1);
    alignas(16) unsigned char bgrk[32];
    for (; x + 8 <= width; x += 8, in += 32, out += 24) {
        const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16));
        __m128i lanes[4] = {_mm_xor_si128(_mm_unpacklo_epi8(low, zero), flip),
                            _mm_xor_si128(_mm_unpackhi_epi8(low, zero), flip),
                            _mm_xor_si128(_mm_unpacklo_epi8(high, zero), flip),
                            _mm_xor_si128(_mm_unpackhi_epi8(high, zero), flip)};
        for (__m128i& v : lanes) {
            // Two pixels per register: each pixel's K into its four lanes; the
            // result in the order B, G, R, (K).
            const __m128i k = _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, 0xFF), 0xFF);
            const __m128i t = _mm_mullo_epi16(v, k);
            const __m128i q = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(t, one), _mm_srli_epi16(t, 8)), 8);
            v = _mm_shufflehi_epi16(_mm_shufflelo_epi16(q, 0xC6), 0xC6);
        }
        _mm_store_si128(reinterpret_cast<__m128i*>(bgrk), _mm_packus_epi16(lanes[0], lanes[1]));
        _mm_store_si128(reinterpret_cast<__m128i*>(bgrk + 16), _mm_packus_epi16(lanes[2], lanes[3]));
        // Four bytes per pixel, each store's fourth byte overwritten by the next
        // pixel; the last pixel writes only its three.
        for (int i = 0; i < 7; ++i) std::memcpy(out + 3 * i, bgrk + 4 * i, 4);
        std::memcpy(out + 21, bgrk + 28, 3);
    }
#endif
    if (adobe) {
        for (; x < width; ++x, in += 4, out += 3) {
            const unsigned k = in[3];
            out[0] = static_cast<unsigned char>(KwDivideBy255(in[2] * k));
            out[1] = static_cast<unsigned char>(KwDivideBy255(in[1] * k));
            out[2] = static_cast<unsigned char>(KwDivideBy255(in[0] * k));
        }
    } else {
        for (; x < width; ++x, in += 4, out += 3) {
            const unsigned k = 255u - in[3];
            out[0] = static_cast<unsigned char>(KwDivideBy255((255u - in[2]) * k));
            out[1] = static_cast<unsigned char>(KwDivideBy255((255u - in[1]) * k));
            out[2] = static_cast<unsigned char>(KwDivideBy255((255u - in[0]) * k));
        }
    }
}
