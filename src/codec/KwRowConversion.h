// Row conversions of the decode, from what the codec decodes to the host's
// B, G, R rows. Rows hold width pixels; padding past them is left as it is.
#pragma once

#include "KwPlatform.h"

// t / 255, truncated, for every product t of two samples (0 to 65025):
// the CMYK conversion's division as a multiply and a shift.
inline unsigned KwDivideBy255(unsigned t) noexcept { return (t * 0x8081u) >> 23; }

// One decoded row of C, M, Y, K (inverted when adobe) into B, G, R.
void KwConvertCmykRow(const unsigned char* in, unsigned char* out, LONG width, bool adobe) noexcept;

// One decoded row of R, G, B into B, G, R; for a codec without colour-space
// extensions, which cannot give B, G, R itself.
void KwConvertRgbRow(const unsigned char* in, unsigned char* out, LONG width) noexcept;
