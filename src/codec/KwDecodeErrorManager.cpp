#include "KwDecodeErrorManager.h"

#include <climits>
#include <type_traits>

#include <jerror.h>

#include "KwDecodeBudget.h"

// The codec holds a pointer to the guard's record; the routines find the whole manager from it.
static_assert(std::is_standard_layout<KwDecodeErrorManager>::value, "Guard must start the record");

namespace {

KwDecodeErrorManager* ManagerOf(j_common_ptr cinfo) noexcept
{
    return reinterpret_cast<KwDecodeErrorManager*>(cinfo->err);
}

} // namespace

extern "C" {

// Nothing is shown. Trace messages are dropped; of the warnings, those that say
// the data is damaged are kept for the caller (the first one's text and a count).
static void KwDecodeEmitMessage(j_common_ptr cinfo, int level)
{
    if (level >= 0) return;
    switch (cinfo->err->msg_code) {
    case JWRN_ARITH_BAD_CODE:
    case JWRN_BOGUS_ICC:
    case JWRN_BOGUS_PROGRESSION:
    case JWRN_EXTRANEOUS_DATA:
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_JPEG_EOF:
    case JWRN_MUST_RESYNC:
    case JWRN_NOT_SEQUENTIAL:
        break;
    default:
        return; // an unknown JFIF revision or Adobe transform: the data is whole
    }
    KwDecodeErrorManager* manager = ManagerOf(cinfo);
    if (manager->DamageCount++ == 0) manager->FormatStandard(cinfo, manager->Damage);
}
static void KwDecodeOutputMessage(j_common_ptr) {}
static void KwDecodeFormatMessage(j_common_ptr, char*) {}

// Called by the codec for every row of work, and once a scan has begun before
// its first row; a file past the work bound ends the decode like any fatal
// codec error (nothing is shown). While the scans are read, the caller is
// asked at the budget's cadence; its stop leaves the same way, back to the
// guard, and nothing with a destructor lives between the two (the handler
// has returned before the jump).
static void KwDecodeProgressMonitor(j_common_ptr cinfo)
{
    if (!cinfo->is_decompressor) return;
    KwDecodeErrorManager* manager = ManagerOf(cinfo);
    if (!manager->Budget->Admits(reinterpret_cast<j_decompress_ptr>(cinfo))) {
        cinfo->err->msg_code = JERR_NOT_COMPILED; // any code: the message is never formatted
        cinfo->err->error_exit(cinfo);
    }
    if (manager->ScanEvent && manager->Budget->EventDue() && manager->ScanEvent(manager->ScanEventContext)) {
        manager->Aborted = true;
        cinfo->err->msg_code = JERR_NOT_COMPILED;
        cinfo->err->error_exit(cinfo);
    }
}

} // extern "C"

void KwDecodeErrorManager::Attach(j_decompress_ptr cinfo, KwDecodeBudget* budget) noexcept
{
    Guard.Attach(reinterpret_cast<j_common_ptr>(cinfo));
    Budget = budget;
    FormatStandard = Guard.Public.format_message;
    Damage[0] = '\0';
    DamageCount = 0;
    ScanEvent = nullptr;
    ScanEventContext = nullptr;
    Aborted = false;
    OuterMemoryLimit = 0;
    Guard.Public.emit_message = KwDecodeEmitMessage;
    Guard.Public.output_message = KwDecodeOutputMessage;
    Guard.Public.format_message = KwDecodeFormatMessage;
}

void KwDecodeErrorManager::Monitor(j_decompress_ptr cinfo) noexcept
{
    Progress.progress_monitor = KwDecodeProgressMonitor;
    Progress.pass_counter = 0;
    Progress.pass_limit = 0;
    Progress.completed_passes = 0;
    Progress.total_passes = 0;
    Budget->Reset();
    cinfo->progress = &Progress;
    OuterMemoryLimit = cinfo->mem->max_memory_to_use > 0 ? cinfo->mem->max_memory_to_use : 0;
    AllowMemory(cinfo, 0);
}

void KwDecodeErrorManager::AllowMemory(j_decompress_ptr cinfo, std::uint64_t bytes) noexcept
{
    const KwDecodeErrorManager* manager = ManagerOf(reinterpret_cast<j_common_ptr>(cinfo));
    // The codec's limit is a long, 32 bits on some systems: beyond it, the codec refuses for memory.
    const std::uint64_t most = static_cast<std::uint64_t>(LONG_MAX);
    std::uint64_t limit = bytes < most - MemoryMargin ? bytes + MemoryMargin : most;
    if (manager->OuterMemoryLimit > 0 && static_cast<std::uint64_t>(manager->OuterMemoryLimit) < limit)
        limit = static_cast<std::uint64_t>(manager->OuterMemoryLimit);
    cinfo->mem->max_memory_to_use = static_cast<long>(limit);
}

HRESULT KwDecodeErrorManager::FailureResult() const noexcept
{
    if (Aborted) return E_ABORT;
    switch (Guard.Public.msg_code) {
    case JERR_OUT_OF_MEMORY:
    case JERR_NO_BACKING_STORE: // the whole-image buffers exceed what the codec may take
    case JERR_TFILE_CREATE:
    case JERR_TFILE_READ:
    case JERR_TFILE_SEEK:
    case JERR_TFILE_WRITE:
    case JERR_VIRTUAL_BUG:
        return E_OUTOFMEMORY;
    default:
        return E_FAIL;
    }
}

void KwDecodeErrorManager::KeepAsDamage(j_decompress_ptr cinfo) noexcept
{
    if (DamageCount++ == 0) FormatStandard(reinterpret_cast<j_common_ptr>(cinfo), Damage);
}
