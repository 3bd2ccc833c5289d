#include "KwNetpbmRowWriter.h"

#include <cerrno>
#include <cstring>

#include "KwPixelSwap.h"

KwNetpbmRowWriter::~KwNetpbmRowWriter()
{
    if (m_file) std::fclose(m_file);
}

HRESULT KwNetpbmRowWriter::Begin(LONG width, LONG height, LONG bitsPerPixel, const std::vector<LONG>& palette)
{
    if (m_file) return E_UNEXPECTED;
    if (bitsPerPixel != 8 && bitsPerPixel != 24) {
        m_error = "cannot write " + std::to_string(bitsPerPixel) + "-bit rows as PPM or PGM";
        return E_INVALIDARG;
    }
    bool grayPalette = bitsPerPixel == 8 && !palette.empty();
    m_identity = bitsPerPixel == 8 && palette.size() == 256;
    for (size_t i = 0; i < 256; ++i) {
        const uint32_t rgb = i < palette.size() ? uint32_t(palette[i]) & 0xFFFFFF : 0;
        m_colours[i] = rgb;
        if (i < palette.size() && ((rgb >> 16) != (rgb & 0xFF) || ((rgb >> 8) & 0xFF) != (rgb & 0xFF)))
            grayPalette = false;
        if (rgb != ((i << 16) | (i << 8) | i)) m_identity = false;
    }
    if (m_gray && !grayPalette) {
        m_error = "a PGM file holds gray images only, and this image has colour (write .ppm or .png instead)";
        return E_INVALIDARG;
    }
    m_file = std::fopen(m_path.c_str(), "wb");
    if (!m_file) {
        m_error = std::strerror(errno);
        return STG_E_ACCESSDENIED;
    }
    m_width = width;
    m_height = height;
    m_bits = bitsPerPixel;
    m_line.resize(static_cast<size_t>(width) * (m_gray ? 1 : 3));
    if (std::fprintf(m_file, "P%c\n%d %d\n255\n", m_gray ? '5' : '6', int(width), int(height)) < 0) {
        m_error = "could not write all bytes (disk full?)";
        return STG_E_MEDIUMFULL;
    }
    return S_OK;
}

bool KwNetpbmRowWriter::WriteRow(const unsigned char* row)
{
    const size_t width = static_cast<size_t>(m_width);
    const uint8_t* out = m_line.data();
    if (m_bits == 24) {
        KwPixelSwap::SwapRedBlue(row, m_line.data(), width);
    } else if (m_gray && m_identity) {
        out = row; // each index is its own level
    } else if (m_gray) {
        for (size_t x = 0; x < width; ++x) m_line[x] = uint8_t(m_colours[row[x]]);
    } else {
        for (size_t x = 0; x < width; ++x) {
            const uint32_t rgb = m_colours[row[x]];
            m_line[3 * x] = uint8_t(rgb >> 16);
            m_line[3 * x + 1] = uint8_t(rgb >> 8);
            m_line[3 * x + 2] = uint8_t(rgb);
        }
    }
    if (std::fwrite(out, 1, m_line.size(), m_file) != m_line.size()) {
        m_error = "could not write all bytes (disk full?)";
        return false;
    }
    ++m_written;
    return true;
}

HRESULT KwNetpbmRowWriter::Rows(LONG first, LONG count, const unsigned char* rows, LONG bytesPerLine)
{
    // The raster block passes rows in order; anything else is a fault of the caller.
    if (!m_file || first != m_written || count < 0 || count > m_height - m_written) return E_UNEXPECTED;
    for (LONG y = 0; y < count; ++y)
        if (!WriteRow(rows + static_cast<size_t>(y) * static_cast<size_t>(bytesPerLine))) return STG_E_MEDIUMFULL;
    return S_OK;
}

bool KwNetpbmRowWriter::Finish(std::string& error)
{
    if (!m_file) {
        error = m_error.empty() ? "no image was delivered" : m_error;
        return false;
    }
    bool ok = m_error.empty();
    if (ok && m_written < m_height) {
        const std::vector<unsigned char> blank(static_cast<size_t>(m_width) * 3, 0);
        while (ok && m_written < m_height) ok = WriteRow(blank.data());
    }
    ok = std::fclose(m_file) == 0 && ok;
    m_file = nullptr;
    if (!ok) error = m_error.empty() ? "could not write all bytes (disk full?)" : m_error;
    return ok;
}
