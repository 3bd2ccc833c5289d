// A stream over bytes in memory that cannot seek, as a pipe, for the readers
// of the tool that read files and pipes alike.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

struct KwFuzzPipe {
    const uint8_t* Data;
    size_t Size;

    // Open for reading; aborts when the C library cannot make it.
    std::FILE* Open()
    {
        cookie_io_functions_t functions{};
        functions.read = Read;
        std::FILE* stream = fopencookie(this, "rb", functions);
        if (!stream) std::abort();
        return stream;
    }

private:
    static ssize_t Read(void* cookie, char* out, size_t want)
    {
        KwFuzzPipe* pipe = static_cast<KwFuzzPipe*>(cookie);
        const size_t n = want < pipe->Size ? want : pipe->Size;
        std::memcpy(out, pipe->Data, n);
        pipe->Data += n;
        pipe->Size -= n;
        return ssize_t(n);
    }
};
