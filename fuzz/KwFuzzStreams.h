// The fuzz input as the stream a reader of the tool is handed: a file (a
// memory stream that seeks) or a pipe (one that cannot seek).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tool/KwRasterImage.h"

class KwFuzzStreams {
public:
    // A stream over `data`, which must outlive it; aborts when the C library
    // cannot make one. Empty input gives no file (a memory stream needs a byte).
    static std::FILE* OpenFile(const uint8_t* data, size_t size)
    {
        if (size == 0) return nullptr;
        std::FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
        if (!file) std::abort();
        return file;
    }

    // `Reader::Read(FILE*, KwRasterImage&, std::string&)` over the input as
    // a file or as a pipe.
    template <class Reader>
    static bool Read(const uint8_t* data, size_t size, bool asPipe, KwRasterImage& image, std::string& error)
    {
        Pipe pipe{data, size};
        std::FILE* stream = asPipe ? OpenPipe(pipe) : OpenFile(data, size);
        if (!stream) {
            error = "empty";
            return false;
        }
        const bool read = Reader::Read(stream, image, error);
        std::fclose(stream);
        return read;
    }

private:
    struct Pipe {
        const uint8_t* Data;
        size_t Size;
    };

    static std::FILE* OpenPipe(Pipe& pipe)
    {
        cookie_io_functions_t functions{};
        functions.read = ReadPipe;
        std::FILE* stream = fopencookie(&pipe, "rb", functions);
        if (!stream) std::abort();
        return stream;
    }

    static ssize_t ReadPipe(void* cookie, char* out, size_t want)
    {
        Pipe* pipe = static_cast<Pipe*>(cookie);
        const size_t n = want < pipe->Size ? want : pipe->Size;
        std::memcpy(out, pipe->Data, n);
        pipe->Data += n;
        pipe->Size -= n;
        return ssize_t(n);
    }
};
