// Where a raster block sends its rows when the host streams them instead of
// keeping the image: a program that converts a file writes each band as it
// arrives and never holds the whole picture.
#pragma once

#include <vector>

#include "KwPlatform.h"

class KwHostRowSink {
public:
    virtual ~KwHostRowSink() = default;
    // The storage the filter asked for (already checked by the block). A failure
    // refuses CreateRasterStorage with that result.
    virtual HRESULT Begin(LONG width, LONG height, LONG bitsPerPixel, const std::vector<LONG>& palette) = 0;
    // Rows first .. first + count - 1, top-down and in order, bytesPerLine apart;
    // the first stride bytes of each are the row. A failure fails AddScanline1.
    virtual HRESULT Rows(LONG first, LONG count, const unsigned char* rows, LONG bytesPerLine) = 0;
};
