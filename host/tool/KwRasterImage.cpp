#include "KwRasterImage.h"

#include <algorithm>
#include <cmath>

namespace {

// The host takes whole dots per inch; 0 when unknown or out of range.
LONG WholeDpi(double dpi)
{
    const double whole = std::round(dpi);
    return std::isfinite(whole) && whole >= 1 && whole <= 65535 ? LONG(whole) : 0;
}

} // namespace

uint32_t KwRasterImage::PixelsPerMetre(double dpi, uint32_t unknown)
{
    const double perMetre = std::round(dpi / 0.0254);
    return std::isfinite(perMetre) && perMetre >= 1 && perMetre <= 0x7FFFFFFF ? uint32_t(perMetre) : unknown;
}

bool KwRasterImage::WithinPixelLimit(uint64_t width, uint64_t height, unsigned long long limit, std::string& error)
{
    // Headers give at most 32 bits a side: the product fits.
    const uint64_t pixels = std::min<uint64_t>(width, UINT32_MAX) * std::min<uint64_t>(height, UINT32_MAX);
    if (pixels <= limit) return true;
    error = "the image has " + std::to_string(width) + " x " + std::to_string(height) + " = " + std::to_string(pixels) +
            " pixels, more than the limit of " + std::to_string(limit) + " (--max-pixels)";
    return false;
}

bool KwRasterImage::Allocate(int32_t w, int32_t h, int32_t bpp, std::string* error, bool filled)
{
    if (w <= 0 || h <= 0) {
        if (error) *error = "the image has no pixels (" + std::to_string(w) + " x " + std::to_string(h) + ")";
        return false;
    }
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) {
        if (error) *error = "unsupported depth of " + std::to_string(bpp) + " bits per pixel";
        return false;
    }
    int64_t stride = KwHostImage::StrideFor(w, bpp);
    if (stride * h > MaxImageBytes) {
        if (error) *error = "the image is too large (" + std::to_string(w) + " x " + std::to_string(h) + ")";
        return false;
    }
    Width = w;
    Height = h;
    BitsPerPixel = bpp;
    m_Borrowed = nullptr;
    m_Keeper.reset();
    if (filled) {
        Pixels.assign(static_cast<size_t>(stride * h), 0);
    } else {
        // Only what a header can be trusted with: the rows claimed may never
        // come, and reserved room is address space taken all the same.
        Pixels.clear();
        Pixels.shrink_to_fit();
        Pixels.reserve(static_cast<size_t>(std::min<int64_t>(stride * h, UnfilledReserve)));
    }
    return true;
}

void KwRasterImage::PutOnWhite(KwRasterImage& image)
{
    if (image.BitsPerPixel != 32) return;
    for (int32_t y = 0; y < image.Height; ++y) {
        uint8_t* pixel = image.Row(y);
        for (int32_t x = 0; x < image.Width; ++x, pixel += 4) {
            for (int c = 0; c < 3; ++c) pixel[c] = OverWhite(pixel[c], pixel[3]);
            pixel[3] = 0;
        }
    }
}

uint32_t KwRasterImage::PixelRgb(int32_t x, int32_t y) const
{
    const uint8_t* row = Row(y);
    auto lookup = [this](uint32_t index) -> uint32_t { return index < Palette.size() ? Palette[index] : 0; };
    switch (BitsPerPixel) {
    case 1:
        return lookup((row[x / 8] >> (7 - x % 8)) & 1);
    case 4:
        return lookup((row[x / 2] >> ((x % 2) ? 0 : 4)) & 0x0F);
    case 8:
        return lookup(row[x]);
    case 24:
        return (uint32_t(row[3 * x + 2]) << 16) | (uint32_t(row[3 * x + 1]) << 8) | row[3 * x];
    case 32:
        return (uint32_t(row[4 * x + 2]) << 16) | (uint32_t(row[4 * x + 1]) << 8) | row[4 * x];
    default:
        return 0;
    }
}

bool KwRasterImage::IsGrayPalette() const
{
    if (BitsPerPixel != 8 || Palette.empty()) return false;
    for (uint32_t entry : Palette) {
        uint32_t r = (entry >> 16) & 0xFF, g = (entry >> 8) & 0xFF, b = entry & 0xFF;
        if (r != g || g != b) return false;
    }
    return true;
}

std::vector<uint8_t> KwRasterImage::TakePixels()
{
    if (m_Borrowed) {
        std::vector<uint8_t> copy(m_Borrowed, m_Borrowed + static_cast<size_t>(Stride()) * static_cast<size_t>(Height));
        m_Borrowed = nullptr;
        m_Keeper.reset();
        return copy;
    }
    return std::move(Pixels);
}

KwHostImage KwRasterImage::ToHostImage(KwRasterImage&& source)
{
    KwHostImage image;
    image.Width = source.Width;
    image.Height = source.Height;
    image.BitsPerPixel = source.BitsPerPixel;
    image.DpiX = WholeDpi(source.DpiX);
    image.DpiY = WholeDpi(source.DpiY);
    image.Pixels = source.TakePixels();
    for (uint32_t entry : source.Palette) image.Palette.push_back(LONG(entry & 0x00FFFFFF));
    if (source.BitsPerPixel == 4) {
        for (unsigned char& b : image.Pixels) b = static_cast<unsigned char>((b >> 4) | (b << 4));
    } else if (source.BitsPerPixel == 1) {
        const LONG clear = image.Palette.size() > 0 ? image.Palette[0] : 0;
        const LONG set = image.Palette.size() > 1 ? image.Palette[1] : 0xFFFFFF;
        image.Palette = {set, clear};
    }
    return image;
}
