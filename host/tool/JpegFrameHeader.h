// The frame header of a JPEG file as the tool reads it for itself: which kind
// of JPEG it is (the SOFn marker, the sample precision, a DHP marker) and its
// size, so that a file the codec refuses can be called what it is.
#pragma once

#include <cstdint>
#include <string>

#include "KwPlatform.h"

struct JpegFrameHeader {
    int Marker = 0;            // the SOFn code, 0xC0..0xCF
    int Precision = 0;         // bits per sample
    uint32_t Width = 0;
    uint32_t Height = 0;
    bool Hierarchical = false; // a DHP marker or a differential frame
    bool Jpeg = false;         // the stream starts with the SOI marker
    bool EndsBeforeScan = false; // the stream ends before the first scan's data

    // Reads the markers of the stream from its start up to the first frame
    // header, and on to the first scan; false when it has no frame header
    // before its first scan (or is no JPEG at all). The stream is the one the
    // load read: a pipe cannot be opened twice.
    static bool Read(IStream* stream, JpegFrameHeader& header);

    // "a lossless JPEG (frame marker SOF3)", "a 12-bit JPEG (...)": what makes
    // the file a kind the codec does not decode, or "" for a baseline,
    // extended or progressive frame of 8-bit samples.
    std::string UnusualKind() const;
};
