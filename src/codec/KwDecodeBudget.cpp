#include "KwDecodeBudget.h"

#include <atomic>
#include <cstring>

namespace {

std::atomic<std::uint64_t> fixedAllowance{KwDecodeBudget::DefaultFixedAllowance};
std::atomic<std::uint64_t> visitsPerEvent{KwDecodeBudget::DefaultVisitsPerEvent};

} // namespace

std::uint64_t KwDecodeBudget::SetFixedAllowance(std::uint64_t visits) noexcept
{
    return fixedAllowance.exchange(visits);
}

std::uint64_t KwDecodeBudget::SetVisitsPerEvent(std::uint64_t visits) noexcept
{
    return visitsPerEvent.exchange(visits);
}

void KwDecodeBudget::Reset() noexcept
{
    m_ChargedScan = 0;
    m_RowVisits = 0;
    m_VisitsSinceEvent = 0;
    m_VisitsPerEvent = visitsPerEvent.load();
    m_AllowanceLeft = fixedAllowance.load();
    std::memset(m_Visits, 0, sizeof(m_Visits));
    std::memset(m_FirstPasses, 0, sizeof(m_FirstPasses));
}

bool KwDecodeBudget::Admits(j_decompress_ptr cinfo) noexcept
{
    if (cinfo->input_scan_number > MaxScans) return false;
    if (cinfo->input_scan_number == m_ChargedScan) return true;
    m_ChargedScan = cinfo->input_scan_number;

    // The codec has checked the band of a progressive scan against the frame;
    // a sequential scan decodes whole blocks, and only a progressive scan with
    // Ah set refines.
    int first = 0, last = DCTSIZE2 - 1;
    if (cinfo->progressive_mode) {
        first = cinfo->Ss;
        last = cinfo->Se;
    }
    if (first < 0 || last >= DCTSIZE2 || first > last) return false;
    const bool firstPass = !cinfo->progressive_mode || cinfo->Ah == 0;
    if (cinfo->comps_in_scan < 1 || cinfo->comps_in_scan > MAX_COMPS_IN_SCAN) return false;

    std::uint64_t charge = 0;
    for (int i = 0; i < cinfo->comps_in_scan; ++i) {
        const jpeg_component_info* component = cinfo->cur_comp_info[i];
        if (!component || component->component_index < 0 || component->component_index >= MAX_COMPONENTS)
            return false;
        // The blocks the scan walks for this component, the padding blocks of an interleaved scan's MCUs included.
        const std::uint64_t blocks = std::uint64_t(cinfo->MCUs_per_row) * cinfo->MCU_rows_in_scan *
                                     unsigned(component->MCU_width) * unsigned(component->MCU_height);
        std::uint16_t* visits = m_Visits[component->component_index];
        std::uint16_t* firstPasses = m_FirstPasses[component->component_index];
        for (int k = first; k <= last; ++k) {
            if (visits[k] < UINT16_MAX) ++visits[k];
            if (firstPass && firstPasses[k] < UINT16_MAX) ++firstPasses[k];
            if (visits[k] > FreeVisits || (firstPass && firstPasses[k] > FreeFirstPasses)) charge += blocks;
        }
    }
    if (charge > m_AllowanceLeft) return false;
    m_AllowanceLeft -= charge;

    // One call of the codec's input reads a row of MCUs of an interleaved
    // scan, or as many rows of blocks as the component's vertical sampling
    // of a scan of one component.
    const unsigned rowsOfBlocks = cinfo->comps_in_scan == 1 ? unsigned(cinfo->cur_comp_info[0]->v_samp_factor) : 1u;
    m_RowVisits = std::uint64_t(cinfo->MCUs_per_row) * unsigned(cinfo->blocks_in_MCU) * rowsOfBlocks *
                  unsigned(last - first + 1);
    return true;
}

bool KwDecodeBudget::EventDue() noexcept
{
    m_VisitsSinceEvent += m_RowVisits;
    if (m_VisitsPerEvent == 0 || m_VisitsSinceEvent < m_VisitsPerEvent) return false;
    m_VisitsSinceEvent = 0;
    return true;
}
