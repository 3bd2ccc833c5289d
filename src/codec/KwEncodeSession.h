// One encode of a raster image: owns the compressor, its error manager and
// the row buffer, and writes the host's stored rows it is given, converted
// where the codec cannot take them as they are, as a baseline JFIF file at
// quality 75 to a stream.
//
// The calls go in order: Start, WriteRow once for each row from the top, then
// Finish. A session dropped before Finish (a failure) only destroys the
// compressor; whatever reached the stream stays there. A fatal codec error
// is shown in a "JPEG Error" message box.
#pragma once

#include <cstdint>
#include <cstdio>

#include <jpeglib.h>

#include "KwCodecGuard.h"
#include "KwHostRowConverter.h"
#include "com/KwMemory.h"
#include "KwPlatform.h"

class KwEncodeSession {
public:
    // The encoder's one setting; no attribute changes it.
    static constexpr int Quality = 75;
    // Whether the codec reads B, G, R rows itself; without its colour-space
    // extensions every row is converted to R, G, B.
#ifdef JCS_EXTENSIONS
    static constexpr bool TakesBgrRows = true;
#else
    static constexpr bool TakesBgrRows = false;
#endif

    KwEncodeSession() noexcept;
    ~KwEncodeSession();
    KwEncodeSession(const KwEncodeSession&) = delete;
    KwEncodeSession& operator=(const KwEncodeSession&) = delete;

    // Creates and sets up the compressor for width x height pixels stored at
    // bitsPerPixel (with the palette's KwHostRowConverter::MaxColors entries,
    // or null), attaches the stream (written from where it stands, borrowed
    // until the session ends) and starts compressing; then takes the row
    // buffer. E_INVALIDARG for a size or depth it cannot take, E_FAIL for a
    // fatal codec error (an image too large for the codec among them),
    // E_OUTOFMEMORY when the row buffer cannot be had; none has written
    // anything to the stream.
    HRESULT Start(IStream* stream, LONG width, LONG height, LONG bitsPerPixel, const uint32_t* colors) noexcept;

    // Compresses the next stored row; E_FAIL for a fatal codec error. After
    // a failure the codec is left alone: every later call is E_UNEXPECTED.
    HRESULT WriteRow(const unsigned char* stored) noexcept;
    // Ends the file after the last row; E_FAIL for a fatal codec error.
    HRESULT Finish() noexcept;

private:
    // The compressor points at the guard's record; neither moves while the session lives.
    KwCodecGuard m_Errors;
    jpeg_compress_struct m_Codec;
    bool m_Created;
    // From a successful Start until a failure or Finish.
    bool m_Writing;
    // Stored 24-bit rows are B, G, R already: where the codec reads that
    // order itself it takes them as they are. It makes the same samples from
    // either order, so the file is the same byte for byte.
    bool m_RowsAsStored;
    KwHostRowConverter m_Converter;
    // Width x 3 bytes: the converted row.
    KwBuffer<unsigned char> m_Row;
};
