// Reads an expanded registration script and applies it to the registry, in
// registration or removal mode (the language is described in KwRegistrar.h).
// The whole script is checked as it is read: a syntax error fails the run in
// either mode, also inside a part that removal skips.
#pragma once

#include "KwPlatform.h"
#include "KwScriptTokenizer.h"

class KwScriptInterpreter {
public:
    // `script` is zero-terminated and writable; the interpreter tokenizes it in place.
    KwScriptInterpreter(char* script, bool registering) noexcept : m_Tokens(script), m_Registering(registering) {}

    HRESULT Run() noexcept;

private:
    struct Value {
        DWORD Type = REG_NONE;
        KwScriptToken Text;
        DWORD Number = 0;
    };

    // Reads the contents of a brace-delimited list up to its closing brace.
    // `key` is null when the list is only read (removal of a missing key).
    HRESULT ReadKeyList(HKEY key, bool isRoot, int depth) noexcept;
    HRESULT ReadKey(HKEY parent, const KwScriptToken& name, bool forceRemove, bool noRemove, int depth) noexcept;
    HRESULT ReadNamedValue(HKEY key) noexcept;
    HRESULT ReadValue(Value& value) noexcept;
    HRESULT ApplyKeyForRegistration(HKEY parent, const KwScriptToken& name, bool forceRemove, const Value* value,
                                    bool hasBody, int depth) noexcept;
    HRESULT ApplyKeyForRemoval(HKEY parent, const KwScriptToken& name, bool noRemove, bool hasBody,
                               int depth) noexcept;
    HRESULT Expect(const char* word) noexcept;
    HRESULT NextToken(KwScriptToken& token) noexcept;
    HRESULT PeekToken(KwScriptToken& token) noexcept;

    KwScriptTokenizer m_Tokens;
    bool m_Registering;
};
