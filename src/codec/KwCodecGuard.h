// The one place where a fatal codec error lands, for decode and encode alike.
// The codec's fatal-error routine must not return: it jumps back to Run, which
// started the codec call. Run holds the only setjmp and nothing with a
// destructor; the objects that own the codec, its buffers and references live
// in Run's caller, so the jump skips nothing and the codec object is destroyed
// exactly once, on the caller's ordinary path.
#pragma once

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

class KwCodecGuard {
public:
    // Fills the record with the codec's standard routines, with an exit that
    // ends the codec call running under Run, and makes it the error manager
    // of cinfo. A direction may then replace the reporting routines.
    void Attach(j_common_ptr cinfo) noexcept;

    // Runs call(), which makes codec calls on cinfo (whose error manager is a
    // KwCodecGuard, or a record that starts with one) and holds nothing with a
    // destructor. False when the codec raised a fatal error during it.
    // Neither call nor anything between it and the exit is noexcept: where a
    // jump unwinds the frames it crosses (64-bit Windows), a noexcept frame
    // on the way would end the process.
    template <typename Call> static bool Run(j_common_ptr cinfo, Call& call) noexcept
    {
        return RunCall(cinfo, &Invoke<Call>, &call);
    }
    template <typename Codec, typename Call> static bool Run(Codec* cinfo, Call& call) noexcept
    {
        return Run(reinterpret_cast<j_common_ptr>(cinfo), call);
    }

    // Ends the codec call running under Run; for an error exit that reports before it leaves.
    [[noreturn]] static void Leave(j_common_ptr cinfo);

    // The codec's public record first: the codec's err pointer is the whole record.
    jpeg_error_mgr Public;
    // Where the exit returns to: set by Run for the codec call it runs.
    std::jmp_buf Jump;

private:
    using Thunk = void (*)(void* call);
    static bool RunCall(j_common_ptr cinfo, Thunk thunk, void* call) noexcept;
    template <typename Call> static void Invoke(void* call) { (*static_cast<Call*>(call))(); }
};

extern "C" {
// The fatal-error routine of a silent direction: leaves at once.
void KwCodecErrorExit(j_common_ptr cinfo);
}
