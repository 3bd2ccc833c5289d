#include "KwWinSupport.h"

#include <cstdio>
#include <cwctype>

std::string KwNarrowText(const wchar_t* text)
{
    if (!text) return {};
    int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], size, nullptr, nullptr);
    out.resize(static_cast<size_t>(size - 1));
    return out;
}

std::wstring KwWideText(const std::string& text)
{
    int size = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    if (size <= 0) return {};
    std::wstring out(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &out[0], size);
    out.resize(static_cast<size_t>(size - 1));
    return out;
}

std::string KwGuidText(const GUID& guid)
{
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return KwNarrowText(text);
}

std::string KwHex(long value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(value) & 0xFFFFFFFFul);
    return text;
}

KwRegValue KwReadRegValue(HKEY root, const std::string& path, const char* name)
{
    KwRegValue value;
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, KwWideText(path).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return value;
    std::wstring wideName = name ? KwWideText(name) : std::wstring();
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key, name ? wideName.c_str() : nullptr, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
        std::vector<BYTE> data(size + sizeof(wchar_t) * 2, 0);
        if (RegQueryValueExW(key, name ? wideName.c_str() : nullptr, nullptr, &type, data.data(), &size) ==
            ERROR_SUCCESS) {
            value.exists = true;
            value.type = type;
            if (type == REG_SZ || type == REG_EXPAND_SZ)
                value.text = KwNarrowText(reinterpret_cast<const wchar_t*>(data.data()));
            if (type == REG_DWORD && size == sizeof(DWORD)) value.number = *reinterpret_cast<const DWORD*>(data.data());
        }
    }
    RegCloseKey(key);
    return value;
}

bool KwRegKeyExists(HKEY root, const std::string& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, KwWideText(path).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

std::vector<std::string> KwRegSubkeys(HKEY root, const std::string& path)
{
    std::vector<std::string> names;
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, KwWideText(path).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD length = 256;
        if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.push_back(KwNarrowText(name));
    }
    RegCloseKey(key);
    return names;
}

bool KwRegWriteText(HKEY root, const std::string& path, const char* name, const std::string& value)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, KwWideText(path).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    std::wstring wide = KwWideText(value);
    std::wstring wideName = name ? KwWideText(name) : std::wstring();
    LSTATUS status = RegSetValueExW(key, name ? wideName.c_str() : nullptr, 0, REG_SZ,
                                    reinterpret_cast<const BYTE*>(wide.c_str()),
                                    static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

void KwRegDeleteTree(HKEY root, const std::string& path) { RegDeleteTreeW(root, KwWideText(path).c_str()); }

std::string KwProgramFolder()
{
    wchar_t path[MAX_PATH * 4];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
    std::string text = KwNarrowText(std::wstring(path, n).c_str());
    size_t slash = text.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : text.substr(0, slash + 1);
}

std::string KwFilterLibraryPath() { return KwProgramFolder() + "KwFilter_JPEG.dll"; }

bool KwSamePath(const std::string& a, const std::string& b)
{
    std::wstring wa = KwWideText(a), wb = KwWideText(b);
    if (wa.size() != wb.size()) return false;
    for (size_t i = 0; i < wa.size(); ++i) {
        wchar_t ca = wa[i] == L'/' ? L'\\' : static_cast<wchar_t>(std::towlower(wa[i]));
        wchar_t cb = wb[i] == L'/' ? L'\\' : static_cast<wchar_t>(std::towlower(wb[i]));
        if (ca != cb) return false;
    }
    return true;
}
