// The resolution in a JPEG file's JFIF header. The save filter always writes
// a JFIF header that gives none (density unit 0, 1:1), whatever resolution the
// host hands it; the tool writes the image's own into the finished file, so
// that converting a 300 dpi scan keeps 300 dpi.
#pragma once

#include <string>

class KwJfifResolution {
public:
    // Sets the header of the JPEG file at `path` to dots per inch (unit 1) with
    // these densities (1 to 65535). False, with the reason, when the file does
    // not start with a JFIF header or cannot be written.
    static bool Write(const std::string& path, long dpiX, long dpiY, std::string& error);
};
