// Module resources and version information. On this platform a module's build
// compiles its resources into a table (KwResourceEntry) that the module hands
// over with KwRegisterModuleResources when it is loaded.
//
// String resources: unlike a Windows image, which packs strings in blocks of
// 16, the table holds each string as its own entry of type RT_STRING whose id
// is the string id and whose data is the UTF-8 text (a terminating NUL is
// optional).
//
// Version information: entry RT_VERSION 1 holds either a bare VS_FIXEDFILEINFO
// or a complete VS_VERSIONINFO block; GetFileVersionInfoA hands out a
// VS_VERSIONINFO block whose root value VerQueryValueA("\\") returns.
#include "KwPosixInternal.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <algorithm>
#include <list>
#include <map>
#include <mutex>
#include <vector>

struct HRSRC__ {
    std::string TypeName; // empty for an integer type
    WORD TypeId;
    WORD Id;
    const void* Data;
    DWORD Size;
};

namespace {

std::mutex g_mutex;
// List nodes stay put: HRSRCs point at them. Never destroyed, so modules may
// unregister while the process exits.
std::map<HMODULE, std::list<HRSRC__>>& g_tables = *new std::map<HMODULE, std::list<HRSRC__>>;

// VS_VERSIONINFO: wLength, wValueLength, wType, L"VS_VERSION_INFO", padding to
// 32 bits, then the VS_FIXEDFILEINFO.
const char16_t VersionKey[] = u"VS_VERSION_INFO";
constexpr size_t VersionKeyOffset = 6;
constexpr size_t FixedInfoOffset = 40; // 6 + 32 bytes of key, rounded up to 4

bool EqualsIgnoreCase(const char* a, const char* b)
{
    for (; *a && *b; ++a, ++b) {
        char x = *a, y = *b;
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
        if (x != y) return false;
    }
    return *a == *b;
}

// "#123" names the integer 123, as in Windows resource calls.
bool IntegerFromName(LPCSTR name, WORD& value)
{
    if (IS_INTRESOURCE(name)) {
        value = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name));
        return true;
    }
    if (name[0] != '#' || !name[1]) return false;
    unsigned long v = 0;
    for (const char* p = name + 1; *p; ++p) {
        if (*p < '0' || *p > '9') return false;
        v = v * 10 + static_cast<unsigned long>(*p - '0');
        if (v > 0xFFFF) return false;
    }
    value = static_cast<WORD>(v);
    return true;
}

bool TypeMatches(const HRSRC__& entry, LPCSTR type)
{
    WORD id;
    if (IntegerFromName(type, id)) return entry.TypeName.empty() && entry.TypeId == id;
    return !entry.TypeName.empty() && EqualsIgnoreCase(entry.TypeName.c_str(), type);
}

HMODULE ProgramModule()
{
    void* self = dlopen(nullptr, RTLD_NOW);
    if (!self) return nullptr;
    struct link_map* map = nullptr;
    HMODULE base = nullptr;
    if (dlinfo(self, RTLD_DI_LINKMAP, &map) == 0 && map) base = KwModuleHandleFromAddress(map->l_ld);
    dlclose(self);
    return base;
}

bool IsLiveResource(HRSRC resource)
{
    for (const auto& table : g_tables)
        for (const HRSRC__& entry : table.second)
            if (&entry == resource) return true;
    return false;
}

