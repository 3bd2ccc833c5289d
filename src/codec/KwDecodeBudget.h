// The work a file may demand of the codec before the first row reaches the
// host (where progress events, and so the host's abort, begin): a multi-scan
// file is entropy-decoded whole inside jpeg_start_decompress.
//
// Work is counted in what the codec visits, not in what the entropy coder
// costs or what a scan header claims: a scan visits, for each component it
// holds, every block of that component and in each block every coefficient of
// its band (a sequential scan all 64, whatever its Ah and Al say). Every
// coefficient of every component has its own count. A conforming file visits
// each coefficient in one first pass (where its magnitude is decoded, the dear
// part of an arithmetic-coded scan) and in at most 13 refinements of one bit
// each; visits up to a little above that are free, so the cost of a file
// follows the size of its frame. A count per coefficient rather than one for
// the frame also bounds scans of tiny bands, whose walk over the blocks costs
// more than their visits (a DC-only scan, an empty refinement): each uses up a
// visit of its coefficients. Each visit beyond is charged, block by block,
// to a fixed allowance that small images with odd progressions live on. Going
// past the allowance, or past the scan limit, ends the decode as a fatal codec
// error does.
#pragma once

#include <cstdint>
#include <cstdio>

#include <jpeglib.h>

class KwDecodeBudget {
public:
    // A conforming progression has at most 64 x 14 scans per component, 3584
    // for the four components a decode takes. The codec spends about a
    // microsecond on a scan of a tiny image; the visits of larger ones are
    // counted below.
    static const int MaxScans = 4096;
    // Free visits of one coefficient of one component: one first pass and
    // thirteen refinements are the most a conforming file needs; the spare
    // ones keep a file that repeats a scan (the codec only warns).
    static const unsigned FreeFirstPasses = 2;
    static const unsigned FreeVisits = 16;
    // Block visits of one coefficient beyond the free ones that a decode may
    // spend: under a second for the dearest there are (full magnitudes of
    // arithmetic coding, some 200 ns each), and a thousand scans of whole
    // blocks over an image of 64 x 64 pixels.
    static const std::uint64_t DefaultFixedAllowance = std::uint64_t(1) << 22;

    // While the scans are read no row reaches the host, so the decode asks
    // the host whether to go on after this much work: coefficient visits
    // (a block walked by a scan, times the coefficients of its band): about a
    // quarter second of empty arithmetic scans that restart at every block,
    // some 35 ns a visit, and 1.4 s of the dearest full magnitudes (200 ns).
    // A file whose scans need less never asks.
    static const std::uint64_t DefaultVisitsPerEvent = 7000000;

    // Sets the fixed allowance of every later decode (tests reach the bound
    // with small files this way) and returns the one it replaces.
    static std::uint64_t SetFixedAllowance(std::uint64_t visits) noexcept;
    // Sets the work between two questions to the host of every later decode
    // (tests reach it with small files this way) and returns the one it replaces.
    static std::uint64_t SetVisitsPerEvent(std::uint64_t visits) noexcept;

    // Starts the count of a new decode.
    void Reset() noexcept;
    // Called on each of the codec's progress events: charges a scan the codec
    // has just begun, before any of its blocks is decoded. False when the
    // decode has gone past the scan limit or its allowance.
    bool Admits(j_decompress_ptr cinfo) noexcept;
    // Called on each progress event while the scans are read, after Admits:
    // counts the row of blocks the codec is about to walk and tells whether
    // enough work went by since the last question to the host.
    bool EventDue() noexcept;

private:
    int m_ChargedScan;
    // Coefficient visits of one row of blocks of the current scan, and those
    // since the last question to the host.
    std::uint64_t m_RowVisits;
    std::uint64_t m_VisitsSinceEvent;
    std::uint64_t m_VisitsPerEvent;
    std::uint64_t m_AllowanceLeft;
    std::uint16_t m_Visits[MAX_COMPONENTS][DCTSIZE2];
    std::uint16_t m_FirstPasses[MAX_COMPONENTS][DCTSIZE2];
};
