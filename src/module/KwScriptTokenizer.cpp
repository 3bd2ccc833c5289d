#include "KwScriptTokenizer.h"

#include <cstring>

namespace {

bool IsSpace(char c) noexcept { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

char Lower(char c) noexcept { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

} // namespace

bool KwScriptEqualNoCase(const char* a, size_t aLength, const char* b, size_t bLength) noexcept
{
    if (aLength != bLength) return false;
    for (size_t i = 0; i < aLength; ++i) {
        if (Lower(a[i]) != Lower(b[i])) return false;
    }
    return true;
}

bool KwScriptToken::Is(const char* word) const noexcept
{
    return text && !quoted && KwScriptEqualNoCase(text, length, word, std::strlen(word));
}

bool KwScriptTokenizer::Next(KwScriptToken& token) noexcept
{
    if (m_hasPeeked) {
        m_hasPeeked = false;
        token = m_peeked;
        return true;
    }
    return Scan(token);
}

bool KwScriptTokenizer::Peek(KwScriptToken& token) noexcept
{
    if (!m_hasPeeked) {
        if (!Scan(m_peeked)) return false;
        m_hasPeeked = true;
    }
    token = m_peeked;
    return true;
}

bool KwScriptTokenizer::Scan(KwScriptToken& token) noexcept
{
    token = KwScriptToken();
    while (*m_cursor != '\0' && IsSpace(*m_cursor)) ++m_cursor;
    if (*m_cursor == '\0') return true;

    if (*m_cursor == '\'') {
        // Unquote in place: the text only shrinks, so writing behind the read
        // position never overwrites anything not yet read.
        char* out = m_cursor;
        const char* in = m_cursor + 1;
        for (;;) {
            if (*in == '\0') return false;
            if (*in == '\'') {
                if (in[1] != '\'') break;
                ++in;
            }
            *out++ = *in++;
        }
        token.text = m_cursor;
        token.length = static_cast<size_t>(out - m_cursor);
        token.quoted = true;
        *out = '\0';
        m_cursor = const_cast<char*>(in) + 1;
        return true;
    }

    char* start = m_cursor;
    while (*m_cursor != '\0' && !IsSpace(*m_cursor)) ++m_cursor;
    token.text = start;
    token.length = static_cast<size_t>(m_cursor - start);
    if (*m_cursor != '\0') *m_cursor++ = '\0'; // the separating space becomes the terminator
    return true;
}
