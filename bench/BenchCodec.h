// The raw codec, as a program that uses libjpeg directly would: the yardstick
// the filter is measured against. Decoding uses the load filter's settings
// (fast integer IDCT, no dithering, no quantisation) and asks the codec for the
// bytes the host wants where it can give them (B, G, R for colour); encoding
// uses the save filter's settings (quality 75, baseline, defaults otherwise).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

typedef std::vector<unsigned char> BenchBytes;

struct BenchRawDecode {
    int width = 0;
    int height = 0;
    int components = 0;
    unsigned checksum = 0;
};

// Decodes a whole file row by row into one reused row buffer, reading the data
// through a source that copies 4096-byte blocks (as a stream-fed decoder does).
bool BenchDecodeRaw(const BenchBytes& file, BenchRawDecode* result);

// Decodes a whole file into packed R, G, B (or gray) samples; for making inputs.
bool BenchDecodeToRgb(const BenchBytes& file, bool gray, int* width, int* height, BenchBytes* samples);

// Compressing is TestJpeg::EncodeReference (tests/common), shared with the tests.

// Reads a whole file; empty when it cannot be read.
BenchBytes BenchReadFile(const std::string& path);
