// Turns and mirrors an image into the order a viewer shows it in, from the EXIF
// orientation (1 to 8) the load filter publishes.
#pragma once

#include <string>

#include "KwRasterImage.h"

class KwOrientation {
public:
    // True when `orientation` asks for the rows to be moved (2 to 8).
    static bool Moves(int orientation) { return orientation >= 2 && orientation <= 8; }
    // Words for `info`: "turn 90° clockwise to view", ...; "" for other values.
    static const char* Describe(int orientation);
    // `source` as shown: `out` gets the turned or mirrored copy (width and height
    // swapped for 5 to 8). Whole bytes per pixel only (8, 24 or 32 bits).
    static bool Apply(const KwRasterImage& source, int orientation, KwRasterImage& out, std::string& error);
};
