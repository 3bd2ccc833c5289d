// Names in UTF-8 over the system's wide calls: the ANSI ones reach only the
// names of one code page.
#include "KwPlatform.h"

#include <errno.h>
#include <string.h>
#include <shellapi.h>

#include <new>
#include <string>
#include <vector>

namespace {

// Empty when the text is not UTF-8 or memory runs out.
std::wstring Widen(LPCSTR text) noexcept
{
    try {
        const int count = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
        if (count <= 1) return std::wstring();
        std::wstring wide(static_cast<size_t>(count), L'\0');
        if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, &wide[0], count) != count)
            return std::wstring();
        wide.resize(static_cast<size_t>(count - 1));
        return wide;
    } catch (...) {
        return std::wstring();
    }
}

// The UTF-8 form of `length` wide characters; false when memory runs out.
bool Narrow(LPCWSTR text, int length, std::string& out) noexcept
{
    try {
        out.clear();
        if (length <= 0) return true;
        const int count = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
        if (count <= 0) return false;
        out.resize(static_cast<size_t>(count));
        return WideCharToMultiByte(CP_UTF8, 0, text, length, &out[0], count, nullptr, nullptr) == count;
    } catch (...) {
        return false;
    }
}

UINT g_consoleCodePage = 0;

void RestoreConsoleCodePage() { SetConsoleOutputCP(g_consoleCodePage); }

} // namespace

KWPLATFORM_API void KwUtf8CommandLine(int* argc, char*** argv)
{
    if (!argc || !argv) return;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide) return;
    // Kept for the life of the process, as the C runtime keeps argv.
    auto* texts = new (std::nothrow) std::vector<std::string>();
    auto* pointers = new (std::nothrow) std::vector<char*>();
    bool ok = texts && pointers && count >= 0;
    try {
        if (ok) texts->resize(static_cast<size_t>(count));
        for (int i = 0; ok && i < count; ++i) ok = Narrow(wide[i], lstrlenW(wide[i]), (*texts)[size_t(i)]);
        if (ok)
            for (std::string& text : *texts) pointers->push_back(&text[0]);
        if (ok) pointers->push_back(nullptr);
    } catch (...) {
        ok = false;
    }
    LocalFree(wide);
    if (!ok) {
        delete texts;
        delete pointers;
        return;
    }
    *argc = count;
    *argv = pointers->data();
    // The tool prints names as UTF-8; the console shows them so until the process ends.
    g_consoleCodePage = GetConsoleOutputCP();
    if (g_consoleCodePage && g_consoleCodePage != CP_UTF8 && SetConsoleOutputCP(CP_UTF8))
        atexit(RestoreConsoleCodePage);
}

KWPLATFORM_API FILE* KwOpenFileUtf8(LPCSTR path, LPCSTR mode)
{
    if (!path || !mode) {
        errno = EINVAL;
        return nullptr;
    }
    const std::wstring widePath = Widen(path), wideMode = Widen(mode);
    if (widePath.empty() || wideMode.empty()) {
        errno = EINVAL;
        return nullptr;
    }
    return _wfopen(widePath.c_str(), wideMode.c_str());
}

KWPLATFORM_API HMODULE KwLoadLibraryUtf8(LPCSTR path)
{
    const std::wstring wide = path ? Widen(path) : std::wstring();
    if (wide.empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return LoadLibraryW(wide.c_str());
}

KWPLATFORM_API DWORD KwModuleFileNameUtf8(HMODULE module, LPSTR buffer, DWORD size)
{
    if (!buffer || size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::string name;
    try {
        // Long paths reach 32767 wide characters.
        std::wstring wide(32768, L'\0');
        const DWORD length = GetModuleFileNameW(module, &wide[0], DWORD(wide.size()));
        if (length == 0 || length >= wide.size()) return 0;
        if (!Narrow(wide.c_str(), int(length), name)) return 0;
    } catch (...) {
        SetLastError(ERROR_OUTOFMEMORY);
        return 0;
    }
    if (name.size() + 1 > size) {
        memcpy(buffer, name.data(), size - 1);
        buffer[size - 1] = '\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    memcpy(buffer, name.c_str(), name.size() + 1);
    return DWORD(name.size());
}
