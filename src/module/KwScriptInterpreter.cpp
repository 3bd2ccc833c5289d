#include "KwScriptInterpreter.h"

#include "com/KwMemory.h"
#include "KwRegistrar.h"

#include <cstring>

namespace {

// Closes a key handle on every path out of a scope.
struct KeyHandle {
    HKEY Key = nullptr;
    KeyHandle() = default;
    KeyHandle(const KeyHandle&) = delete;
    KeyHandle& operator=(const KeyHandle&) = delete;
    ~KeyHandle() { Close(); }
    void Close() noexcept
    {
        if (Key) RegCloseKey(Key);
        Key = nullptr;
    }
};

// A script text (UTF-8) in the form the registry takes: the wide calls store
// every character, where the ANSI ones would lose those outside the code page.
class WideText {
public:
    WideText() = default;
    WideText(const WideText&) = delete;
    WideText& operator=(const WideText&) = delete;

    HRESULT Set(const char* text, size_t length) noexcept
    {
        if (length == 0) {
            m_Small[0] = 0;
            m_Length = 0;
            return S_OK;
        }
        if (length > 0x7FFFFFF0u) return E_INVALIDARG;
        const int count = static_cast<int>(length);
        const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, count, nullptr, 0);
        if (units <= 0) return KW_E_REGISTRAR_SCRIPT;
        if (static_cast<size_t>(units) >= sizeof m_Small / sizeof m_Small[0]) {
            m_Large = KwAllocateBuffer<WCHAR>(static_cast<size_t>(units) + 1);
            if (!m_Large) return E_OUTOFMEMORY;
            m_Text = m_Large.get();
        }
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, count, m_Text, units);
        m_Text[units] = 0;
        m_Length = static_cast<size_t>(units);
        return S_OK;
    }
    HRESULT Set(const KwScriptToken& token) noexcept { return Set(token.Text, token.Length); }

    LPCWSTR Get() const noexcept { return m_Text; }
    size_t Length() const noexcept { return m_Length; }

private:
    WCHAR m_Small[KwRegistrar::MaxKeyName + 1] = {}; // every key name fits
    KwBuffer<WCHAR> m_Large; // a text too long for m_Small
    WCHAR* m_Text = m_Small;
    size_t m_Length = 0;
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
    const char* p = t.Text;
    const char* end = t.Text + t.Length;
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
    for (size_t i = 0; i < t.Length; ++i) {
        if (t.Text[i] == '\\') return true;
    }
    return false;
}

// Writes a value; a null name is the key's default value.
HRESULT WriteValue(HKEY key, const KwScriptToken* name, DWORD type, const KwScriptToken& text, DWORD number) noexcept
{
    WideText wideName;
    HRESULT hr = name ? wideName.Set(*name) : S_OK;
    if (FAILED(hr)) return hr;
    LPCWSTR valueName = name ? wideName.Get() : nullptr;
    if (type == REG_DWORD) {
        BYTE data[4];
        std::memcpy(data, &number, sizeof data);
        return FromStatus(RegSetValueExW(key, valueName, 0, REG_DWORD, data, sizeof data));
    }
    WideText value;
    hr = value.Set(text);
    if (hr == KW_E_REGISTRAR_SCRIPT && text.Length < 0x7FFFFFFFu) {
        // Not UTF-8: a library path in a folder named in another encoding, on
        // a system whose file names are bytes. The ANSI call takes text in the
        // code page of such names, so the registered path names the file again.
        return FromStatus(RegSetValueExA(key, name ? name->Text : nullptr, 0, REG_SZ,
                                         reinterpret_cast<const BYTE*>(text.Text), static_cast<DWORD>(text.Length + 1)));
    }
    if (FAILED(hr)) return hr;
    if (value.Length() >= 0x7FFFFFFFu / sizeof(WCHAR)) return E_INVALIDARG;
    return FromStatus(RegSetValueExW(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.Get()),
                                     static_cast<DWORD>((value.Length() + 1) * sizeof(WCHAR))));
}

bool IsRoot(HKEY key) noexcept { return key == HKEY_CLASSES_ROOT || key == HKEY_LOCAL_MACHINE; }

} // namespace

