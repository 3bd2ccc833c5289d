#include "KwLoadErrorManager.h"

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
// codec error (nothing is shown on the load path).
static void KwLoadProgressMonitor(j_common_ptr cinfo)
{
    if (!cinfo->is_decompressor) return;
    if (!ManagerOf(cinfo)->Budget->Admits(reinterpret_cast<j_decompress_ptr>(cinfo))) {
        cinfo->err->msg_code = JERR_NOT_COMPILED; // any code: the message is never formatted
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
    if (cinfo->mem->max_memory_to_use <= 0 || cinfo->mem->max_memory_to_use > MaxCodecMemory)
        cinfo->mem->max_memory_to_use = MaxCodecMemory;
    return true;
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

bool KwLoadErrorManager::StartDecompress(j_decompress_ptr cinfo) noexcept
{
    if (setjmp(ManagerOf(reinterpret_cast<j_common_ptr>(cinfo))->Jump)) return false;
    // A multi-scan file is read whole here, within the work bound; a single
    // scan is decoded row by row afterwards, where the host sees progress and
    // may abort.
    jpeg_start_decompress(cinfo);
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