HRSRC Find(HMODULE module, LPCSTR name, LPCSTR type)
{
    auto table = g_tables.find(module);
    if (table == g_tables.end()) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    WORD id = 0;
    const bool integerName = IntegerFromName(name, id);
    bool typeSeen = false;
    for (HRSRC__& entry : table->second) {
        if (!TypeMatches(entry, type)) continue;
        typeSeen = true;
        if (integerName && entry.Id == id) return &entry;
    }
    SetLastError(typeSeen ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
    return nullptr;
}

// The version block of a registered module file, built from its RT_VERSION 1.
enum class VersionLookup { Found, NoFile, NoResource };
VersionLookup VersionBlockOf(LPCSTR fileName, std::vector<BYTE>& block)
{
    if (!fileName || !fileName[0]) return VersionLookup::NoFile;
    const std::string wanted = kwposix::CanonicalPath(fileName);
    bool fileSeen = false;
    std::lock_guard<std::mutex> lock(g_mutex);
    for (const auto& table : g_tables) {
        std::string path;
        if (!kwposix::ModulePath(table.first, path) || kwposix::CanonicalPath(path) != wanted) continue;
        fileSeen = true;
        for (const HRSRC__& entry : table.second) {
            if (!entry.TypeName.empty() || entry.TypeId != 16 || entry.Id != 1 || !entry.Data) continue;
            const BYTE* data = static_cast<const BYTE*>(entry.Data);
            uint32_t signature = 0;
            if (entry.Size >= sizeof(VS_FIXEDFILEINFO)) std::memcpy(&signature, data, 4);
            if (signature == VS_FFI_SIGNATURE) {
                // A bare fixed-info structure: wrap it in a root node.
                block.assign(FixedInfoOffset + sizeof(VS_FIXEDFILEINFO), 0);
                const WORD header[3] = {static_cast<WORD>(block.size()), sizeof(VS_FIXEDFILEINFO), 0};
                std::memcpy(block.data(), header, sizeof header);
                std::memcpy(block.data() + VersionKeyOffset, VersionKey, sizeof VersionKey);
                std::memcpy(block.data() + FixedInfoOffset, data, sizeof(VS_FIXEDFILEINFO));
                return VersionLookup::Found;
            }
            WORD length = 0;
            if (entry.Size >= FixedInfoOffset + sizeof(VS_FIXEDFILEINFO)) std::memcpy(&length, data, 2);
            if (length >= FixedInfoOffset + sizeof(VS_FIXEDFILEINFO) && length <= entry.Size &&
                std::memcmp(data + VersionKeyOffset, VersionKey, sizeof VersionKey) == 0) {
                block.assign(data, data + length);
                return VersionLookup::Found;
            }
        }
    }
    if (!fileSeen && access(fileName, F_OK) != 0) return VersionLookup::NoFile;
    return VersionLookup::NoResource;
}

} // namespace

KWPLATFORM_API void KwRegisterModuleResources(HMODULE hModule, const KwResourceEntry* entries, DWORD count)
{
    if (!hModule || (!entries && count)) return;
    try {
        std::list<HRSRC__> table;
        for (DWORD i = 0; i < count; ++i) {
            HRSRC__ entry{std::string(), 0, entries[i].Id, entries[i].Data, entries[i].Size};
            if (!entries[i].Type) continue;
            if (IS_INTRESOURCE(entries[i].Type))
                entry.TypeId = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(entries[i].Type));
            else
                entry.TypeName = entries[i].Type;
            table.push_back(entry);
        }
        std::lock_guard<std::mutex> lock(g_mutex);
        g_tables[hModule] = std::move(table);
    } catch (...) {
        // Out of memory: the module simply has no resources.
    }
}

KWPLATFORM_API void KwUnregisterModuleResources(HMODULE hModule)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_tables.erase(hModule);
}

KWPLATFORM_API HRSRC FindResourceA(HMODULE hModule, LPCSTR lpName, LPCSTR lpType)
{
    if (!lpName || !lpType) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!hModule) hModule = ProgramModule();
    std::lock_guard<std::mutex> lock(g_mutex);
    return Find(hModule, lpName, lpType);
}

KWPLATFORM_API HGLOBAL LoadResource(HMODULE, HRSRC hResInfo)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!hResInfo || !IsLiveResource(hResInfo)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return const_cast<void*>(hResInfo->Data);
}

KWPLATFORM_API LPVOID LockResource(HGLOBAL hResData)
{
    return hResData; // resource data is mapped with the module and never moves
}

KWPLATFORM_API DWORD SizeofResource(HMODULE, HRSRC hResInfo)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!hResInfo || !IsLiveResource(hResInfo)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return hResInfo->Size;
}

KWPLATFORM_API int LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax)
{
    if (!lpBuffer || cchBufferMax <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    lpBuffer[0] = 0;
    if (uID > 0xFFFF) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return 0;
    }
    if (!hInstance) hInstance = ProgramModule();
    std::lock_guard<std::mutex> lock(g_mutex);
    HRSRC resource = Find(hInstance, MAKEINTRESOURCEA(uID), RT_STRING);
    if (!resource) return 0;
    const char* text = static_cast<const char*>(resource->Data);
    size_t length = text ? strnlen(text, resource->Size) : 0;
    if (length > static_cast<size_t>(cchBufferMax - 1)) {
        // Truncated like Windows, but never inside a UTF-8 sequence.
        length = static_cast<size_t>(cchBufferMax - 1);
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
    }
    if (length) std::memcpy(lpBuffer, text, length);
    lpBuffer[length] = 0;
    return static_cast<int>(length);
}

KWPLATFORM_API DWORD GetFileVersionInfoSizeA(LPCSTR lptstrFilename, LPDWORD lpdwHandle)
{
    if (lpdwHandle) *lpdwHandle = 0;
    try {
        std::vector<BYTE> block;
        switch (VersionBlockOf(lptstrFilename, block)) {
        case VersionLookup::Found: return static_cast<DWORD>(block.size());
        case VersionLookup::NoFile: SetLastError(ERROR_FILE_NOT_FOUND); return 0;
        case VersionLookup::NoResource: break;
        }
    } catch (...) {
        SetLastError(ERROR_OUTOFMEMORY);
        return 0;
    }
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return 0;
}

