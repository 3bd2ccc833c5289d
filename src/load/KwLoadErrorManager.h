// The codec's error manager on the load path: silent, and a fatal error ends the
// codec call at once. Every codec call that may raise a fatal error goes through
// one of the small wrappers below; each holds the only setjmp of its call and no
// object with a destructor, so the jump skips nothing and the caller, which owns
// the decompressor and every buffer, cleans up on its ordinary path.
//
// Its progress hook also asks a work budget, which the decode owns, whether
// the codec may go on (KwDecodeBudget), and while the scans of a multi-scan
// file are read it asks the host at the budget's cadence whether to go on.
// A refusal of either ends the codec call as a fatal codec error does.
#pragma once

#include <csetjmp>
#include <cstdint>
#include <cstdio>

#include <jpeglib.h>

#include "KwPlatform.h"

class CKwFilterJPEG;
class KwDecodeBudget;

class KwLoadErrorManager {
public:
    // All the codec may take before the host has accepted the image (the
    // header needs tables only); once it has, the codec may take the image's
    // whole-image coefficients and this margin (rows, tables). A lower limit
    // set through the codec's JPEGMEM variable is kept.
    static const long MemoryMargin = 64L << 20;

    // The question to the host while the scans are read: true to stop the decode.
    using ScanEventHandler = bool (*)(void* context) noexcept;

    // Fills the record with the codec's standard values, replaces the four
    // reporting routines with silent ones and makes it the error manager of
    // cinfo; the progress hook asks budget, which must outlive the decode.
    void Attach(j_decompress_ptr cinfo, KwDecodeBudget* budget) noexcept;

    // Each returns false when the codec raised a fatal error during the call
    // (FailureResult tells which); CreateDecompress also starts the budget's
    // count and sets the memory bound of the header. StartDecompress asks
    // the handler, when there is one, at the budget's cadence.
    static bool CreateDecompress(j_decompress_ptr cinfo) noexcept;
    static bool InstallSource(j_decompress_ptr cinfo, CKwFilterJPEG* owner) noexcept;
    static bool ReadHeader(j_decompress_ptr cinfo) noexcept;
    static bool StartDecompress(j_decompress_ptr cinfo, ScanEventHandler handler, void* context) noexcept;
    static bool ReadScanlines(j_decompress_ptr cinfo, JSAMPARRAY rows, JDIMENSION maxRows,
                              JDIMENSION* rowsRead) noexcept;
    static bool FinishDecompress(j_decompress_ptr cinfo) noexcept;

    // Lets the codec take what the image needs: bytes (its whole-image
    // buffers) and the margin, unless a lower limit was set from outside.
    static void AllowMemory(j_decompress_ptr cinfo, std::uint64_t bytes) noexcept;

    // What the last fatal error of a wrapper means for the load: E_ABORT when
    // the host answered abort, E_OUTOFMEMORY when the codec ran out of the
    // memory it may take, else E_FAIL.
    HRESULT FailureResult() const noexcept;

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
    // Set only while StartDecompress reads the scans; Aborted when the host
    // answered abort.
    ScanEventHandler ScanEvent;
    void* ScanEventContext;
    bool Aborted;
    // The codec's memory limit from outside (JPEGMEM), 0 for none.
    long OuterMemoryLimit;
};
