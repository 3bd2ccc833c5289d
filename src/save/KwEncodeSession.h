// One encode of a raster image for the raster-data object: owns the
// compressor, its error manager and the row buffer, and writes the rows it is
// given as a baseline JFIF file at quality 75 to the owner's output stream.
//
// The calls go in order: Start, WriteRow once for each row from the top, then
// Finish. A session dropped before Finish (a failure) only destroys the
// compressor; whatever reached the stream stays there.
#pragma once

#include <cstdio>

#include <jpeglib.h>

#include "KwMemory.h"
#include "KwPlatform.h"
#include "KwSaveErrorManager.h"

class CKwSaveRasterData;

class KwEncodeSession {
public:
    // The encoder's one setting; no attribute changes it.
    static constexpr int Quality = 75;
    // Whether the codec reads B, G, R rows itself; without its colour-space
    // extensions every row is given as R, G, B.
#ifdef JCS_EXTENSIONS
    static constexpr bool TakesBgrRows = true;
#else
    static constexpr bool TakesBgrRows = false;
#endif

    KwEncodeSession() noexcept;
    ~KwEncodeSession();
    KwEncodeSession(const KwEncodeSession&) = delete;
    KwEncodeSession& operator=(const KwEncodeSession&) = delete;

    // Creates and sets up the compressor for width x height pixels of three
    // samples, R, G, B or (where TakesBgrRows) B, G, R, attaches the owner's
    // output and starts compressing; then takes the row buffer. E_FAIL for a
    // fatal codec error (an image too large for the codec among them),
    // E_OUTOFMEMORY when the row buffer cannot be had; neither has written
    // anything to the stream.
    HRESULT Start(CKwSaveRasterData* owner, LONG width, LONG height, bool bgrRows) noexcept;

    // Width x 3 bytes, valid after Start: where the caller may build a row.
    unsigned char* RowBuffer() noexcept { return m_Row.get(); }

    // Compresses the next row; E_FAIL for a fatal codec error. After a
    // failure the codec is left alone: every later call is E_UNEXPECTED.
    HRESULT WriteRow(unsigned char* row) noexcept;

    // Ends the file after the last row; E_FAIL for a fatal codec error.
    HRESULT Finish() noexcept;

private:
    // The compressor points at the error manager; neither moves while the session lives.
    KwSaveErrorManager m_Errors;
    jpeg_compress_struct m_Codec;
    bool m_Created;
    // From a successful Start until a failure or Finish.
    bool m_Writing;
    KwBuffer<unsigned char> m_Row;
};
