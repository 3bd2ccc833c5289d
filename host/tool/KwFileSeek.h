// Positions in a stdio stream that may lie past 2 GB (a long is 32 bits on
// Windows), for the readers that look at a header first and then only at the
// bytes it points to.
#pragma once

#include <cstdint>
#include <cstdio>

class KwFileSeek {
public:
    // The bytes from the current position to the end of the file, or -1 when
    // the stream cannot tell (a pipe).
    static int64_t BytesLeft(std::FILE* file);
    // Moves from `position` (bytes consumed so far) to `target`: a seek, or on
    // a stream that cannot seek a read forward. False when the file ends first
    // or the stream would have to go back.
    static bool MoveTo(std::FILE* file, uint64_t& position, uint64_t target);
};
