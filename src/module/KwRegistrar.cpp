#include "KwRegistrar.h"

#include <cstring>

#include "com/KwMemory.h"
#include "KwScriptInterpreter.h"
#include "KwScriptTokenizer.h"

namespace {

// Keys whose loss would damage the system; a script can never force-delete them.
const char* const ProtectedKeyNames[] = {
    "AppID",    "CLSID",  "Component Categories", "FileType", "Interface", "Hardware",
    "Mime",     "SAM",    "SECURITY",             "SYSTEM",   "Software",  "TypeLib",
};

} // namespace

bool KwRegistrar::IsProtectedKeyName(const char* name) noexcept
{
    if (!name) return false;
    size_t length = std::strlen(name);
    for (const char* protectedName : ProtectedKeyNames) {
        if (KwScriptEqualNoCase(name, length, protectedName, std::strlen(protectedName))) return true;
    }
    return false;
}

HRESULT KwRegistrar::AddReplacement(const char* name, const char* value) noexcept
{
    if (!name || !*name || !value) return E_INVALIDARG;
    if (m_ReplacementCount == MaxReplacements) return E_OUTOFMEMORY;
    m_Replacements[m_ReplacementCount++] = {name, std::strlen(name), value, std::strlen(value)};
    return S_OK;
}

const KwRegistrar::Replacement* KwRegistrar::FindReplacement(const char* name, size_t length) const noexcept
{
    for (int i = 0; i < m_ReplacementCount; ++i) {
        const Replacement& r = m_Replacements[i];
        if (KwScriptEqualNoCase(name, length, r.Name, r.NameLength)) return &r;
    }
    return nullptr;
}

HRESULT KwRegistrar::Expand(const char* text, size_t length, KwBuffer<char>& expanded) noexcept
{
    expanded.reset();
    // First pass checks the text and measures the result, second pass fills it.
    size_t size = 0;
    KwBuffer<char> out;
    for (int pass = 0; pass < 2; ++pass) {
        size_t at = 0;
        for (size_t i = 0; i < length; ++i) {
            const char* piece = &text[i];
            size_t pieceLength = 1;
            if (text[i] == '\0') return KW_E_REGISTRAR_SCRIPT;
            if (text[i] == '%') {
                size_t close = i + 1;
                while (close < length && text[close] != '%') ++close;
                if (close == length) return KW_E_REGISTRAR_SCRIPT; // a % that is never closed
                if (close == i + 1) {
                    pieceLength = 1; // %% is one %
                } else {
                    const Replacement* r = FindReplacement(&text[i + 1], close - i - 1);
                    if (!r) return KW_E_REGISTRAR_SCRIPT;
                    piece = r->Value;
                    pieceLength = r->ValueLength;
                }
                i = close;
            }
            if (pieceLength > static_cast<size_t>(-1) - 1 - at) return E_OUTOFMEMORY; // measured before filling
            if (out) std::memcpy(out.get() + at, piece, pieceLength);
            at += pieceLength;
        }
        if (pass == 0) {
            size = at;
            out = KwAllocateBuffer<char>(size + 1);
            if (!out) return E_OUTOFMEMORY;
        } else {
            out[at] = '\0';
        }
    }
    expanded = std::move(out);
    return S_OK;
}

HRESULT KwRegistrar::Run(const char* text, size_t length, bool registering) noexcept
{
    if (!text && length) return E_INVALIDARG;
    KwBuffer<char> script;
    HRESULT hr = Expand(text ? text : "", length, script);
    if (FAILED(hr)) return hr;
    return KwScriptInterpreter(script.get(), registering).Run();
}
