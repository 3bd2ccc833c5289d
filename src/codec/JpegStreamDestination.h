// The codec's destination manager for encoding: gathers the compressed bytes
// in one buffer and writes each full buffer, then the remainder, to a stream
// at its current position.
#pragma once

#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include "KwPlatform.h"

// The host stream sees writes of exactly this size, except for the last one.
constexpr std::size_t JpegOutputBufferSize = 4096;

struct JpegStreamDestination {
    jpeg_destination_mgr Public; // first, so the codec's dest pointer is the whole record
    IStream* Stream;          // not counted: the caller keeps it for the encode that uses this record
    JOCTET* OutputBuffer;     // JpegOutputBufferSize bytes from the image pool
};

// Attaches the destination to a created compressor, before jpeg_start_compress.
// The record comes from the compressor's permanent pool (an existing one is
// reused); the buffer is taken when compression starts. Allocation failure is
// a fatal codec error, so call this where the codec's error exit can land.
void InstallStreamDestination(j_compress_ptr cinfo, IStream* stream);
