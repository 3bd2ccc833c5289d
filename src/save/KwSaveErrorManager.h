// The codec's error manager on the save side: the codec's standard record with
// its fatal-error exit replaced by one that shows the message in a "JPEG Error"
// box and ends the codec call at once. Every codec call that may raise a fatal
// error goes through one of the small wrappers below; each holds the only
// setjmp of its call and no object with a destructor, so the jump skips nothing
// and the caller, which owns the compressor and every buffer, cleans up on its
// ordinary path.
#pragma once

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

class CKwSaveRasterData;

class KwSaveErrorManager {
public:
    // Fills the record with the codec's standard routines and the save-side
    // exit and makes it the error manager of cinfo.
    void Attach(j_compress_ptr cinfo) noexcept;

    // Each returns false when the codec raised a fatal error during the call.
    static bool CreateCompress(j_compress_ptr cinfo) noexcept;
    static bool InstallDestination(j_compress_ptr cinfo, CKwSaveRasterData* owner) noexcept;
    static bool SetDefaults(j_compress_ptr cinfo) noexcept;
    static bool SetQuality(j_compress_ptr cinfo, int quality) noexcept;
    static bool StartCompress(j_compress_ptr cinfo) noexcept;
    // False also when the codec took no row: the destination never suspends,
    // so that is a failure (and must not loop).
    static bool WriteScanline(j_compress_ptr cinfo, JSAMPROW row) noexcept;
    static bool FinishCompress(j_compress_ptr cinfo) noexcept;

    jpeg_error_mgr Public; // first, so the codec's err pointer is the whole record
    // Where error_exit returns to: set by the wrapper that is running a codec call.
    std::jmp_buf Jump;
};
