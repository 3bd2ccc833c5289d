// The codec's error manager on the load path: silent, and a fatal error ends the
// codec call at once. Every codec call that may raise a fatal error goes through
// one of the small wrappers below; each holds the only setjmp of its call and no
// object with a destructor, so the jump skips nothing and the caller, which owns
// the decompressor and every buffer, cleans up on its ordinary path.
//
// It also bounds the work a file can demand before the first row reaches the
// host (where progress events, and so the host's abort, begin): the number of
// scans, the work of all scans together, and the codec's whole-image buffers.
// Each ends the load as a fatal codec error.
#pragma once

#include <csetjmp>
#include <cstdint>
#include <cstdio>

#include <jpeglib.h>

class CKwFilterJPEG;

class KwLoadErrorManager {
public:
    // Real encoders write at most a few dozen scans (a progressive script has
    // about ten); every scan of a multi-scan file is a pass over the whole
    // image inside jpeg_start_decompress, so a file of tiny scans could keep
    // the codec busy for as long as it likes.
    static const int MaxScans = 1000;
    // The codec's whole-image buffers (the coefficients of a progressive or
    // multi-scan file, 2 to 6 bytes a pixel) are taken in jpeg_start_decompress,
    // before the host can refuse the raster storage; a few header bytes could
    // otherwise claim tens of gigabytes. 1 GiB keeps every progressive image
    // the host's default raster limit (2^28 pixels) accepts in 4:2:0 or gray,
    // and 4:4:4 colour up to about 180 megapixels. A lower limit set through
    // the codec's JPEGMEM variable is kept.
    static const long MaxCodecMemory = 1L << 30;

    // Work of a multi-scan file, in units of about a nanosecond here, charged
    // as each scan begins, before any of its rows: all of it is done before
    // the first row reaches the host. A scan costs, for every block it covers,
    // one unit per coefficient of its band and a share for the walk over the
    // block; the codec walks every block of the scan's components even when
    // the scan holds no data, so ten bytes of scan header can demand a pass
    // over millions of blocks. Arithmetic-coded scans go on decoding zeros
    // after their data ends, dearer still where they decode magnitudes (a
    // sequential scan, or the first pass over progressive coefficients) than
    // where they refine them.
    static const unsigned WorkPerBlockWalk = 24;
    static const unsigned ArithmeticFirstPassFactor = 24;
    static const unsigned ArithmeticRefinementFactor = 6;
    // A decode may spend the fixed allowance (about two seconds), and for each
    // block of the image (all components) eight passes over its 64
    // coefficients: the codec's own progressive scripts need four to five,
    // any script its tools accept at most 49, and 999 empty refinement scans
    // over a thousand.
    static const std::uint64_t DefaultFixedWorkAllowance = std::uint64_t(1) << 31;
    static const std::uint64_t WorkPerImageBlock = 8 * 64;

    // Sets the fixed allowance of every later decode (tests reach the bound
    // with small files this way) and returns the one it replaces.
    static std::uint64_t SetFixedWorkAllowance(std::uint64_t units) noexcept;

    // Fills the record with the codec's standard values, replaces the four
    // reporting routines with silent ones and makes it the error manager of cinfo.
    void Attach(j_decompress_ptr cinfo) noexcept;

    // jpeg_create_decompress, then the scan, work and memory bounds above.

    // Each returns false when the codec raised a fatal error during the call.
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
    // The codec's progress hook, used only to count scans and their work.
    jpeg_progress_mgr Progress;
    // The codec's text of the first warning about damaged data (cut short,
    // corrupt entropy data, a bogus progression), empty when there was none,
    // and how many such warnings it gave in all.
    char Damage[JMSG_LENGTH_MAX];
    int DamageCount;
    // The codec's own formatter: messages are formatted only for Damage.
    void (*FormatStandard)(j_common_ptr cinfo, char* buffer);
    // Set while jpeg_start_decompress runs; the last scan charged, the work
    // charged so far and what the decode may spend.
    bool ChargingScans;
    int ChargedScan;
    std::uint64_t Work;
    std::uint64_t WorkBudget;
};
