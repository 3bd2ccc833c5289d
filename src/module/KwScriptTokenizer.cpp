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
    return Text && !Quoted && KwScriptEqualNoCase(Text, Length, word, std::strlen(word));
}

bool KwScriptTokenizer::Next(KwScriptToken& token) noexcept
{
    if (m_HasPeeked) {
        m_HasPeeked = false;
        token = m_Peeked;
        return true;
    }
    return Scan(token);
}

bool KwScriptTokenizer::Peek(KwScriptToken& token) noexcept
{
    if (!m_HasPeeked) {
        if (!Scan(m_Peeked)) return false;
        m_HasPeeked = true;
    }
    token = m_Peeked;
    return true;
}

bool KwScriptTokenizer::Scan(KwScriptToken& token) noexcept
{
    token = KwScriptToken();
    while (*m_Cursor != '\0' && IsSpace(*m_Cursor)) ++m_Cursor;
    if (*m_Cursor == '\0') return true;

    if (*m_Cursor == '\'') {
        // Unquote in place: the text only shrinks, so writing behind the read
        // position never overwrites anything not yet read.
        char* out = m_Cursor;
        const char* in = m_Cursor + 1;
        for (;;) {
            if (*in == '\0') return false;
            if (*in == '\'') {
                if (in[1] != '\'') break;
                ++in;
            }
            *out++ = *in++;
        }
        token.Text = m_Cursor;
        token.Length = static_cast<size_t>(out - m_Cursor);
        token.Quoted = true;
        *out = '\0';
        m_Cursor = const_cast<char*>(in) + 1;
        return true;
    }

    char* start = m_Cursor;
    while (*m_Cursor != '\0' && !IsSpace(*m_Cursor)) ++m_Cursor;
    token.Text = start;
    token.Length = static_cast<size_t>(m_Cursor - start);
    if (*m_Cursor != '\0') *m_Cursor++ = '\0'; // the separating space becomes the terminator
    return true;
}
