// Code page conversion. The ANSI, OEM and thread code pages of this platform
// are all UTF-8, so every supported code page converts UTF-8 <-> UTF-16.
//
// File names here are bytes that need not be UTF-8. Their wide form (from
// GetModuleFileNameW) carries each byte that is not part of UTF-8 as a lone
// surrogate U+DC80..U+DCFF, and the conversion to UTF-8 turns such a surrogate
// back into its byte, so that a wide file name always finds its file again.
// Windows turns a lone surrogate into U+FFFD, which names no file.
#include "KwPosixInternal.h"

namespace {

constexpr uint32_t Replacement = 0xFFFD;

bool IsSupportedCodePage(UINT cp)
{
    return cp == CP_ACP || cp == CP_OEMCP || cp == CP_THREAD_ACP || cp == CP_UTF8;
}

// Decodes one character at s[i] and advances i. An ill-formed sequence
// consumes its maximal valid prefix (at least one byte) and yields false,
// so each one becomes exactly one U+FFFD. As the system converters do, a continuation
// byte that a three- or four-byte lead cannot take (an overlong form, a
// surrogate, a value above U+10FFFF) still goes with the lead into that one
// U+FFFD: "\xED\xA0\x80" gives two, not three.
bool DecodeUtf8(const uint8_t* s, size_t n, size_t& i, uint32_t& cp)
{
    const uint8_t b0 = s[i];
    if (b0 < 0x80) {
        cp = b0;
        ++i;
        return true;
    }
    int need;
    uint8_t lo = 0x80, hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        need = 1;
        cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        need = 2;
        cp = b0 & 0x0F;
        if (b0 == 0xE0) lo = 0xA0;      // overlong
        else if (b0 == 0xED) hi = 0x9F; // UTF-16 surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        need = 3;
        cp = b0 & 0x07;
        if (b0 == 0xF0) lo = 0x90;      // overlong
        else if (b0 == 0xF4) hi = 0x8F; // above U+10FFFF
    } else {
        ++i;
        return false;
    }
    for (int k = 1; k <= need; ++k) {
        if (i + k >= n) {
            i += k;
            return false;
        }
        const uint8_t b = s[i + k];
        const uint8_t min = k == 1 ? lo : 0x80;
        const uint8_t max = k == 1 ? hi : 0xBF;
        if (b < min || b > max) {
            i += k;
            if (k == 1 && need > 1 && b >= 0x80 && b <= 0xBF) ++i;
            return false;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    i += need + 1;
    return true;
}

} // namespace

KWPLATFORM_API int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                                       LPWSTR lpWideCharStr, int cchWideChar)
{
    if (!IsSupportedCodePage(CodePage) || !lpMultiByteStr || cbMultiByte == 0 || cbMultiByte < -1 ||
        cchWideChar < 0 || (cchWideChar > 0 && !lpWideCharStr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // UTF-8 takes only MB_ERR_INVALID_CHARS; the ANSI code page also takes MB_PRECOMPOSED.
    const DWORD allowed = CodePage == CP_UTF8 ? MB_ERR_INVALID_CHARS : (MB_ERR_INVALID_CHARS | MB_PRECOMPOSED);
    if (dwFlags & ~allowed) {
        SetLastError(ERROR_INVALID_FLAGS);
        return 0;
    }
    const uint8_t* src = reinterpret_cast<const uint8_t*>(lpMultiByteStr);
    const size_t n = cbMultiByte == -1 ? std::strlen(lpMultiByteStr) + 1 : static_cast<size_t>(cbMultiByte);
    const bool strict = (dwFlags & MB_ERR_INVALID_CHARS) != 0;

    size_t out = 0;
    size_t i = 0;
    while (i < n) {
        uint32_t cp = 0;
        if (!DecodeUtf8(src, n, i, cp)) {
            if (strict) {
                SetLastError(ERROR_NO_UNICODE_TRANSLATION);
                return 0;
            }
            cp = Replacement;
        }
        const size_t units = cp >= 0x10000 ? 2 : 1;
        if (out + units > static_cast<size_t>(INT32_MAX)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        if (cchWideChar > 0) {
            if (out + units > static_cast<size_t>(cchWideChar)) {
                SetLastError(ERROR_INSUFFICIENT_BUFFER);
                return 0;
            }
            if (units == 2) {
                const uint32_t v = cp - 0x10000;
                lpWideCharStr[out] = static_cast<WCHAR>(0xD800 + (v >> 10));
                lpWideCharStr[out + 1] = static_cast<WCHAR>(0xDC00 + (v & 0x3FF));
            } else {
                lpWideCharStr[out] = static_cast<WCHAR>(cp);
            }
        }
        out += units;
    }
    return static_cast<int>(out);
}

KWPLATFORM_API int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                                       LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                                       LPBOOL lpUsedDefaultChar)
{
    if (!IsSupportedCodePage(CodePage) || !lpWideCharStr || cchWideChar == 0 || cchWideChar < -1 ||
        cbMultiByte < 0 || (cbMultiByte > 0 && !lpMultiByteStr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (CodePage == CP_UTF8) {
        // UTF-8 has no default character: Windows refuses both arguments.
        if (lpDefaultChar || lpUsedDefaultChar) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        if (dwFlags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS)) {
            SetLastError(ERROR_INVALID_FLAGS);
            return 0;
        }
    }
    if (lpUsedDefaultChar) *lpUsedDefaultChar = FALSE;
    const bool strict = (dwFlags & WC_ERR_INVALID_CHARS) != 0;
    size_t n = 0;
    if (cchWideChar == -1) {
        while (lpWideCharStr[n]) ++n;
        ++n;
    } else {
        n = static_cast<size_t>(cchWideChar);
    }

    size_t out = 0;
    for (size_t i = 0; i < n;) {
        uint32_t cp = lpWideCharStr[i++];
        if (cp >= 0xD800 && cp <= 0xDBFF && i < n && lpWideCharStr[i] >= 0xDC00 && lpWideCharStr[i] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (lpWideCharStr[i] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            if (strict) {
                SetLastError(ERROR_NO_UNICODE_TRANSLATION);
                return 0;
            }
            // A byte of a file name that is not UTF-8 is that byte; any other
            // lone surrogate is U+FFFD.
            if (cp < 0xDC80 || cp > 0xDCFF) cp = Replacement;
        }
        uint8_t bytes[4];
        size_t len;
        if (cp >= 0xDC80 && cp <= 0xDCFF) {
            bytes[0] = static_cast<uint8_t>(cp - 0xDC00);
            len = 1;
        } else if (cp < 0x80) {
            bytes[0] = static_cast<uint8_t>(cp);
            len = 1;
        } else if (cp < 0x800) {
            bytes[0] = static_cast<uint8_t>(0xC0 | (cp >> 6));
            bytes[1] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
            len = 2;
        } else if (cp < 0x10000) {
            bytes[0] = static_cast<uint8_t>(0xE0 | (cp >> 12));
            bytes[1] = static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F));
            bytes[2] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
            len = 3;
        } else {
            bytes[0] = static_cast<uint8_t>(0xF0 | (cp >> 18));
            bytes[1] = static_cast<uint8_t>(0x80 | ((cp >> 12) & 0x3F));
            bytes[2] = static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F));
            bytes[3] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
            len = 4;
        }
        if (out + len > static_cast<size_t>(INT32_MAX)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        if (cbMultiByte > 0) {
            if (out + len > static_cast<size_t>(cbMultiByte)) {
                SetLastError(ERROR_INSUFFICIENT_BUFFER);
                return 0;
            }
            std::memcpy(lpMultiByteStr + out, bytes, len);
        }
        out += len;
    }
    return static_cast<int>(out);
}

namespace kwposix {

std::string Narrow(LPCOLESTR text)
{
    std::string out;
    if (!text || !text[0]) return out;
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return out;
    out.resize(static_cast<size_t>(n));
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], n, nullptr, nullptr);
    out.resize(static_cast<size_t>(n - 1));
    return out;
}

std::u16string Widen(const std::string& text)
{
    std::u16string out;
    out.reserve(text.size());
    const uint8_t* s = reinterpret_cast<const uint8_t*>(text.data());
    const size_t n = text.size();
    for (size_t i = 0; i < n;) {
        const size_t start = i;
        uint32_t cp = 0;
        if (!DecodeUtf8(s, n, i, cp)) {
            // Each byte that is not UTF-8 (0x80 and above) stands for itself.
            for (size_t j = start; j < i; ++j) out += static_cast<char16_t>(0xDC00 + s[j]);
        } else if (cp >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

} // namespace kwposix
