#include "KwFilterCatalog.h"

#include <algorithm>
#include <cctype>

#include "com/KwAutomation.h"
#include "com/KwComPtr.h"
#include "KwPaths.h"

namespace {

std::string Upper(std::string text)
{
    for (char& c : text) c = char(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string Extension(const std::string& path) { return Upper(KwPaths::Extension(path)); }

bool ReadString(HKEY key, const char* name, std::string& out)
{
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ) return false;
    std::string value(size, '\0');
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value[0]), &size) != ERROR_SUCCESS)
        return false;
    value.resize(std::min<size_t>(size, value.size()));
    while (!value.empty() && value.back() == '\0') value.pop_back();
    out = value;
    return true;
}

bool ReadDword(HKEY key, const char* name, DWORD& out)
{
    DWORD type = 0, value = 0, size = sizeof value;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
        type != REG_DWORD)
        return false;
    out = value;
    return true;
}

} // namespace

std::vector<KwCatalogEntry> KwFilterCatalog::Read()
{
    std::vector<KwCatalogEntry> entries;
    HKEY root = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, KeyPath(), 0, KEY_READ, &root) != ERROR_SUCCESS) return entries;
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD length = sizeof name;
        if (RegEnumKeyExA(root, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        HKEY sub = nullptr;
        if (RegOpenKeyExA(root, name, 0, KEY_READ, &sub) != ERROR_SUCCESS) continue;
        KwCatalogEntry entry;
        entry.Key = name;
        ReadString(sub, "ProgID", entry.ProgId);
        ReadString(sub, "Group", entry.Group);
        ReadString(sub, "Format", entry.Format);
        ReadString(sub, "Extension", entry.Extensions);
        ReadString(sub, "SaveFormat", entry.SaveFormat);
        ReadString(sub, "SaveExtension", entry.SaveExtension);
        ReadString(sub, "Version", entry.Version);
        ReadDword(sub, "StorageType", entry.StorageType);
        ReadDword(sub, "BlockSupport", entry.BlockSupport);
        ReadDword(sub, "RasterSupport", entry.RasterSupport);
        RegCloseKey(sub);
        if (!entry.ProgId.empty()) entries.push_back(entry);
    }
    RegCloseKey(root);
    return entries;
}

bool KwFilterCatalog::MatchesExtension(const KwCatalogEntry& entry, const std::string& path)
{
    std::string ext = Extension(path);
    if (ext.empty()) return false;
    std::string list = Upper(entry.Extensions);
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        while (!item.empty() && std::isspace(static_cast<unsigned char>(item.front()))) item.erase(0, 1);
        while (!item.empty() && std::isspace(static_cast<unsigned char>(item.back()))) item.pop_back();
        if (item.rfind("*.", 0) == 0) item.erase(0, 2);
        if (item == ext) return true;
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return false;
}

const KwCatalogEntry* KwFilterCatalog::FindLoadFilter(const std::vector<KwCatalogEntry>& entries,
                                                      const std::string& path)
{
    for (const KwCatalogEntry& entry : entries)
        if (entry.IsLoadFilter() && MatchesExtension(entry, path)) return &entry;
    return nullptr;
}

const KwCatalogEntry* KwFilterCatalog::FindLoadFilterByContent(const std::vector<KwCatalogEntry>& entries,
                                                               const unsigned char* head, size_t size)
{
    return IsJpegContent(head, size) ? FindLoadFilter(entries, "content.jpg") : nullptr;
}

const KwCatalogEntry* KwFilterCatalog::FindSaveFilter(const std::vector<KwCatalogEntry>& entries,
                                                      const std::string& path)
{
    std::string ext = Extension(path);
    if (ext == "JPEG" || ext == "JFIF" || ext == "JFI") ext = "JPG";
    for (const KwCatalogEntry& entry : entries)
        if (entry.IsSaveFilter() && Upper(entry.SaveExtension) == ext && entry.StorageType == 1) return &entry;
    return nullptr;
}

HRESULT KwFilterCatalog::Create(const std::string& progId, REFIID riid, void** out)
{
    KwBstr name = KwBstr::FromNarrow(progId.c_str(), CP_UTF8);
    if (!name.Ok()) return E_OUTOFMEMORY;
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(name.Get(), &clsid);
    if (FAILED(hr)) return hr;
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, riid, out);
}

HRESULT KwFilterCatalog::CreateFromLibrary(const std::string& libraryPath, REFCLSID clsid, REFIID riid, void** out,
                                           std::string* error)
{
    HMODULE module = KwLoadLibraryUtf8(libraryPath.c_str());
    if (!module) {
        if (error) *error = "cannot load the library";
        return HRESULT_FROM_WIN32(GetLastError() ? GetLastError() : ERROR_FILE_NOT_FOUND);
    }
    typedef HRESULT(STDMETHODCALLTYPE * GetClassObjectFn)(REFCLSID, REFIID, LPVOID*);
    // Through void (*)(), which converts to any function pointer type without a warning.
    auto getClassObject = reinterpret_cast<GetClassObjectFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, "DllGetClassObject")));
    if (!getClassObject) {
        if (error) *error = "the library exports no DllGetClassObject";
        return CO_E_ERRORINDLL;
    }
    KwComPtr<IClassFactory> factory;
    HRESULT hr = getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(factory.Receive()));
    if (FAILED(hr)) {
        if (error) *error = "the library has no class object for that filter";
        return hr;
    }
    return factory->CreateInstance(nullptr, riid, out);
}
