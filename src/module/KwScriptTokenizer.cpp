#include "KwScriptTokenizer.h"

namespace {

bool IsSpace(char c) noexcept { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

char Lower(char c) noexcept { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

} // namespace

bool KwScriptToken::Is(const char* word) const noexcept
{
    if (!text || quoted) return false;
    size_t i = 0;
    for (; i < length; ++i) {
        if (word[i] == '\0' || Lower(text[i]) != Lower(word[i])) return false;
    }
    return word[i] == '\0';
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
