// Input that can be read only once, front to back (standard input, a pipe,
// /dev/stdin), read whole into memory: the load filter reads its stream
// twice, which a pipe cannot do.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class KwPipeInput {
public:
    // The name that stands for standard input (and output) on the command line.
    static bool IsStandardStream(const std::string& path) { return path == "-"; }
    // What messages call the input: "standard input" for "-", else the path.
    static std::string Named(const std::string& path);
    // True when `path` is something other than a file or a folder (a pipe, a
    // device): it cannot be read at random.
    static bool IsPipe(const std::string& path);

    // The most bytes taken from a pipe for a pixel limit: 4 bytes a pixel (far
    // more than any JPEG of that many pixels needs), at least 16 MB, at most 2 GB.
    static uint64_t LimitFor(unsigned long long pixelLimit);
    // Reads standard input ("-") or the pipe at `path` to its end, in binary
    // mode. False with a message when it holds more than `limit` bytes, cannot
    // be read, or memory runs out; `bytes` is then empty.
    static bool Read(const std::string& path, uint64_t limit, std::vector<unsigned char>& bytes, std::string& error);
    // The same for an open stream, from where it stands; the memory taken
    // never passes the limit by more than a block of a megabyte.
    static bool ReadStream(std::FILE* stream, uint64_t limit, std::vector<unsigned char>& bytes, std::string& error);

    // Standard input ("-", in binary mode) or the pipe at `path`, open for
    // reading; null with a message when it cannot be opened. Close leaves
    // standard input open.
    static std::FILE* Open(const std::string& path, std::string& error);
    static void Close(std::FILE* stream);
    // The next byte of the stream, left to be read again; EOF at the end.
    static int Peek(std::FILE* stream);
};
