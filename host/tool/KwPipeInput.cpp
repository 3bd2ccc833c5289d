#include "KwPipeInput.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "KwPaths.h"
#include "KwPlatform.h"

bool KwPipeInput::ReadStream(std::FILE* stream, uint64_t limit, std::vector<unsigned char>& bytes, std::string& error)
{
    bytes.clear();
    const size_t most = static_cast<size_t>(std::min<uint64_t>(limit, SIZE_MAX - 1)) + 1;
    size_t used = 0;
    bool ok = true;
    try {
        for (;;) {
            if (used == bytes.size()) {
                if (used == most) {
                    error = "more than " + std::to_string(limit) +
                            " bytes to read, the most kept in memory for standard input or a pipe";
                    ok = false;
                    break;
                }
                bytes.resize(std::min(most, std::max<size_t>(used * 2, 1 << 16)));
            }
            const size_t got = std::fread(bytes.data() + used, 1, bytes.size() - used, stream);
            used += got;
            if (got == 0) break;
        }
    } catch (const std::bad_alloc&) {
        error = "not enough memory to hold it";
        ok = false;
    }
    if (ok && std::ferror(stream)) {
        error = std::string("cannot read it: ") + std::strerror(errno);
        ok = false;
    }
    if (ok)
        bytes.resize(used);
    else
        std::vector<unsigned char>().swap(bytes);
    return ok;
}

std::string KwPipeInput::Named(const std::string& path)
{
    return IsStandardStream(path) ? std::string("standard input") : path;
}

bool KwPipeInput::IsPipe(const std::string& path)
{
    return KwPaths::IsSpecialFile(path);
}

uint64_t KwPipeInput::LimitFor(unsigned long long pixelLimit)
{
    const uint64_t least = uint64_t(16) << 20, most = (uint64_t(2) << 30) - 1;
    return pixelLimit > most / 4 ? most : std::max(least, uint64_t(pixelLimit) * 4);
}

bool KwPipeInput::Read(const std::string& path, uint64_t limit, std::vector<unsigned char>& bytes, std::string& error)
{
    bytes.clear();
    std::FILE* stream = stdin;
    if (IsStandardStream(path))
        KwSetBinaryStandardStream(0);
    else if (!(stream = KwPaths::Open(path, "rb"))) {
        error = std::string("cannot open it: ") + std::strerror(errno);
        return false;
    }
    const bool ok = ReadStream(stream, limit, bytes, error);
    if (stream != stdin) std::fclose(stream);
    if (!ok && error.rfind("more than ", 0) == 0) error += " (4 bytes a pixel of --max-pixels); name the file instead";
    return ok;
}
