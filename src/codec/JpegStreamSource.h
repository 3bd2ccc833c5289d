// The codec's source manager for decoding: feeds the decompressor from a
// stream through one 4096-byte buffer, and never suspends.
#pragma once

#include <cstdint>
#include <cstdio>

#include <jpeglib.h>

#include "KwPlatform.h"

struct JpegStreamSource {
    static const std::size_t BufferSize = 4096;

    // The codec's public record first: the decompressor's src points at it.
    jpeg_source_mgr Public;
    // Where the bytes come from, borrowed, never released here; and its size
    // as the caller found it (the data ends there, whatever the stream says later).
    IStream* Stream;
    int32_t Size;
    // Stream bytes delivered so far (the sum of the counts the reads returned).
    int32_t BytesRead;
    JOCTET* InputBuffer;
    // True from init_source until the first refill: an empty stream is an error,
    // running dry later is not.
    bool StartOfFile;
    // True once an end-of-image marker has been inserted for missing data.
    bool EndInserted;
};

// Makes a JpegStreamSource the source of cinfo (allocating record and buffer from
// its permanent pool the first time) and resets it to the start of the data:
// size bytes read forward from where the stream stands. May raise a fatal
// codec error (out of memory), so call it under the codec guard.
void InstallStreamSource(j_decompress_ptr cinfo, IStream* stream, int32_t size);
