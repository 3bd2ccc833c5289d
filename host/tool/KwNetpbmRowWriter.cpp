#include "KwNetpbmRowWriter.h"

#include <cerrno>
#include <cstring>

#include "KwPaths.h"
#include "KwPixelSwap.h"

KwNetpbmRowWriter::~KwNetpbmRowWriter()
{
    if (m_File) std::fclose(m_File);
}

HRESULT KwNetpbmRowWriter::Begin(LONG width, LONG height, LONG bitsPerPixel, const std::vector<LONG>& palette)
{
    if (m_File) return E_UNEXPECTED;
    if (bitsPerPixel != 8 && bitsPerPixel != 24) {
        m_Error = "cannot write " + std::to_string(bitsPerPixel) + "-bit rows as PPM or PGM";
        return E_INVALIDARG;
    }
    bool grayPalette = bitsPerPixel == 8 && !palette.empty();
    m_Identity = bitsPerPixel == 8 && palette.size() == 256;
    for (size_t i = 0; i < 256; ++i) {
        const uint32_t rgb = i < palette.size() ? uint32_t(palette[i]) & 0xFFFFFF : 0;
        m_Colours[i] = rgb;
        if (i < palette.size() && ((rgb >> 16) != (rgb & 0xFF) || ((rgb >> 8) & 0xFF) != (rgb & 0xFF)))
            grayPalette = false;
        if (rgb != ((i << 16) | (i << 8) | i)) m_Identity = false;
    }
    if (m_Gray && !grayPalette) {
        m_Error = "a PGM file holds gray images only, and this image has colour (write .ppm or .png instead)";
        return E_INVALIDARG;
    }
    m_File = KwPaths::Create(m_Path, m_Error);
    if (!m_File) return STG_E_ACCESSDENIED;
    m_Width = width;
    m_Height = height;
    m_Bits = bitsPerPixel;
    m_Line.resize(static_cast<size_t>(width) * (m_Gray ? 1 : 3));
    if (std::fprintf(m_File, "P%c\n%d %d\n255\n", m_Gray ? '5' : '6', int(width), int(height)) < 0) {
        m_Error = "could not write all bytes (disk full?)";
        return STG_E_MEDIUMFULL;
    }
    return S_OK;
}

bool KwNetpbmRowWriter::WriteRow(const unsigned char* row)
{
    const size_t width = static_cast<size_t>(m_Width);
    const uint8_t* out = m_Line.data();
    if (m_Bits == 24) {
        KwPixelSwap::SwapRedBlue(row, m_Line.data(), width);
    } else if (m_Gray && m_Identity) {
        out = row; // each index is its own level
    } else if (m_Gray) {
        for (size_t x = 0; x < width; ++x) m_Line[x] = uint8_t(m_Colours[row[x]]);
    } else {
        for (size_t x = 0; x < width; ++x) {
            const uint32_t rgb = m_Colours[row[x]];
            m_Line[3 * x] = uint8_t(rgb >> 16);
            m_Line[3 * x + 1] = uint8_t(rgb >> 8);
            m_Line[3 * x + 2] = uint8_t(rgb);
        }
    }
    if (std::fwrite(out, 1, m_Line.size(), m_File) != m_Line.size()) {
        m_Error = "could not write all bytes (disk full?)";
        return false;
    }
    ++m_Written;
    return true;
}

HRESULT KwNetpbmRowWriter::Rows(LONG first, LONG count, const unsigned char* rows, LONG bytesPerLine)
{
    // The raster block passes rows in order; anything else is a fault of the caller.
    if (!m_File || first != m_Written || count < 0 || count > m_Height - m_Written) return E_UNEXPECTED;
    for (LONG y = 0; y < count; ++y)
        if (!WriteRow(rows + static_cast<size_t>(y) * static_cast<size_t>(bytesPerLine))) return STG_E_MEDIUMFULL;
    return S_OK;
}

bool KwNetpbmRowWriter::Finish(std::string& error)
{
    if (!m_File) {
        error = m_Error.empty() ? "no image was delivered" : m_Error;
        return false;
    }
    bool ok = m_Error.empty();
    if (ok && m_Written < m_Height) {
        const std::vector<unsigned char> blank(static_cast<size_t>(m_Width) * 3, 0);
        while (ok && m_Written < m_Height) ok = WriteRow(blank.data());
    }
    ok = std::fclose(m_File) == 0 && ok;
    m_File = nullptr;
    if (!ok) error = m_Error.empty() ? "could not write all bytes (disk full?)" : m_Error;
    return ok;
}
