// Writes a PPM (P6) or PGM (P5) file from rows as the load filter delivers
// them: a host row sink, so a JPEG becomes a PPM without the whole image in
// memory. Takes 8-bit palette rows and 24-bit B, G, R rows.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/KwHostRowSink.h"

class KwNetpbmRowWriter final : public KwHostRowSink {
public:
    // gray: write P5, which needs an 8-bit image with a gray palette.
    KwNetpbmRowWriter(std::string path, bool gray) : m_Path(std::move(path)), m_Gray(gray) {}
    ~KwNetpbmRowWriter() override;

    HRESULT Begin(LONG width, LONG height, LONG bitsPerPixel, const std::vector<LONG>& palette) override;
    HRESULT Rows(LONG first, LONG count, const unsigned char* rows, LONG bytesPerLine) override;

    // Rows the filter never delivered are written as pixel value 0, as a kept
    // image holds them; then the file is closed. False with a message on failure.
    bool Finish(std::string& error);
    // Why Begin or Rows failed, or empty.
    const std::string& Error() const { return m_Error; }

private:
    bool WriteRow(const unsigned char* row);

    std::string m_Path;
    bool m_Gray;
    std::FILE* m_File = nullptr;
    LONG m_Width = 0;
    LONG m_Height = 0;
    LONG m_Bits = 0;
    LONG m_Written = 0;
    uint32_t m_Colours[256] = {};
    bool m_Identity = false; // the palette maps index i to gray level i
    std::vector<uint8_t> m_Line;
    std::string m_Error;
};
