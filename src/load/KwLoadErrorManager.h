// The codec's error manager on the load path: silent, and a fatal error ends the
// codec call at once. Every codec call that may raise a fatal error goes through
// one of the small wrappers below; each holds the only setjmp of its call and no
// object with a destructor, so the jump skips nothing and the caller, which owns
// the decompressor and every buffer, cleans up on its ordinary path.
#pragma once

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

class CKwFilterJPEG;

class KwLoadErrorManager {
public:
    // Fills the record with the codec's standard values, replaces the four
    // reporting routines with silent ones and makes it the error manager of cinfo.
    void Attach(j_decompress_ptr cinfo) noexcept;

    // Each returns false when the codec raised a fatal error during the call.
    static bool CreateDecompress(j_decompress_ptr cinfo) noexcept;
    static bool InstallSource(j_decompress_ptr cinfo, CKwFilterJPEG* owner) noexcept;
    static bool ReadHeader(j_decompress_ptr cinfo) noexcept;
    static bool StartDecompress(j_decompress_ptr cinfo) noexcept;
    static bool ReadScanlines(j_decompress_ptr cinfo, JSAMPARRAY rows, JDIMENSION maxRows,
                              JDIMENSION* rowsRead) noexcept;
    static bool FinishDecompress(j_decompress_ptr cinfo) noexcept;

    // The codec's public record comes first: the codec sees this object as its jpeg_error_mgr.
    jpeg_error_mgr Standard;
    // Where error_exit returns to: set by the wrapper that is running a codec call.
    std::jmp_buf Jump;
};
