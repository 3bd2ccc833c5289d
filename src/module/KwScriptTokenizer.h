// Splits the text of a registration script into tokens.
//
// A token is either a run of characters up to the next white space, or a text
// in single quotes in which '' stands for one quote. The tokenizer works in
// place on a writable, zero-terminated buffer: every token it returns is
// zero-terminated inside that buffer and stays valid while the buffer lives,
// so the interpreter needs no allocation per token.
#pragma once

#include <cstddef>

// Script words and variable names compare without regard to the case of ASCII letters.
bool KwScriptEqualNoCase(const char* a, size_t aLength, const char* b, size_t bLength) noexcept;

struct KwScriptToken {
    const char* Text = nullptr; // zero-terminated; null at the end of the script
    size_t Length = 0;
    bool Quoted = false;

    bool AtEnd() const noexcept { return Text == nullptr; }
    // True for the unquoted word `word` (letters compared without regard to case).
    bool Is(const char* word) const noexcept;
};

class KwScriptTokenizer {
public:
    explicit KwScriptTokenizer(char* buffer) noexcept : m_Cursor(buffer) {}

    // The next token; false on a quote that is never closed.
    bool Next(KwScriptToken& token) noexcept;
    // The next token without consuming it.
    bool Peek(KwScriptToken& token) noexcept;

private:
    bool Scan(KwScriptToken& token) noexcept;

    char* m_Cursor;
    KwScriptToken m_Peeked;
    bool m_HasPeeked = false;
};
