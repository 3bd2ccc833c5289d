#include "KwCodecGuard.h"

#include <type_traits>

// The codec holds a pointer to Public; the exit finds the whole record from it.
static_assert(std::is_standard_layout<KwCodecGuard>::value, "Public must start the record");

extern "C" void KwCodecErrorExit(j_common_ptr cinfo)
{
    KwCodecGuard::Leave(cinfo);
}

void KwCodecGuard::Attach(j_common_ptr cinfo) noexcept
{
    jpeg_std_error(&Public);
    Public.error_exit = KwCodecErrorExit;
    cinfo->err = &Public;
}

void KwCodecGuard::Leave(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<KwCodecGuard*>(cinfo->err)->Jump, 1);
}

// Nothing dynamic here: a jump back into this frame skips no destructor.
bool KwCodecGuard::RunCall(j_common_ptr cinfo, Thunk thunk, void* call) noexcept
{
    if (setjmp(reinterpret_cast<KwCodecGuard*>(cinfo->err)->Jump)) return false;
    thunk(call);
    return true;
}
