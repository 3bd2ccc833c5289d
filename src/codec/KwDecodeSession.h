// One decode of a JPEG stream: owns the decompressor, its error manager and
// the row buffers, and hands out rows laid out as the host's raster storage
// takes them (B, G, R or 8-bit gray, each row padded to a multiple of four
// bytes with zeros).
//
// The calls go in order: Open, Start, NextRow until it gives S_FALSE, Finish.
// The caller can give up on the image between Open and Start, before the
// codec has read any scan or taken memory for the whole image.
// A session dropped before Finish (an aborted load, a failure) only destroys
// the decompressor, which is the codec's way to stop with rows unread.
#pragma once

#include <cstdint>

#include "KwDecodeBudget.h"
#include "KwIccCollector.h"
#include "KwIccProfile.h"
#include "KwDecodeErrorManager.h"
#include "com/KwMemory.h"
#include "KwPlatform.h"

class KwDecodeSession {
public:
    KwDecodeSession() noexcept;
    ~KwDecodeSession();
    KwDecodeSession(const KwDecodeSession&) = delete;
    KwDecodeSession& operator=(const KwDecodeSession&) = delete;

    // The question asked while the scans are read: true to stop the decode.
    using ScanEventHandler = KwDecodeErrorManager::ScanEventHandler;

    // Creates the decompressor, attaches the stream (size bytes from where it
    // stands, borrowed until the session ends) and reads the header with its
    // colour profile. E_POINTER without a stream; E_FAIL for a file the codec
    // refuses, an empty image, one too large for the host's 32-bit row
    // arithmetic, or a colour space the host has no layout for (two
    // components, or five and more); E_OUTOFMEMORY when the profile cannot be
    // kept.
    HRESULT Open(IStream* stream, LONG size) noexcept;

    // Valid after Open. The profile may be taken over.
    KwIccProfile& Profile() noexcept { return m_Profile; }
    LONG Width() const noexcept { return m_Width; }
    LONG Height() const noexcept { return m_Height; }
    LONG BitsPerPixel() const noexcept { return m_BitsPerPixel; }
    // Bytes per host row: the pixels, padded to a multiple of four.
    LONG Stride() const noexcept { return m_Stride; }
    // Replaces the given resolution, in lines per inch, with the file's where
    // its density gives one.
    void ApplyResolution(double* lpiX, double* lpiY) const noexcept;

    // Lets the codec take the memory of the image the host accepted, chooses
    // its output and starts decompressing (for a multi-scan file, the whole of
    // its entropy decoding happens here, and the handler is asked now and
    // then whether to stop). E_ABORT when the handler said stop,
    // E_OUTOFMEMORY when the codec ran out of memory, E_FAIL for another
    // fatal codec error.
    HRESULT Start(ScanEventHandler handler, void* context) noexcept;

    // The next row for the host: S_OK with *row valid until the next call,
    // S_FALSE after the last row, E_FAIL for a fatal codec error, E_OUTOFMEMORY
    // when the row buffers cannot be had (they are taken by the first call).
    HRESULT NextRow(unsigned char** row) noexcept;

    // Ends the decompression after the last row; E_FAIL for a fatal codec
    // error, whose text then counts as damage.
    HRESULT Finish() noexcept;

    // The codec's text of the first warning about damaged data so far (or of
    // the fatal error met after the last row), null when there was none, and
    // how many such messages it gave.
    const char* Damage() const noexcept { return m_Errors.DamageCount ? m_Errors.Damage : nullptr; }
    int DamageCount() const noexcept { return m_Errors.DamageCount; }

private:
    HRESULT AllocateRows() noexcept;
    // Bytes of the codec's whole-image coefficient buffers for this frame.
    std::uint64_t CoefficientBytes() const noexcept;

    // The decompressor points at the error manager, whose progress hook
    // points at the decompressor and asks the budget; none moves while the
    // session lives.
    KwDecodeBudget m_Budget;
    KwDecodeErrorManager m_Errors;
    jpeg_decompress_struct m_Codec;
    bool m_Created;

    LONG m_Width;
    LONG m_Height;
    LONG m_BitsPerPixel;
    LONG m_Stride;
    // What the codec writes for a pixel: 1 (gray), 3 or 4 (CMYK).
    int m_Components;
    bool m_Cmyk;
    bool m_Adobe;
    // True where the codec's rows are the host's rows already (gray, and
    // B, G, R from a codec with colour-space extensions).
    bool m_RowsAsDecoded;

    // Rows of the last read, at least a host row long each and zeroed once,
    // so that rows needing no conversion reach the host with zero padding.
    KwIccCollector m_ProfileChunks;
    KwIccProfile m_Profile;
    int m_BufferRows;
    std::size_t m_RowSize;
    KwBuffer<unsigned char> m_DecodeRows;
    KwBuffer<JSAMPROW> m_RowPointers;
    // The converted row, where the codec's rows are not the host's.
    KwBuffer<unsigned char> m_HostRow;
    JDIMENSION m_RowsRead;
    JDIMENSION m_NextRow;
};
