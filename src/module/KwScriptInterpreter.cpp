#include "KwScriptInterpreter.h"

#include "KwRegistrar.h"

#include <cstring>

namespace {

// Closes a key handle on every path out of a scope.
struct KeyHandle {
    HKEY key = nullptr;
    KeyHandle() = default;
    KeyHandle(const KeyHandle&) = delete;
    KeyHandle& operator=(const KeyHandle&) = delete;
    ~KeyHandle() { Close(); }
    void Close() noexcept
    {
        if (key) RegCloseKey(key);
        key = nullptr;
    }
};

HRESULT FromStatus(LSTATUS status) noexcept
{
    return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<unsigned long>(status));
}

bool IsPunctuation(const KwScriptToken& t) noexcept { return t.Is("{") || t.Is("}") || t.Is("="); }

HKEY RootFromName(const KwScriptToken& t) noexcept
{
    if (t.Is("HKCR") || t.Is("HKEY_CLASSES_ROOT")) return HKEY_CLASSES_ROOT;
    if (t.Is("HKLM") || t.Is("HKEY_LOCAL_MACHINE")) return HKEY_LOCAL_MACHINE;
    return nullptr;
}

// A 32-bit number in decimal (optionally negative) or in hexadecimal after 0x.
bool ParseNumber(const KwScriptToken& t, DWORD& out) noexcept
{
    const char* p = t.text;
    const char* end = t.text + t.length;
    bool negative = false;
    unsigned base = 10;
    if (p < end && *p == '-') {
        negative = true;
        ++p;
    } else if (end - p > 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        base = 16;
        p += 2;
    }
    if (p == end) return false;
    unsigned long long value = 0;
    for (; p < end; ++p) {
        unsigned digit;
        if (*p >= '0' && *p <= '9') {
            digit = static_cast<unsigned>(*p - '0');
        } else if (base == 16 && *p >= 'a' && *p <= 'f') {
            digit = static_cast<unsigned>(*p - 'a' + 10);
        } else if (base == 16 && *p >= 'A' && *p <= 'F') {
            digit = static_cast<unsigned>(*p - 'A' + 10);
        } else {
            return false;
        }
        value = value * base + digit;
        if (value > 0xFFFFFFFFull) return false;
    }
    if (negative) {
        if (value > 0x80000000ull) return false;
        value = (0x100000000ull - value) & 0xFFFFFFFFull;
    }
    out = static_cast<DWORD>(value);
    return true;
}

bool HasBackslash(const KwScriptToken& t) noexcept
{
    for (size_t i = 0; i < t.length; ++i) {
        if (t.text[i] == '\\') return true;
    }
    return false;
}

HRESULT WriteValue(HKEY key, const char* name, DWORD type, const char* text, size_t length, DWORD number) noexcept
{
    if (type == REG_DWORD) {
        BYTE data[4];
        std::memcpy(data, &number, sizeof data);
        return FromStatus(RegSetValueExA(key, name, 0, REG_DWORD, data, sizeof data));
    }
    if (length >= 0xFFFFFFFFu) return E_INVALIDARG;
    return FromStatus(RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                     static_cast<DWORD>(length + 1)));
}

} // namespace

HRESULT KwScriptInterpreter::NextToken(KwScriptToken& token) noexcept
{
    return m_tokens.Next(token) ? S_OK : KW_E_REGISTRAR_SCRIPT;
}

HRESULT KwScriptInterpreter::PeekToken(KwScriptToken& token) noexcept
{
    return m_tokens.Peek(token) ? S_OK : KW_E_REGISTRAR_SCRIPT;
}

HRESULT KwScriptInterpreter::Expect(const char* word) noexcept
{
    KwScriptToken t;
    HRESULT hr = NextToken(t);
    if (FAILED(hr)) return hr;
    return t.Is(word) ? S_OK : KW_E_REGISTRAR_SCRIPT;
}

HRESULT KwScriptInterpreter::Run() noexcept
{
    for (;;) {
        KwScriptToken t;
        HRESULT hr = NextToken(t);
        if (FAILED(hr)) return hr;
        if (t.AtEnd()) return S_OK;
        HKEY root = RootFromName(t);
        if (!root) return KW_E_REGISTRAR_SCRIPT;
        hr = Expect("{");
        if (FAILED(hr)) return hr;
        hr = ReadKeyList(root, true, 1);
        if (FAILED(hr)) return hr;
    }
}

HRESULT KwScriptInterpreter::ReadKeyList(HKEY key, bool isRoot, int depth) noexcept
{
    if (depth > KwRegistrar::kMaxDepth) return KW_E_REGISTRAR_SCRIPT;
    for (;;) {
        KwScriptToken t;
        HRESULT hr = NextToken(t);
        if (FAILED(hr)) return hr;
        if (t.AtEnd()) return KW_E_REGISTRAR_SCRIPT; // the list is never closed
        if (t.Is("}")) return S_OK;
        if (t.Is("val")) {
            if (isRoot) return KW_E_REGISTRAR_SCRIPT;
            hr = ReadNamedValue(key);
            if (FAILED(hr)) return hr;
            continue;
        }
        bool forceRemove = false;
        bool noRemove = false;
        for (;;) {
            if (t.Is("ForceRemove")) {
                forceRemove = true;
            } else if (t.Is("NoRemove")) {
                noRemove = true;
            } else {
                break;
            }
            hr = NextToken(t);
            if (FAILED(hr)) return hr;
        }
        if (t.AtEnd() || IsPunctuation(t) || t.length == 0 || t.length > KwRegistrar::kMaxKeyName ||
            HasBackslash(t)) {
            return KW_E_REGISTRAR_SCRIPT;
        }
        hr = ReadKey(key, t, forceRemove, noRemove, depth);
        if (FAILED(hr)) return hr;
    }
}

