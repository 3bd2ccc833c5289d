#include "KwLoadErrorManager.h"

#include <climits>
#include <type_traits>

#include <jerror.h>

#include "JpegStreamSource.h"
#include "KwDecodeBudget.h"

// The codec holds a pointer to Public; the wrappers and error_exit find the whole record from it.
static_assert(std::is_standard_layout<KwLoadErrorManager>::value, "Public must start the record");

namespace {

KwLoadErrorManager* ManagerOf(j_common_ptr cinfo) noexcept
{
    return reinterpret_cast<KwLoadErrorManager*>(cinfo->err);
}

} // namespace

extern "C" {

// Must not return to the codec: back to the wrapper that started the call.
static void KwLoadErrorExit(j_common_ptr cinfo)
{
    std::longjmp(ManagerOf(cinfo)->Jump, 1);
}

// Nothing is shown. Trace messages are dropped; of the warnings, those that say
// the data is damaged are kept for the host (the first one's text and a count).
static void KwLoadEmitMessage(j_common_ptr cinfo, int level)
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
    KwLoadErrorManager* manager = ManagerOf(cinfo);
    if (manager->DamageCount++ == 0) manager->FormatStandard(cinfo, manager->Damage);
}
static void KwLoadOutputMessage(j_common_ptr) {}
static void KwLoadFormatMessage(j_common_ptr, char*) {}

// Called by the codec for every row of work, and once a scan has begun before
// its first row; a file past the work bound ends the decode like any fatal
// codec error (nothing is shown on the load path). While the scans are read,
// the host is asked at the budget's cadence; its abort leaves the same way,
// through the wrapper's setjmp, and nothing with a destructor lives between
// the two (the handler has returned before the jump).
static void KwLoadProgressMonitor(j_common_ptr cinfo)
{
    if (!cinfo->is_decompressor) return;
    KwLoadErrorManager* manager = ManagerOf(cinfo);
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

void KwLoadErrorManager::Attach(j_decompress_ptr cinfo, KwDecodeBudget* budget) noexcept
{
    jpeg_std_error(&Public);
    Budget = budget;
    FormatStandard = Public.format_message;
    Damage[0] = '\0';
    DamageCount = 0;
    ScanEvent = nullptr;
    ScanEventContext = nullptr;
    Aborted = false;
    OuterMemoryLimit = 0;
    Public.error_exit = KwLoadErrorExit;
    Public.emit_message = KwLoadEmitMessage;
    Public.output_message = KwLoadOutputMessage;
    Public.format_message = KwLoadFormatMessage;
    cinfo->err = &Public;
}

bool KwLoadErrorManager::CreateDecompress(j_decompress_ptr cinfo) noexcept
{
    KwLoadErrorManager* manager = ManagerOf(reinterpret_cast<j_common_ptr>(cinfo));
    if (setjmp(manager->Jump)) return false;
    jpeg_create_decompress(cinfo);
    // Creation clears every field but the error manager: the bounds go on afterwards.
    manager->Progress.progress_monitor = KwLoadProgressMonitor;
    manager->Progress.pass_counter = 0;
    manager->Progress.pass_limit = 0;
    manager->Progress.completed_passes = 0;
    manager->Progress.total_passes = 0;
    manager->Budget->Reset();
    cinfo->progress = &manager->Progress;
    manager->OuterMemoryLimit = cinfo->mem->max_memory_to_use > 0 ? cinfo->mem->max_memory_to_use : 0;
    AllowMemory(cinfo, 0);
    return true;
}

void KwLoadErrorManager::AllowMemory(j_decompress_ptr cinfo, std::uint64_t bytes) noexcept
{
    const KwLoadErrorManager* manager = ManagerOf(reinterpret_cast<j_common_ptr>(cinfo));
    // The codec's limit is a long, 32 bits on some systems: beyond it, the codec refuses for memory.
    const std::uint64_t most = static_cast<std::uint64_t>(LONG_MAX);
    std::uint64_t limit = bytes < most - MemoryMargin ? bytes + MemoryMargin : most;
    if (manager->OuterMemoryLimit > 0 && static_cast<std::uint64_t>(manager->OuterMemoryLimit) < limit)
        limit = static_cast<std::uint64_t>(manager->OuterMemoryLimit);
    cinfo->mem->max_memory_to_use = static_cast<long>(limit);
}

HRESULT KwLoadErrorManager::FailureResult() const noexcept
{
    if (Aborted) return E_ABORT;
    switch (Public.msg_code) {
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

bool KwLoadErrorManager::InstallSource(j_decompress_ptr cinfo, CKwFilterJPEG* owner) noexcept
{
    if (setjmp(ManagerOf(reinterpret_cast<j_common_ptr>(cinfo))->Jump)) return false;
    InstallStreamSource(cinfo, owner);
    return true;
}

bool KwLoadErrorManager::ReadHeader(j_decompress_ptr cinfo) noexcept
{
    if (setjmp(ManagerOf(reinterpret_cast<j_common_ptr>(cinfo))->Jump)) return false;
    jpeg_read_header(cinfo, TRUE);
    return true;
}

bool KwLoadErrorManager::StartDecompress(j_decompress_ptr cinfo, ScanEventHandler handler, void* context) noexcept
{
    KwLoadErrorManager* manager = ManagerOf(reinterpret_cast<j_common_ptr>(cinfo));
    if (setjmp(manager->Jump)) {
        manager->ScanEvent = nullptr;
        return false;
    }
    // A multi-scan file is read whole here, within the work bound, with the
    // host asked now and then; a single scan is decoded row by row
    // afterwards, where the host sees progress and may abort.
    manager->ScanEvent = handler;
    manager->ScanEventContext = context;
    jpeg_start_decompress(cinfo);
    manager->ScanEvent = nullptr;
    return true;
}

bool KwLoadErrorManager::ReadScanlines(j_decompress_ptr cinfo, JSAMPARRAY rows, JDIMENSION maxRows,
                                       JDIMENSION* rowsRead) noexcept
{
    if (setjmp(ManagerOf(reinterpret_cast<j_common_ptr>(cinfo))->Jump)) return false;
    *rowsRead = jpeg_read_scanlines(cinfo, rows, maxRows);
    return true;
}

bool KwLoadErrorManager::FinishDecompress(j_decompress_ptr cinfo) noexcept
{
    if (setjmp(ManagerOf(reinterpret_cast<j_common_ptr>(cinfo))->Jump)) return false;
    jpeg_finish_decompress(cinfo);
    return true;
}
