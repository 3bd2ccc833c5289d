// Modules: handles are the base addresses of loaded ELF objects, as an HMODULE
// is the base address of a loaded image on Windows.
#include "KwPosixInternal.h"

#include <dlfcn.h>
#include <link.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <vector>

namespace {

struct LoadedLibrary {
    void* Handle;
    unsigned Count;
};

// Libraries loaded through LoadLibraryA, by base address.
std::mutex g_libraryMutex;
std::map<HMODULE, LoadedLibrary>& g_libraries = *new std::map<HMODULE, LoadedLibrary>; // never destroyed

HMODULE BaseOfHandle(void* handle)
{
    struct link_map* map = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || !map) return nullptr;
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(map->l_ld), &info)) return nullptr;
    return static_cast<HMODULE>(info.dli_fbase);
}

bool IsModuleBase(HMODULE module, struct link_map** map)
{
    Dl_info info{};
    struct link_map* lm = nullptr;
    if (!module || !dladdr1(module, &info, reinterpret_cast<void**>(&lm), RTLD_DL_LINKMAP)) return false;
    if (info.dli_fbase != static_cast<void*>(module)) return false;
    if (map) *map = lm;
    return true;
}

} // namespace

namespace kwposix {

std::string CanonicalPath(const std::string& path)
{
    char buffer[PATH_MAX];
    if (realpath(path.c_str(), buffer)) return buffer;
    return path;
}

bool ModulePath(HMODULE module, std::string& path)
{
    struct link_map* map = nullptr;
    if (module && !IsModuleBase(module, &map)) return false;
    if (!module || !map || !map->l_name || !map->l_name[0]) {
        // The main program has no name in the link map.
        std::vector<char> buffer(PATH_MAX + 1);
        ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
        if (n <= 0) return false;
        path.assign(buffer.data(), static_cast<size_t>(n));
        return true;
    }
    path = map->l_name;
    if (path[0] != '/') path = CanonicalPath(path);
    return true;
}

} // namespace kwposix

KWPLATFORM_API HMODULE KwModuleHandleFromAddress(const void* address)
{
    Dl_info info{};
    if (!address || !dladdr(address, &info)) return nullptr;
    return static_cast<HMODULE>(info.dli_fbase);
}

KWPLATFORM_API BOOL DisableThreadLibraryCalls(HMODULE hLibModule)
{
    // Threads never notify libraries here; only the handle is checked.
    if (!hLibModule) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

namespace {

// Copies a module path as GetModuleFileName does: truncated to the buffer,
// terminator included, with the buffer's size returned and
// ERROR_INSUFFICIENT_BUFFER set when it does not fit.
template <typename Char>
DWORD CopyModulePath(const std::basic_string<Char>& path, Char* buffer, DWORD size)
{
    if (!buffer || size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (path.size() + 1 > size) {
        std::memcpy(buffer, path.data(), (size - 1) * sizeof(Char));
        buffer[size - 1] = 0;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::memcpy(buffer, path.c_str(), (path.size() + 1) * sizeof(Char));
    return static_cast<DWORD>(path.size());
}

} // namespace

KWPLATFORM_API DWORD GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize)
{
    std::string path;
    if (!kwposix::ModulePath(hModule, path)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    return CopyModulePath(path, lpFilename, nSize);
}

KWPLATFORM_API DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize)
{
    std::string path;
    if (!kwposix::ModulePath(hModule, path)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    if (!lpFilename || nSize == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::u16string wide;
    try {
        wide = kwposix::Widen(path);
    } catch (...) {
        SetLastError(ERROR_OUTOFMEMORY);
        return 0;
    }
    return CopyModulePath(wide, lpFilename, nSize);
}

KWPLATFORM_API HMODULE LoadLibraryA(LPCSTR lpLibFileName)
{
    if (!lpLibFileName || !lpLibFileName[0]) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    void* handle = dlopen(lpLibFileName, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    HMODULE base = BaseOfHandle(handle);
    if (!base) {
        dlclose(handle);
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(g_libraryMutex);
    auto it = g_libraries.find(base);
    if (it == g_libraries.end()) {
        g_libraries[base] = LoadedLibrary{handle, 1};
    } else {
        // dlopen counted this load too; one dlclose per FreeLibrary balances it.
        ++it->second.Count;
    }
    return base;
}

KWPLATFORM_API BOOL FreeLibrary(HMODULE hLibModule)
{
    void* handle = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_libraryMutex);
        auto it = g_libraries.find(hLibModule);
        if (it != g_libraries.end()) {
            handle = it->second.Handle;
            if (--it->second.Count == 0) g_libraries.erase(it);
        }
    }
    if (handle) {
        dlclose(handle);
        return TRUE;
    }
    // A module loaded with the program stays loaded, as on Windows.
    if (IsModuleBase(hLibModule, nullptr)) return TRUE;
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

KWPLATFORM_API FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName)
{
    if (!lpProcName || IS_INTRESOURCE(lpProcName)) {
        // There are no export ordinals here.
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    struct link_map* map = nullptr;
    void* handle = nullptr;
    HMODULE base = hModule;
    if (!hModule) {
        // Null stands for the program itself.
        handle = dlopen(nullptr, RTLD_NOW);
        base = handle ? BaseOfHandle(handle) : nullptr;
    } else {
        if (!IsModuleBase(hModule, &map)) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
        // A fresh reference to the already loaded object; RTLD_NOLOAD never loads anything.
        const bool isProgram = !map || !map->l_name || !map->l_name[0];
        handle = isProgram ? dlopen(nullptr, RTLD_NOW) : dlopen(map->l_name, RTLD_NOW | RTLD_NOLOAD);
    }
    if (!handle) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    void* symbol = dlsym(handle, lpProcName);
    dlclose(handle);
    // dlsym also searches the object's dependencies; Windows looks only at the
    // module's own exports.
    if (symbol && base && KwModuleHandleFromAddress(symbol) != base) symbol = nullptr;
    if (!symbol) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(symbol);
}