HRESULT KwScriptInterpreter::ReadValue(Value& value) noexcept
{
    KwScriptToken type;
    HRESULT hr = NextToken(type);
    if (FAILED(hr)) return hr;
    hr = NextToken(value.text);
    if (FAILED(hr)) return hr;
    if (!value.text.quoted) return KW_E_REGISTRAR_SCRIPT;
    if (type.Is("s")) {
        value.type = REG_SZ;
        return S_OK;
    }
    if (type.Is("d")) {
        value.type = REG_DWORD;
        return ParseNumber(value.text, value.number) ? S_OK : KW_E_REGISTRAR_SCRIPT;
    }
    return KW_E_REGISTRAR_SCRIPT;
}

HRESULT KwScriptInterpreter::ReadNamedValue(HKEY key) noexcept
{
    KwScriptToken name;
    HRESULT hr = NextToken(name);
    if (FAILED(hr)) return hr;
    if (name.AtEnd() || IsPunctuation(name)) return KW_E_REGISTRAR_SCRIPT;
    hr = Expect("=");
    if (FAILED(hr)) return hr;
    Value value;
    hr = ReadValue(value);
    if (FAILED(hr) || !key) return hr;

    if (m_registering) {
        return WriteValue(key, name.text, value.type, value.text.text, value.text.length, value.number);
    }
    LSTATUS status = RegDeleteValueA(key, name.text);
    return status == ERROR_FILE_NOT_FOUND ? S_OK : FromStatus(status);
}

HRESULT KwScriptInterpreter::ReadKey(HKEY parent, const KwScriptToken& name, bool forceRemove, bool noRemove,
                                     int depth) noexcept
{
    Value value;
    bool hasValue = false;
    KwScriptToken t;
    HRESULT hr = PeekToken(t);
    if (FAILED(hr)) return hr;
    if (t.Is("=")) {
        NextToken(t);
        hr = ReadValue(value);
        if (FAILED(hr)) return hr;
        hasValue = true;
        hr = PeekToken(t);
        if (FAILED(hr)) return hr;
    }
    bool hasBody = false;
    if (t.Is("{")) {
        NextToken(t);
        hasBody = true;
    }

    if (!parent) return hasBody ? ReadKeyList(nullptr, false, depth + 1) : S_OK;
    if (m_registering) {
        return ApplyKeyForRegistration(parent, name, forceRemove, hasValue ? &value : nullptr, hasBody, depth);
    }
    return ApplyKeyForRemoval(parent, name, noRemove, hasBody, depth);
}

HRESULT KwScriptInterpreter::ApplyKeyForRegistration(HKEY parent, const KwScriptToken& name, bool forceRemove,
                                                     const Value* value, bool hasBody, int depth) noexcept
{
    if (forceRemove && !KwRegistrar::IsProtectedKeyName(name.text)) {
        LSTATUS status = RegDeleteTreeA(parent, name.text);
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return FromStatus(status);
    }
    KeyHandle key;
    HRESULT hr = FromStatus(RegCreateKeyExA(parent, name.text, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                            KEY_READ | KEY_WRITE, nullptr, &key.key, nullptr));
    if (FAILED(hr)) return hr;
    if (value) {
        hr = WriteValue(key.key, nullptr, value->type, value->text.text, value->text.length, value->number);
        if (FAILED(hr)) return hr;
    }
    return hasBody ? ReadKeyList(key.key, false, depth + 1) : S_OK;
}

HRESULT KwScriptInterpreter::ApplyKeyForRemoval(HKEY parent, const KwScriptToken& name, bool noRemove, bool hasBody,
                                                int depth) noexcept
{
    KeyHandle key;
    LSTATUS status = RegOpenKeyExA(parent, name.text, 0, KEY_READ | KEY_WRITE, &key.key);
    if (status == ERROR_FILE_NOT_FOUND) {
        // Nothing to remove here: read past what is listed inside.
        return hasBody ? ReadKeyList(nullptr, false, depth + 1) : S_OK;
    }
    HRESULT hr = FromStatus(status);
    if (FAILED(hr)) return hr;
    if (hasBody) {
        hr = ReadKeyList(key.key, false, depth + 1);
        if (FAILED(hr)) return hr;
    }
    if (noRemove) return S_OK;

    DWORD subkeys = 0;
    hr = FromStatus(RegQueryInfoKeyA(key.key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                                     nullptr, nullptr, nullptr, nullptr));
    if (FAILED(hr)) return hr;
    key.Close();
    if (subkeys != 0) return S_OK; // something not ours still lives below it
    status = RegDeleteKeyA(parent, name.text);
    return status == ERROR_FILE_NOT_FOUND ? S_OK : FromStatus(status);
}
