// What every fuzz target shares: one started reference host engine for the
// whole run, codec and host limits that keep a single input cheap, and the
// check after each input that the filter released everything it took.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/KwHostEngine.h"

// Host raster storage above this many pixels is refused, so an input that
// declares a large image costs no more than the refusal (512 x 512 pixels;
// larger images reach no more of our code, they only take time).
const unsigned long long KwFuzzMaxRasterPixels = 1ull << 18;

// Starts COM and the engine once (idempotent). Standard output is silenced:
// the section scanner prints a diagnostic line there, and libFuzzer reports
// on standard error.
void KwFuzzStart();
KwHostEngine& KwFuzzEngine();

// Aborts (a finding) when host objects or filter objects outlived the input.
void KwFuzzCheckClean(const char* target);

// Reads an input from the front, a field at a time; past the end every field
// reads as zero, so any byte string is a valid program.
class KwFuzzReader {
public:
    KwFuzzReader(const uint8_t* data, size_t size) : m_Data(data), m_Size(size) {}
    bool Empty() const { return m_At >= m_Size; }
    size_t Left() const { return m_At < m_Size ? m_Size - m_At : 0; }
    uint8_t U8() { return m_At < m_Size ? m_Data[m_At++] : 0; }
    uint16_t U16() { return static_cast<uint16_t>(U8() | (U8() << 8)); }
    uint32_t U32() { return static_cast<uint32_t>(U16()) | (static_cast<uint32_t>(U16()) << 16); }
    // Copies up to count bytes (zero-filled past the end).
    void Bytes(uint8_t* into, size_t count);

private:
    const uint8_t* m_Data;
    size_t m_Size;
    size_t m_At = 0;
};
