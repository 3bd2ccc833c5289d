// The host's filter catalogue: the subkeys of HKLM\Software\Quarvenx\KwFilters,
// each naming a filter's ProgID, load format and extensions, or save format,
// save extension and storage type. Filters are found the way the host engine
// finds them and created by ProgID through CoCreateInstance.
#pragma once

#include <string>
#include <vector>

#include "interfaces/KwFilterInterfaces.h"

struct KwCatalogEntry {
    std::string Key;           // the subkey name, e.g. KwFilterJPEG
    std::string ProgId;
    std::string Group;
    std::string Format;        // load format
    std::string Extensions;    // "*.JPG,*.JPEG,..."
    std::string SaveFormat;
    std::string SaveExtension; // "JPG"
    std::string Version;
    DWORD StorageType = 0;
    DWORD BlockSupport = 0;
    DWORD RasterSupport = 0;
    bool IsLoadFilter() const { return !Extensions.empty(); }
    bool IsSaveFilter() const { return !SaveFormat.empty(); }
};

class KwFilterCatalog {
public:
    static const char* KeyPath() { return "Software\\Quarvenx\\KwFilters"; }

    // Reads the catalogue; an absent key is an empty catalogue.
    static std::vector<KwCatalogEntry> Read();
    // True when the extension of `path` (case-insensitive) is in the entry's list.
    static bool MatchesExtension(const KwCatalogEntry& entry, const std::string& path);
    // The load filter for a file, by its extension; null when none is registered.
    static const KwCatalogEntry* FindLoadFilter(const std::vector<KwCatalogEntry>& entries, const std::string& path);
    // The load filter for a file whose name does not tell, by its first bytes,
    // as the host engine recognises one: a JPEG goes to the filter that opens .jpg files.
    static const KwCatalogEntry* FindLoadFilterByContent(const std::vector<KwCatalogEntry>& entries,
                                                         const unsigned char* head, size_t size);
    // True when `head` starts with the start-of-image marker, as every JPEG file does.
    static bool IsJpegContent(const unsigned char* head, size_t size)
    {
        return size >= 2 && head[0] == 0xFF && head[1] == 0xD8;
    }
    // The save filter whose save extension matches `path`'s extension (JPG also serves .jpeg).
    static const KwCatalogEntry* FindSaveFilter(const std::vector<KwCatalogEntry>& entries, const std::string& path);

    // Creates a filter by ProgID (CLSIDFromProgID + CoCreateInstance, in-process).
    static HRESULT Create(const std::string& progId, REFIID riid, void** out);
    // Creates a class directly from a library file, without the registry
    // (LoadLibrary + DllGetClassObject); the library stays loaded.
    static HRESULT CreateFromLibrary(const std::string& libraryPath, REFCLSID clsid, REFIID riid, void** out,
                                     std::string* error);
};
