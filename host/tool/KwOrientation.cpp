#include "KwOrientation.h"

#include <cstring>

namespace {

// Each orientation as a transpose followed by mirrors of the result.
struct Steps {
    bool Transpose, MirrorX, MirrorY;
};

const Steps StepsOf[9] = {
    {false, false, false}, {false, false, false}, {false, true, false}, {false, true, true}, {false, false, true},
    {true, false, false},  {true, true, false},   {true, true, true},  {true, false, true},
};

} // namespace

const char* KwOrientation::Describe(int orientation)
{
    static const char* const words[9] = {"",
                                         "as stored",
                                         "mirror left to right to view",
                                         "turn 180° to view",
                                         "mirror top to bottom to view",
                                         "mirror along the diagonal to view",
                                         "turn 90° clockwise to view",
                                         "mirror along the other diagonal to view",
                                         "turn 90° anticlockwise to view"};
    return orientation >= 1 && orientation <= 8 ? words[orientation] : "";
}

bool KwOrientation::Apply(const KwRasterImage& source, int orientation, KwRasterImage& out, std::string& error)
{
    if (source.BitsPerPixel % 8 != 0) {
        error = "cannot turn an image of " + std::to_string(source.BitsPerPixel) + " bits per pixel";
        return false;
    }
    const Steps steps = StepsOf[orientation >= 1 && orientation <= 8 ? orientation : 1];
    const int32_t width = steps.Transpose ? source.Height : source.Width;
    const int32_t height = steps.Transpose ? source.Width : source.Height;
    if (!out.Allocate(width, height, source.BitsPerPixel, &error)) return false;
    out.Palette = source.Palette;
    out.DpiX = steps.Transpose ? source.DpiY : source.DpiX;
    out.DpiY = steps.Transpose ? source.DpiX : source.DpiY;
    const size_t bytes = size_t(source.BitsPerPixel / 8);
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = out.Row(y);
        const int32_t my = steps.MirrorY ? height - 1 - y : y;
        for (int32_t x = 0; x < width; ++x) {
            const int32_t mx = steps.MirrorX ? width - 1 - x : x;
            const int32_t sx = steps.Transpose ? my : mx;
            const int32_t sy = steps.Transpose ? mx : my;
            std::memcpy(row + size_t(x) * bytes, source.Row(sy) + size_t(sx) * bytes, bytes);
        }
    }
    return true;
}
