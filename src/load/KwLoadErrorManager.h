// The codec's error manager on the load path: silent, and a fatal error ends the
// codec call at once. Every codec call that may raise a fatal error goes through
// one of the small wrappers below; each holds the only setjmp of its call and no
// object with a destructor, so the jump skips nothing and the caller, which owns
// the decompressor and every buffer, cleans up on its ordinary path.
//
// Its progress hook also asks a work budget, which the decode owns, whether
// the codec may go on (KwDecodeBudget), and it caps the codec's whole-image
// buffers. Either ends the load as a fatal codec error.
#pragma once

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

class CKwFilterJPEG;
class KwDecodeBudget;

class KwLoadErrorManager {
public:
    // The codec's whole-image buffers (the coefficients of a progressive or
    // multi-scan file, 2 to 6 bytes a pixel) are taken in jpeg_start_decompress,
    // before the host can refuse the raster storage; a few header bytes could
    // otherwise claim tens of gigabytes. 1 GiB keeps every progressive image
    // the host's default raster limit (2^28 pixels) accepts in 4:2:0 or gray,
    // and 4:4:4 colour up to about 180 megapixels. A lower limit set through
    // the codec's JPEGMEM variable is kept.
    static const long MaxCodecMemory = 1L << 30;

    // Fills the record with the codec's standard values, replaces the four
    // reporting routines with silent ones and makes it the error manager of
    // cinfo; the progress hook asks budget, which must outlive the decode.
    void Attach(j_decompress_ptr cinfo, KwDecodeBudget* budget) noexcept;

    // Each returns false when the codec raised a fatal error during the call;
    // CreateDecompress also starts the budget's count and sets up the memory bound.
    static bool CreateDecompress(j_decompress_ptr cinfo) noexcept;
    static bool InstallSource(j_decompress_ptr cinfo, CKwFilterJPEG* owner) noexcept;
    static bool ReadHeader(j_decompress_ptr cinfo) noexcept;
    static bool StartDecompress(j_decompress_ptr cinfo) noexcept;
    static bool ReadScanlines(j_decompress_ptr cinfo, JSAMPARRAY rows, JDIMENSION maxRows,
                              JDIMENSION* rowsRead) noexcept;
    static bool FinishDecompress(j_decompress_ptr cinfo) noexcept;

    // The codec's public record comes first: the codec sees this object as its jpeg_error_mgr.
    jpeg_error_mgr Public;
    // Where error_exit returns to: set by the wrapper that is running a codec call.
    std::jmp_buf Jump;
    // The codec's progress hook, used only for the work bound, and the budget it asks.
    jpeg_progress_mgr Progress;
    KwDecodeBudget* Budget;
    // The codec's text of the first warning about damaged data (cut short,
    // corrupt entropy data, a bogus progression), empty when there was none,
    // and how many such warnings it gave in all.
    char Damage[JMSG_LENGTH_MAX];
    int DamageCount;
    // The codec's own formatter: messages are formatted only for Damage.
    void (*FormatStandard)(j_common_ptr cinfo, char* buffer);
};
