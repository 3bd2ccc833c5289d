// The library file as the system sees it: its exports, and the resources that
// registration and the host read (type library, scripts, string, version, manifest).
#include <algorithm>
#include <string>
#include <vector>

#include "KwCheck.h"
#include "generated/KwVersion.h"
#include "KwWindowsChecks.h"
#include "KwWinSupport.h"

namespace {

std::vector<std::string> ExportedNames(HMODULE module)
{
    std::vector<std::string> names;
    const BYTE* base = reinterpret_cast<const BYTE*>(module);
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (dir.VirtualAddress == 0) return names;
    auto exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
    auto nameRvas = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    for (DWORD i = 0; i < exports->NumberOfNames; ++i)
        names.push_back(reinterpret_cast<const char*>(base + nameRvas[i]));
    if (exports->NumberOfFunctions != exports->NumberOfNames) names.push_back("(an export by ordinal only)");
    return names;
}

std::string ResourceText(HMODULE module, const wchar_t* type, int id)
{
    HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(id), type);
    if (!info) return {};
    HGLOBAL data = LoadResource(module, info);
    const char* bytes = data ? static_cast<const char*>(LockResource(data)) : nullptr;
    return bytes ? std::string(bytes, SizeofResource(module, info)) : std::string();
}

std::string VersionString(const std::vector<BYTE>& block, const std::string& name)
{
    wchar_t* value = nullptr;
    UINT length = 0;
    std::wstring path = KwWideText("\\StringFileInfo\\040904B0\\" + name);
    if (!VerQueryValueW(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) || !value)
        return "(missing)";
    return KwNarrowText(value);
}

void CheckVersionResource(const std::string& path)
{
    KwCheck::Case("version resource");
    std::wstring file = KwWideText(path);
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(file.c_str(), &handle);
    if (!KwCheck::That(size > 0, "the library has a version resource")) return;
    std::vector<BYTE> block(size);
    if (!KwCheck::That(GetFileVersionInfoW(file.c_str(), 0, size, block.data()) != FALSE, "it can be read")) return;

    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (KwCheck::That(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &length) && info,
                      "fixed file information")) {
        const DWORD high = MAKELONG(KW_VERSION_MINOR, KW_VERSION_MAJOR);
        const DWORD low = MAKELONG(KW_VERSION_BUILD, KW_VERSION_PATCH);
        KwCheck::Equal(KwHex(info->dwFileVersionMS), KwHex(high), "file version major.minor");
        KwCheck::Equal(KwHex(info->dwFileVersionLS), KwHex(low), "file version patch.build");
        KwCheck::Equal(KwHex(info->dwProductVersionMS), KwHex(high), "product version major.minor");
        KwCheck::Equal(KwHex(info->dwProductVersionLS), KwHex(low), "product version patch.build");
        KwCheck::Equal(info->dwFileType, DWORD(VFT_DLL), "file type: dynamic library");
        KwCheck::Equal(info->dwFileOS, DWORD(VOS__WINDOWS32), "operating system: 32-bit Windows family");
    }
    const std::pair<const char*, const char*> strings[] = {
        {"Comments", "JPEG File Format Filter"},
        {"FileDescription", "KwFilter_JPEG Module"},
        {"FileVersion", KW_VERSION_TEXT},
        {"InternalName", "KwFilter_JPEG"},
        {"OriginalFilename", "KwFilter_JPEG.DLL"},
        {"ProductName", "KwFilter_JPEG Module"},
        {"ProductVersion", KW_VERSION_TEXT},
    };
    for (const auto& s : strings) KwCheck::Equal(VersionString(block, s.first), std::string(s.second), s.first);
    std::string company = VersionString(block, "CompanyName");
    KwCheck::That(company != "(missing)" && !company.empty(), "CompanyName names the publisher", company);

    WORD* translation = nullptr;
    if (KwCheck::That(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                                     reinterpret_cast<void**>(&translation), &length) &&
                          translation && length >= 4,
                      "translation table")) {
        KwCheck::Equal(translation[0], WORD(0x409), "translation: US English");
        KwCheck::Equal(translation[1], WORD(1200), "translation: code page 1200");
    }
}

}  // namespace

void KwCheckLibraryFile()
{
    const std::string path = KwFilterLibraryPath();
    KwCheck::Case("library file");
    HMODULE module = LoadLibraryW(KwWideText(path).c_str());
    if (!KwCheck::That(module != nullptr, "the library loads", path)) return;

    std::vector<std::string> exports = ExportedNames(module);
    std::sort(exports.begin(), exports.end());
    std::string list;
    for (const auto& e : exports) list += e + " ";
    KwCheck::That(exports == std::vector<std::string>{"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer",
                                                      "DllUnregisterServer"},
                  "exactly the four entry points are exported", list);

    KwCheck::Case("resources");
    std::string typelib = ResourceText(module, L"TYPELIB", 1);
    KwCheck::That(typelib.size() > 4 && typelib.compare(0, 4, "MSFT") == 0, "TYPELIB 1 is a type library");
    for (int id : {102, 103}) {
        std::string script = ResourceText(module, L"REGISTRY", id);
        std::string name = "REGISTRY " + std::to_string(id);
        KwCheck::That(script.compare(0, 6, "HKCR\r\n") == 0, name + " starts with the HKCR root and CR LF");
        KwCheck::That(script.find("%MODULE%") != std::string::npos && script.find("%VERSION%") != std::string::npos,
                      name + " leaves %MODULE% and %VERSION% to the registrar");
        KwCheck::That(script.find("\n\t") != std::string::npos && script.find("\r\n") != std::string::npos &&
                          std::count(script.begin(), script.end(), '\n') ==
                              std::count(script.begin(), script.end(), '\r'),
                      name + " keeps tab indentation and CR LF line ends");
    }
    wchar_t text[64] = {};
    int length = LoadStringW(module, 100, text, 64);
    KwCheck::Equal(KwNarrowText(std::wstring(text, length > 0 ? length : 0).c_str()), std::string("KwFilter_JPEG"),
                   "string 100");
    std::string manifest = ResourceText(module, MAKEINTRESOURCEW(24), 2);
    KwCheck::That(manifest.find("level=\"asInvoker\"") != std::string::npos &&
                      manifest.find("uiAccess=\"false\"") != std::string::npos,
                  "manifest: asInvoker, no UI access");
    FreeLibrary(module);

    CheckVersionResource(path);
}
