// What the objects of one host engine share: the host's settings for the raster
// blocks it makes (the pixel limit, where rows go).
#pragma once

#include <memory>

#include "KwHostRowSink.h"
#include "KwPlatform.h"

class KwHostContext {
public:
    // Throws std::bad_alloc.
    static std::shared_ptr<KwHostContext> Create();
    // The given context, or a new private one when it is null. Throws std::bad_alloc.
    static std::shared_ptr<KwHostContext> Ensure(std::shared_ptr<KwHostContext> context);

    // Raster storage above this many pixels is refused with E_OUTOFMEMORY (1 << 28 is 16384 x 16384).
    ULONGLONG MaxRasterPixels() const noexcept { return m_MaxRasterPixels; }
    void SetMaxRasterPixels(ULONGLONG pixels) noexcept { m_MaxRasterPixels = pixels; }
    // When set, raster blocks given storage keep no pixels: their rows go to this
    // sink as they arrive, which must be in order from row 0. Null: blocks keep the image.
    const std::shared_ptr<KwHostRowSink>& RowSink() const noexcept { return m_RowSink; }
    void SetRowSink(std::shared_ptr<KwHostRowSink> sink) noexcept { m_RowSink = std::move(sink); }

private:
    ULONGLONG m_MaxRasterPixels = 1ull << 28;
    std::shared_ptr<KwHostRowSink> m_RowSink;
};
