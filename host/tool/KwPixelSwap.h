// Red and blue trade places: the host's rows hold B, G, R and image files such
// as PPM hold R, G, B. Runs on every pixel of a conversion, so it takes the
// processor's byte shuffle where there is one.
#pragma once

#include <cstddef>
#include <cstdint>

class KwPixelSwap {
public:
    // Writes `pixels` 3-byte pixels of `in` to `out` with the first and third
    // bytes exchanged. `in` and `out` may be the same row, but not otherwise overlap.
    static void SwapRedBlue(const uint8_t* in, uint8_t* out, size_t pixels) noexcept;
};