HRESULT KwScriptInterpreter::NextToken(KwScriptToken& token) noexcept
{
    return m_Tokens.Next(token) ? S_OK : KW_E_REGISTRAR_SCRIPT;
}

HRESULT KwScriptInterpreter::PeekToken(KwScriptToken& token) noexcept
{
    return m_Tokens.Peek(token) ? S_OK : KW_E_REGISTRAR_SCRIPT;
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
    if (depth > KwRegistrar::MaxDepth) return KW_E_REGISTRAR_SCRIPT;
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
        if (t.AtEnd() || IsPunctuation(t) || t.Length == 0 || t.Length > KwRegistrar::MaxKeyName ||
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
    hr = NextToken(value.Text);
    if (FAILED(hr)) return hr;
    if (!value.Text.Quoted) return KW_E_REGISTRAR_SCRIPT;
    if (type.Is("s")) {
        value.Type = REG_SZ;
        return S_OK;
    }
    if (type.Is("d")) {
        value.Type = REG_DWORD;
        return ParseNumber(value.Text, value.Number) ? S_OK : KW_E_REGISTRAR_SCRIPT;
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

    if (m_Registering) return WriteValue(key, &name, value.Type, value.Text, value.Number);
    WideText wideName;
    hr = wideName.Set(name);
    if (FAILED(hr)) return hr;
    LSTATUS status = RegDeleteValueW(key, wideName.Get());
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
    if (m_Registering) {
        return ApplyKeyForRegistration(parent, name, forceRemove, hasValue ? &value : nullptr, hasBody, depth);
    }
    return ApplyKeyForRemoval(parent, name, noRemove, hasBody, depth);
}

HRESULT KwScriptInterpreter::ApplyKeyForRegistration(HKEY parent, const KwScriptToken& name, bool forceRemove,
                                                     const Value* value, bool hasBody, int depth) noexcept
{
    WideText wideName;
    HRESULT hr = wideName.Set(name);
    if (FAILED(hr)) return hr;
    if (forceRemove && !KwRegistrar::IsProtectedKeyName(name.Text)) {
        LSTATUS status = RegDeleteTreeW(parent, wideName.Get());
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return FromStatus(status);
    }
    KeyHandle key;
    hr = FromStatus(RegCreateKeyExW(parent, wideName.Get(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE,
                                    nullptr, &key.Key, nullptr));
    if (FAILED(hr)) return hr;
    if (value) {
        hr = WriteValue(key.Key, nullptr, value->Type, value->Text, value->Number);
        if (FAILED(hr)) return hr;
    }
    return hasBody ? ReadKeyList(key.Key, false, depth + 1) : S_OK;
}

HRESULT KwScriptInterpreter::ApplyKeyForRemoval(HKEY parent, const KwScriptToken& name, bool noRemove, bool hasBody,
                                                int depth) noexcept
{
    WideText wideName;
    HRESULT hr = wideName.Set(name);
    if (FAILED(hr)) return hr;
    KeyHandle key;
    LSTATUS status = RegOpenKeyExW(parent, wideName.Get(), 0, KEY_READ | KEY_WRITE, &key.Key);
    if (status == ERROR_FILE_NOT_FOUND) {
        // Nothing to remove here: read past what is listed inside.
        return hasBody ? ReadKeyList(nullptr, false, depth + 1) : S_OK;
    }
    hr = FromStatus(status);
    if (FAILED(hr)) return hr;
    if (hasBody) {
        hr = ReadKeyList(key.Key, false, depth + 1);
        if (FAILED(hr)) return hr;
    }
    // The system's own top-level keys (HKLM\Software, HKCR\CLSID, ...) are
    // never ours to remove, even when a script passes through them unmarked.
    if (noRemove || (IsRoot(parent) && KwRegistrar::IsProtectedKeyName(name.Text))) return S_OK;

    DWORD subkeys = 0;
    hr = FromStatus(RegQueryInfoKeyA(key.Key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                                     nullptr, nullptr, nullptr, nullptr));
    if (FAILED(hr)) return hr;
    key.Close();
    if (subkeys != 0) return S_OK; // something not ours still lives below it
    status = RegDeleteKeyW(parent, wideName.Get());
    return status == ERROR_FILE_NOT_FOUND ? S_OK : FromStatus(status);
}
