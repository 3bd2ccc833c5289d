// The codec's error manager for decoding: silent, and a fatal error ends the
// codec call at once through the codec guard (KwCodecGuard), which starts its
// record. Of the warnings, those that say the data is damaged are kept.
//
// Its progress hook also asks a work budget, which the decode owns, whether
// the codec may go on (KwDecodeBudget), and while the scans of a multi-scan
// file are read it asks the caller at the budget's cadence whether to go on.
// A refusal of either ends the codec call as a fatal codec error does.
#pragma once

#include <cstdint>
#include <cstdio>

#include <jpeglib.h>

#include "KwCodecGuard.h"
#include "KwPlatform.h"

class KwDecodeBudget;

class KwDecodeErrorManager {
public:
    // All the codec may take before the caller has accepted the image (the
    // header needs tables only); once it has, the codec may take the image's
    // whole-image coefficients and this margin (rows, tables). A lower limit
    // set through the codec's JPEGMEM variable is kept.
    static const long MemoryMargin = 64L << 20;

    // The question to the caller while the scans are read: true to stop the decode.
    using ScanEventHandler = bool (*)(void* context) noexcept;

    // Fills the record with the codec's standard values, replaces the four
    // reporting routines with silent ones and makes it the error manager of
    // cinfo; the progress hook asks budget, which must outlive the decode.
    void Attach(j_decompress_ptr cinfo, KwDecodeBudget* budget) noexcept;

    // After jpeg_create_decompress (which clears every field but the error
    // manager): hooks the progress monitor, starts the budget's count and
    // sets the memory bound of the header.
    void Monitor(j_decompress_ptr cinfo) noexcept;

    // Lets the codec take what the image needs: bytes (its whole-image
    // buffers) and the margin, unless a lower limit was set from outside.
    static void AllowMemory(j_decompress_ptr cinfo, std::uint64_t bytes) noexcept;

    // What the last fatal error means for the decode: E_ABORT when the
    // handler answered stop, E_OUTOFMEMORY when the codec ran out of the
    // memory it may take, else E_FAIL.
    HRESULT FailureResult() const noexcept;

    // Counts a fatal error met after every row was handed over as damage.
    void KeepAsDamage(j_decompress_ptr cinfo) noexcept;

    // First: the codec's record and the jump back of a fatal error.
    KwCodecGuard Guard;
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
    // Set only while the scans are read; Aborted when the handler answered stop.
    ScanEventHandler ScanEvent;
    void* ScanEventContext;
    bool Aborted;
    // The codec's memory limit from outside (JPEGMEM), 0 for none.
    long OuterMemoryLimit;
};
