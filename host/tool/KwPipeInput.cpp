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
    // Blocks read one after the other and put together once the end is met:
    // the memory in use never passes the limit by more than a block, where a
    // buffer that doubles holds one and a half times it (or twice) as it grows.
    const size_t most = size_t(1) << 20;
    std::vector<std::vector<unsigned char>> blocks;
    uint64_t used = 0;
    bool ok = true;
    bytes.clear();
    try {
        for (;;) {
            // Small inputs are read in small blocks, larger ones in blocks of the most.
            std::vector<unsigned char> next(std::min<uint64_t>(most, std::max<uint64_t>(used, 1 << 16)));
            const size_t got = std::fread(next.data(), 1, next.size(), stream);
            if (got == 0) break;
            used += got;
            if (used > limit) {
                error = "more than " + std::to_string(limit) +
                        " bytes to read, the most kept in memory for standard input or a pipe"
                        " (4 bytes a pixel of --max-pixels); name the file instead";
                ok = false;
                break;
            }
            next.resize(got);
            blocks.push_back(std::move(next));
        }
        if (ok && std::ferror(stream)) {
            error = std::string("cannot read it: ") + std::strerror(errno);
            ok = false;
        }
        if (ok) {
            // Reserved, not filled: each block is copied in and let go in turn.
            bytes.reserve(static_cast<size_t>(used));
            for (std::vector<unsigned char>& b : blocks) {
                bytes.insert(bytes.end(), b.begin(), b.end());
                std::vector<unsigned char>().swap(b);
            }
        }
    } catch (const std::bad_alloc&) {
        error = "not enough memory to hold it";
        ok = false;
    }
    if (!ok) std::vector<unsigned char>().swap(bytes);
    return ok;
}

std::FILE* KwPipeInput::Open(const std::string& path, std::string& error)
{
    if (IsStandardStream(path)) {
        KwSetBinaryStandardStream(0);
        return stdin;
    }
    std::FILE* stream = KwPaths::Open(path, "rb");
    if (!stream) error = std::string("cannot open it: ") + std::strerror(errno);
    return stream;
}

void KwPipeInput::Close(std::FILE* stream)
{
    if (stream && stream != stdin) std::fclose(stream);
}

int KwPipeInput::Peek(std::FILE* stream)
{
    const int c = std::fgetc(stream);
    if (c != EOF) std::ungetc(c, stream);
    return c;
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
    std::FILE* stream = Open(path, error);
    if (!stream) return false;
    const bool ok = ReadStream(stream, limit, bytes, error);
    Close(stream);
    return ok;
}
