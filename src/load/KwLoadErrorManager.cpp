#include "KwLoadErrorManager.h"

#include <type_traits>

#include "JpegStreamSource.h"

// The codec holds a pointer to Standard; the wrappers and error_exit find the whole record from it.
static_assert(std::is_standard_layout<KwLoadErrorManager>::value, "Standard must start the record");

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

// Warnings and trace messages (damaged entropy data, for example) are dropped and not counted.
static void KwLoadEmitMessage(j_common_ptr, int) {}
static void KwLoadOutputMessage(j_common_ptr) {}
static void KwLoadFormatMessage(j_common_ptr, char*) {}

} // extern "C"

void KwLoadErrorManager::Attach(j_decompress_ptr cinfo) noexcept
{
    jpeg_std_error(&Standard);
    Standard.error_exit = KwLoadErrorExit;
    Standard.emit_message = KwLoadEmitMessage;
    Standard.output_message = KwLoadOutputMessage;
    Standard.format_message = KwLoadFormatMessage;
    cinfo->err = &Standard;
}

bool KwLoadErrorManager::CreateDecompress(j_decompress_ptr cinfo) noexcept
{
    if (setjmp(ManagerOf(reinterpret_cast<j_common_ptr>(cinfo))->Jump)) return false;
    jpeg_create_decompress(cinfo);
    return true;
}

bool KwLoadErrorManager::InstallSource(j_decompress_ptr cinfo, CKwFilterJPEG* owner) noexcept
{
    if (setjmp(ManagerOf(reinterpret_cast<j_common_ptr>(cinfo))->Jump)) return false;
    InstallStreamSource(owner, cinfo);
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
