#include "KwFileSeek.h"

namespace {

int64_t Tell(std::FILE* file)
{
#if defined(_WIN32)
    return _ftelli64(file);
#else
    return ftello(file);
#endif
}

bool Seek(std::FILE* file, int64_t offset, int origin)
{
#if defined(_WIN32)
    return _fseeki64(file, offset, origin) == 0;
#else
    return fseeko(file, offset, origin) == 0;
#endif
}

} // namespace

int64_t KwFileSeek::BytesLeft(std::FILE* file)
{
    const int64_t start = Tell(file);
    if (start < 0 || !Seek(file, 0, SEEK_END)) return -1;
    const int64_t end = Tell(file);
    if (!Seek(file, start, SEEK_SET)) return -1;
    return end > start ? end - start : 0;
}

bool KwFileSeek::MoveTo(std::FILE* file, uint64_t& position, uint64_t target)
{
    if (target == position) return true;
    if (target <= uint64_t(INT64_MAX) && Seek(file, int64_t(target), SEEK_SET)) {
        position = target;
        return true;
    }
    uint8_t skip[4096];
    while (position < target) {
        const size_t want = target - position < sizeof skip ? size_t(target - position) : sizeof skip;
        const size_t got = std::fread(skip, 1, want, file);
        position += got;
        if (got != want) return false;
    }
    return position == target;
}