KWPLATFORM_API BOOL GetFileVersionInfoA(LPCSTR lptstrFilename, DWORD, DWORD dwLen, LPVOID lpData)
{
    if (!lpData || dwLen == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (dwLen < sizeof(WORD)) {
        // Too short even for the length field that keeps VerQueryValueA in bounds.
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    try {
        std::vector<BYTE> block;
        switch (VersionBlockOf(lptstrFilename, block)) {
        case VersionLookup::Found: break;
        case VersionLookup::NoFile: SetLastError(ERROR_FILE_NOT_FOUND); return FALSE;
        case VersionLookup::NoResource: SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND); return FALSE;
        }
        // A short buffer gets a truncated block, as on Windows; its length field
        // says what is really there, so VerQueryValueA never reads past it.
        const size_t n = std::min<size_t>(dwLen, block.size());
        if (n >= 2) {
            const WORD length = static_cast<WORD>(n);
            std::memcpy(block.data(), &length, 2);
        }
        std::memcpy(lpData, block.data(), n);
        return TRUE;
    } catch (...) {
        SetLastError(ERROR_OUTOFMEMORY);
        return FALSE;
    }
}

KWPLATFORM_API BOOL VerQueryValueA(LPCVOID pBlock, LPCSTR lpSubBlock, LPVOID* lplpBuffer, UINT* puLen)
{
    if (lplpBuffer) *lplpBuffer = nullptr;
    if (puLen) *puLen = 0;
    if (!pBlock || !lpSubBlock || !lplpBuffer || !puLen) return FALSE;
    // Only the root block, the fixed file information, is served.
    for (const char* p = lpSubBlock; *p; ++p)
        if (*p != '\\') return FALSE;
    const BYTE* block = static_cast<const BYTE*>(pBlock);
    WORD length, valueLength;
    std::memcpy(&length, block, 2); // read first: it bounds everything after it
    if (length < FixedInfoOffset + sizeof(VS_FIXEDFILEINFO)) return FALSE;
    std::memcpy(&valueLength, block + 2, 2);
    if (valueLength != sizeof(VS_FIXEDFILEINFO) ||
        std::memcmp(block + VersionKeyOffset, VersionKey, sizeof VersionKey) != 0)
        return FALSE;
    *lplpBuffer = const_cast<BYTE*>(block + FixedInfoOffset);
    *puLen = sizeof(VS_FIXEDFILEINFO);
    return TRUE;
}

// The wide forms take the file name in UTF-16.
KWPLATFORM_API DWORD GetFileVersionInfoSizeW(LPCWSTR lptstrFilename, LPDWORD lpdwHandle)
{
    try {
        return lptstrFilename ? GetFileVersionInfoSizeA(kwposix::Narrow(lptstrFilename).c_str(), lpdwHandle)
                              : GetFileVersionInfoSizeA(nullptr, lpdwHandle);
    } catch (...) {
        SetLastError(ERROR_OUTOFMEMORY);
        return 0;
    }
}

KWPLATFORM_API BOOL GetFileVersionInfoW(LPCWSTR lptstrFilename, DWORD dwHandle, DWORD dwLen, LPVOID lpData)
{
    try {
        return lptstrFilename ? GetFileVersionInfoA(kwposix::Narrow(lptstrFilename).c_str(), dwHandle, dwLen, lpData)
                              : GetFileVersionInfoA(nullptr, dwHandle, dwLen, lpData);
    } catch (...) {
        SetLastError(ERROR_OUTOFMEMORY);
        return FALSE;
    }
}

KWPLATFORM_API BOOL VerQueryValueW(LPCVOID pBlock, LPCWSTR lpSubBlock, LPVOID* lplpBuffer, UINT* puLen)
{
    if (!lpSubBlock) return VerQueryValueA(pBlock, nullptr, lplpBuffer, puLen);
    // Only the root block is served: backslashes, which are the same in both forms.
    char root[8];
    size_t n = 0;
    for (; lpSubBlock[n]; ++n) {
        if (lpSubBlock[n] != u'\\' || n + 1 == sizeof root) {
            if (lplpBuffer) *lplpBuffer = nullptr;
            if (puLen) *puLen = 0;
            return FALSE;
        }
        root[n] = '\\';
    }
    root[n] = 0;
    return VerQueryValueA(pBlock, root, lplpBuffer, puLen);
}
