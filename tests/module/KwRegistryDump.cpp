#include "KwRegistryDump.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

namespace {

bool LessNoCase(const std::string& a, const std::string& b)
{
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
    });
}

bool SplitRoot(const std::string& path, HKEY& root, std::string& rest)
{
    size_t slash = path.find('\\');
    std::string name = path.substr(0, slash);
    rest = slash == std::string::npos ? std::string() : path.substr(slash + 1);
    if (name == "HKCR") {
        root = HKEY_CLASSES_ROOT;
    } else if (name == "HKLM") {
        root = HKEY_LOCAL_MACHINE;
    } else {
        return false;
    }
    return true;
}

void DumpKey(HKEY key, const std::string& path, std::string& out)
{
    out += path + "\n";
    std::vector<std::string> lines;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD nameLength = sizeof name;
        DWORD type = 0;
        BYTE data[2048];
        DWORD dataLength = sizeof data;
        if (RegEnumValueA(key, i, name, &nameLength, nullptr, &type, data, &dataLength) != ERROR_SUCCESS) break;
        std::string line = "  " + std::string(nameLength ? std::string(name, nameLength) : "@") + " = ";
        if (type == REG_DWORD && dataLength == 4) {
            DWORD v;
            std::memcpy(&v, data, 4);
            line += "d " + std::to_string(v);
        } else if (type == REG_SZ) {
            std::string text(reinterpret_cast<const char*>(data), dataLength);
            while (!text.empty() && text.back() == '\0') text.pop_back();
            line += "s \"" + text + "\"";
        } else {
            line += "type " + std::to_string(type);
        }
        lines.push_back(line);
    }
    std::sort(lines.begin(), lines.end(), LessNoCase);
    for (const std::string& line : lines) out += line + "\n";

    std::vector<std::string> children;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD nameLength = sizeof name;
        if (RegEnumKeyExA(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        children.emplace_back(name, nameLength);
    }
    std::sort(children.begin(), children.end(), LessNoCase);
    for (const std::string& child : children) {
        HKEY sub = nullptr;
        if (RegOpenKeyExA(key, child.c_str(), 0, KEY_READ, &sub) != ERROR_SUCCESS) {
            out += path + "\\" + child + " (cannot open)\n";
            continue;
        }
        DumpKey(sub, path + "\\" + child, out);
        RegCloseKey(sub);
    }
}

} // namespace

HKEY KwOpenRegistryPath(const std::string& path, REGSAM access)
{
    HKEY root;
    std::string rest;
    if (!SplitRoot(path, root, rest)) return nullptr;
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, rest.empty() ? nullptr : rest.c_str(), 0, access, &key) != ERROR_SUCCESS) return nullptr;
    return key;
}

bool KwCreateRegistryPath(const std::string& path, const char* name, const char* value)
{
    HKEY root;
    std::string rest;
    if (!SplitRoot(path, root, rest)) return false;
    HKEY key = nullptr;
    if (RegCreateKeyExA(root, rest.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    bool ok = true;
    if (value) {
        ok = RegSetValueExA(key, name && *name ? name : nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                            static_cast<DWORD>(std::strlen(value) + 1)) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return ok;
}

std::string KwDumpRegistry(const std::string& path)
{
    HKEY key = KwOpenRegistryPath(path);
    if (!key) return std::string();
    std::string out;
    DumpKey(key, path, out);
    RegCloseKey(key);
    return out;
}
