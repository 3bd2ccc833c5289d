// Gathers the APP2 "ICC_PROFILE" chunks of a JPEG file as the decompressor
// meets them in its header, and puts them together in sequence order after
// the header, by the rules of the codec's jpeg_read_icc_profile: every chunk
// names the same count, numbers run from 1 to that count, each once. Only
// what those rules admit is kept (at most 255 chunks of 65519 bytes); other
// APP2 sections are skipped unread.
#pragma once

#include <cstdio>

#include <jpeglib.h>

#include "KwIccProfile.h"

class KwIccCollector {
public:
    static const int MaxChunks = 255;

    KwIccCollector() noexcept = default;
    ~KwIccCollector() { Release(); }
    KwIccCollector(const KwIccCollector&) = delete;
    KwIccCollector& operator=(const KwIccCollector&) = delete;

    // Makes the decompressor hand its APP2 sections to this collector, which
    // must outlive the decompressor and not move; call after creating it.
    void Watch(j_decompress_ptr cinfo) noexcept;
    // After the header: the profile put together into `profile`, or none. A
    // broken sequence gives none and the codec's warning JWRN_BOGUS_ICC
    // ("Corrupt JPEG data: bad ICC marker"). APP2 sections met later are skipped.
    // E_OUTOFMEMORY when a chunk or the profile could not be kept.
    HRESULT Assemble(j_decompress_ptr cinfo, KwIccProfile& profile) noexcept;

    // For the marker routine: one APP2 section, the codec's input at its
    // length field. Runs inside a codec call, so not noexcept (KwCodecGuard).
    boolean Collect(j_decompress_ptr cinfo);

private:
    void Release() noexcept;

    unsigned char* m_Data[MaxChunks + 1] = {};
    unsigned int m_Length[MaxChunks + 1] = {};
    bool m_Present[MaxChunks + 1] = {};
    int m_Count = 0;          // the count the first chunk gave (0 before any, or a broken 0)
    bool m_Broken = false;    // a chunk broke the rules: no profile
    bool m_OutOfMemory = false;
    bool m_Closed = false;    // assembled: later sections are skipped
};
