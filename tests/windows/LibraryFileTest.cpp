// The library file as the system sees it: its exports, and the resources that
// registration and the host read (type library, scripts, string, version, manifest).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "generated/KwVersion.h"
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

// The filter library loaded as a plain module, for reading it.
class RegisteredLibraryFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        module = LoadLibraryW(KwWideText(KwFilterLibraryPath()).c_str());
        ASSERT_NE(module, nullptr) << "the library loads -- " << KwFilterLibraryPath();
    }
    void TearDown() override
    {
        if (module) FreeLibrary(module);
    }
    HMODULE module = nullptr;
};

TEST_F(RegisteredLibraryFile, ExportsExactlyTheFourEntryPoints)
{
    std::vector<std::string> exports = ExportedNames(module);
    std::sort(exports.begin(), exports.end());
    std::string list;
    for (const auto& e : exports) list += e + " ";
    EXPECT_TRUE(exports == std::vector<std::string>({"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer",
                                                     "DllUnregisterServer"}))
        << "exactly the four entry points are exported -- " << list;
}

TEST_F(RegisteredLibraryFile, Resources)
{
    std::string typelib = ResourceText(module, L"TYPELIB", 1);
    EXPECT_TRUE(typelib.size() > 4 && typelib.compare(0, 4, "MSFT") == 0) << "TYPELIB 1 is a type library";
    for (int id : {102, 103}) {
        std::string script = ResourceText(module, L"REGISTRY", id);
        std::string name = "REGISTRY " + std::to_string(id);
        EXPECT_EQ(script.compare(0, 6, "HKCR\r\n"), 0) << name << " starts with the HKCR root and CR LF";
        EXPECT_TRUE(script.find("%MODULE%") != std::string::npos && script.find("%VERSION%") != std::string::npos)
            << name << " leaves %MODULE% and %VERSION% to the registrar";
        EXPECT_TRUE(script.find("\n\t") != std::string::npos && script.find("\r\n") != std::string::npos &&
                    std::count(script.begin(), script.end(), '\n') == std::count(script.begin(), script.end(), '\r'))
            << name << " keeps tab indentation and CR LF line ends";
    }
    wchar_t text[64] = {};
    int length = LoadStringW(module, 100, text, 64);
    EXPECT_EQ(KwNarrowText(std::wstring(text, length > 0 ? length : 0).c_str()), "KwFilter_JPEG") << "string 100";
    std::string manifest = ResourceText(module, MAKEINTRESOURCEW(24), 2);
    EXPECT_TRUE(manifest.find("level=\"asInvoker\"") != std::string::npos &&
                manifest.find("uiAccess=\"false\"") != std::string::npos)
        << "manifest: asInvoker, no UI access";
}

TEST(RegisteredLibraryFileVersion, Resource)
{
    std::wstring file = KwWideText(KwFilterLibraryPath());
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(file.c_str(), &handle);
    ASSERT_GT(size, 0u) << "the library has a version resource";
    std::vector<BYTE> block(size);
    ASSERT_NE(GetFileVersionInfoW(file.c_str(), 0, size, block.data()), FALSE) << "it can be read";

    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    EXPECT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &length) && info)
        << "fixed file information";
    if (info) {
        const DWORD high = MAKELONG(KW_VERSION_MINOR, KW_VERSION_MAJOR);
        const DWORD low = MAKELONG(KW_VERSION_BUILD, KW_VERSION_PATCH);
        EXPECT_EQ(KwHex(info->dwFileVersionMS), KwHex(high)) << "file version major.minor";
        EXPECT_EQ(KwHex(info->dwFileVersionLS), KwHex(low)) << "file version patch.build";
        EXPECT_EQ(KwHex(info->dwProductVersionMS), KwHex(high)) << "product version major.minor";
        EXPECT_EQ(KwHex(info->dwProductVersionLS), KwHex(low)) << "product version patch.build";
        EXPECT_EQ(info->dwFileType, DWORD(VFT_DLL)) << "file type: dynamic library";
        EXPECT_EQ(info->dwFileOS, DWORD(VOS__WINDOWS32)) << "operating system: 32-bit Windows family";
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
    for (const auto& s : strings) EXPECT_EQ(VersionString(block, s.first), s.second) << s.first;
    std::string company = VersionString(block, "CompanyName");
    EXPECT_TRUE(company != "(missing)" && !company.empty()) << "CompanyName names the publisher -- " << company;

    WORD* translation = nullptr;
    EXPECT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                               &length) &&
                translation && length >= 4)
        << "translation table";
    if (translation && length >= 4) {
        EXPECT_EQ(translation[0], WORD(0x409)) << "translation: US English";
        EXPECT_EQ(translation[1], WORD(1200)) << "translation: code page 1200";
    }
}

}  // namespace
