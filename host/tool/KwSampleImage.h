// The sample JPEG that `kwjpeg sample` and scripts/run make: a colour test
// pattern (bars, gradients and a gray ramp) encoded with libjpeg.
#pragma once

#include <string>

class KwSampleImage {
public:
    static bool Write(const std::string& path, int width, int height, std::string& error);
};
