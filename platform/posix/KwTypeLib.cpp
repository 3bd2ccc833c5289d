// Type-library registration: the TypeLib keys the system writes for a library,
// HKCR\TypeLib\{LIBID}\<major>.<minor> (versions and locale in hex, as Windows
// writes them).
#include "KwPosixInternal.h"

#include <cstdio>
#include <vector>

namespace {

std::string LibIdKey(REFGUID libid)
{
    OLECHAR text[40];
    StringFromGUID2(libid, text, 40);
    return "TypeLib\\" + kwposix::Narrow(text);
}

std::string Hex(unsigned value)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%x", value);
    return buf;
}

LSTATUS SetDefault(const std::string& path, const std::string& value)
{
    HKEY key = nullptr;
    LSTATUS status =
        RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) return status;
    status = RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
    return status;
}

// Subkey names of a key; false when it cannot be opened.
bool SubKeys(const std::string& path, std::vector<std::string>& names)
{
    names.clear();
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof name;
        if (RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, size);
    }
    RegCloseKey(key);
    return true;
}

bool IsLocaleKey(const std::string& name)
{
    return !name.empty() && name.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
}

// The platform-kind subkey. Our type library declares the 32-bit kind
// (SYS_WIN32) on every platform, and Windows registers such a library under
// "win32" even in a 64-bit process; the same key is written here.
const char PlatformKey[] = "\\win32";

} // namespace

KWPLATFORM_API HRESULT KwRegisterModuleTypeLib(HMODULE module, REFGUID libid, WORD major, WORD minor, LCID lcid,
                                               LPCSTR description)
{
    try {
        std::string path;
        if (!kwposix::ModulePath(module, path)) return TYPE_E_CANTLOADLIBRARY;
        const size_t slash = path.find_last_of('/');
        const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash ? slash : 1);
        const std::string versionKey = LibIdKey(libid) + "\\" + Hex(major) + "." + Hex(minor);
        if (SetDefault(versionKey, description ? description : "") != ERROR_SUCCESS ||
            SetDefault(versionKey + "\\" + Hex(lcid) + PlatformKey, path) != ERROR_SUCCESS ||
            SetDefault(versionKey + "\\FLAGS", "0") != ERROR_SUCCESS ||
            SetDefault(versionKey + "\\HELPDIR", folder) != ERROR_SUCCESS)
            return TYPE_E_REGISTRYACCESS;
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

KWPLATFORM_API HRESULT KwUnregisterModuleTypeLib(HMODULE, REFGUID libid, WORD major, WORD minor, LCID lcid)
{
    try {
        const std::string libKey = LibIdKey(libid);
        const std::string versionKey = libKey + "\\" + Hex(major) + "." + Hex(minor);
        const std::string localeKey = versionKey + "\\" + Hex(lcid);
        if (RegDeleteKeyA(HKEY_CLASSES_ROOT, (localeKey + PlatformKey).c_str()) != ERROR_SUCCESS)
            return TYPE_E_REGISTRYACCESS;
        // The locale goes when no other platform kind is registered under it, and
        // the version when no other locale remains (FLAGS and HELPDIR are its own).
        std::vector<std::string> names;
        if (SubKeys(localeKey, names) && names.empty()) RegDeleteKeyA(HKEY_CLASSES_ROOT, localeKey.c_str());
        bool otherLocales = false;
        if (SubKeys(versionKey, names))
            for (const std::string& name : names) otherLocales = otherLocales || IsLocaleKey(name);
        if (!otherLocales) RegDeleteTreeA(HKEY_CLASSES_ROOT, versionKey.c_str());
        if (SubKeys(libKey, names) && names.empty()) RegDeleteKeyA(HKEY_CLASSES_ROOT, libKey.c_str());
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}
