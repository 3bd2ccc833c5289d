// What registration writes to the registry and what removal takes away again,
// read back through the system's registry after regsvr32 (Registered*, Unregistered*)
// and with the library's entry points run directly (Shared*).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ostream>

#include "generated/KwVersion.h"
#include "interfaces/KwFilterInterfaces.h"
#include "KwWinSupport.h"

namespace {

const char* const Catalogue = "Software\\Quarvenx\\KwFilters";

struct Expected {
    HKEY root;
    std::string path;
    const char* name;  // null: the default value
    DWORD type;
    std::string text;
    DWORD number;
};

std::string RootName(HKEY root) { return root == HKEY_CLASSES_ROOT ? "HKCR\\" : "HKLM\\"; }

void ExpectValue(const Expected& e)
{
    std::string where = RootName(e.root) + e.path + (e.name ? std::string(" [") + e.name + "]" : std::string(" @"));
    KwRegValue value = KwReadRegValue(e.root, e.path, e.name);
    ASSERT_TRUE(value.exists) << where << " exists";
    ASSERT_EQ(value.type, e.type) << where << " has its value type";
    if (e.type == REG_DWORD) {
        EXPECT_EQ(value.number, e.number) << where;
    } else {
        EXPECT_EQ(value.text, e.text) << where;
    }
}

struct FilterClass {
    const char* name;          // KwFilterJPEG
    const CLSID* clsid;
    std::vector<Expected> catalogue;  // the values of its catalogue entry
};

void PrintTo(const FilterClass& c, std::ostream* out) { *out << c.name; }

std::vector<Expected> ClassEntries(const FilterClass& c)
{
    const std::string progId = std::string("KwFilter_JPEG.") + c.name;
    const std::string description = std::string(c.name) + " Class";
    const std::string clsid = KwGuidText(*c.clsid);
    const std::string libid = KwGuidText(LIBID_KWFILTER_JPEGLib);
    const std::string key = "CLSID\\" + clsid;
    HKEY cr = HKEY_CLASSES_ROOT;
    return {
        {cr, progId + ".1", nullptr, REG_SZ, description, 0},
        {cr, progId + ".1\\CLSID", nullptr, REG_SZ, clsid, 0},
        {cr, progId, nullptr, REG_SZ, description, 0},
        {cr, progId + "\\CLSID", nullptr, REG_SZ, clsid, 0},
        {cr, progId + "\\CurVer", nullptr, REG_SZ, progId + ".1", 0},
        {cr, key, nullptr, REG_SZ, description, 0},
        {cr, key + "\\ProgID", nullptr, REG_SZ, progId + ".1", 0},
        {cr, key + "\\VersionIndependentProgID", nullptr, REG_SZ, progId, 0},
        {cr, key + "\\InprocServer32", "ThreadingModel", REG_SZ, "Apartment", 0},
        {cr, key + "\\TypeLib", nullptr, REG_SZ, libid, 0},
    };
}

std::vector<FilterClass> FilterClasses()
{
    const std::string load = std::string(Catalogue) + "\\KwFilterJPEG";
    const std::string save = std::string(Catalogue) + "\\KwFilterSaveJPEG";
    HKEY lm = HKEY_LOCAL_MACHINE;
    return {
        {"KwFilterJPEG",
         &CLSID_KwFilterJPEG,
         {{lm, load, "ProgID", REG_SZ, "KwFilter_JPEG.KwFilterJPEG", 0},
          {lm, load, "Group", REG_SZ, "Raster", 0},
          {lm, load, "Format", REG_SZ, "JPEG File Interchange Format", 0},
          {lm, load, "Extension", REG_SZ, "*.JPG,*.JPEG,*.JFIF,*.JFI", 0},
          {lm, load, "Version", REG_SZ, KW_VERSION_TEXT, 0}}},
        {"KwFilterSaveJPEG",
         &CLSID_KwFilterSaveJPEG,
         {{lm, save, "ProgID", REG_SZ, "KwFilter_JPEG.KwFilterSaveJPEG", 0},
          {lm, save, "Group", REG_SZ, "Raster", 0},
          {lm, save, "Version", REG_SZ, KW_VERSION_TEXT, 0},
          {lm, save, "BlockSupport", REG_DWORD, "", 2},
          {lm, save, "RasterSupport", REG_DWORD, "", 264},
          {lm, save, "SaveFormat", REG_SZ, "JPEG File Interchange Format", 0},
          {lm, save, "SaveExtension", REG_SZ, "JPG", 0},
          {lm, save, "StorageType", REG_DWORD, "", KW_STORAGE_STREAM}}},
    };
}

// The product version of the library's version resource, "a.b.c.d".
std::string ResourceVersion(const std::string& module)
{
    std::wstring path = KwWideText(module);
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    if (size == 0) return "(no version resource)";
    std::vector<BYTE> block(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return "(unreadable)";
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &length) || !info) return "(no root)";
    char text[64];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", HIWORD(info->dwProductVersionMS),
                  LOWORD(info->dwProductVersionMS), HIWORD(info->dwProductVersionLS),
                  LOWORD(info->dwProductVersionLS));
    return text;
}

class RegistryEntries : public ::testing::TestWithParam<FilterClass> {};

TEST_P(RegistryEntries, OfTheClassAndItsCatalogueEntry)
{
    const FilterClass& c = GetParam();
    const std::string module = KwFilterLibraryPath();
    for (const auto& e : ClassEntries(c)) ExpectValue(e);

    // The server path is the library file as regsvr32 loaded it.
    std::string server = "CLSID\\" + KwGuidText(*c.clsid) + "\\InprocServer32";
    KwRegValue path = KwReadRegValue(HKEY_CLASSES_ROOT, server, nullptr);
    EXPECT_TRUE(path.exists && path.type == REG_SZ && KwSamePath(path.text, module))
        << "HKCR\\" << server << " @ is the library path -- " << path.text << " vs " << module;

    EXPECT_EQ(KwReadRegValue(HKEY_LOCAL_MACHINE, Catalogue, nullptr).text, "Quarvenx COM Filters")
        << "catalogue key description";
    for (const auto& e : c.catalogue) ExpectValue(e);
    KwRegValue designer = KwReadRegValue(HKEY_LOCAL_MACHINE, std::string(Catalogue) + "\\" + c.name, "Designer");
    EXPECT_TRUE(designer.exists && designer.type == REG_SZ && !designer.text.empty())
        << "catalogue entry names its designer -- " << designer.text;
    // %VERSION% is the product version of the library's own version resource.
    EXPECT_EQ(KwReadRegValue(HKEY_LOCAL_MACHINE, std::string(Catalogue) + "\\" + c.name, "Version").text,
              ResourceVersion(module))
        << "catalogue Version is the resource's product version";
}

INSTANTIATE_TEST_SUITE_P(Registered, RegistryEntries, ::testing::ValuesIn(FilterClasses()),
                         [](const ::testing::TestParamInfo<FilterClass>& info) { return std::string(info.param.name); });

TEST(RegisteredRegistry, ClassesAndProgIds)
{
    // The save structure and raster data classes are not registered.
    for (const CLSID* clsid : {&CLSID_KwSaveStructure, &CLSID_KwSaveRasterData})
        EXPECT_FALSE(KwRegKeyExists(HKEY_CLASSES_ROOT, "CLSID\\" + KwGuidText(*clsid)))
            << "no class key for " << KwGuidText(*clsid);
    CLSID clsid = {};
    HRESULT hr = CLSIDFromProgID(L"KwFilter_JPEG.KwFilterJPEG", &clsid);
    EXPECT_TRUE(SUCCEEDED(hr) && IsEqualCLSID(clsid, CLSID_KwFilterJPEG)) << "ProgID of the load filter resolves";
    hr = CLSIDFromProgID(L"KwFilter_JPEG.KwFilterSaveJPEG.1", &clsid);
    EXPECT_TRUE(SUCCEEDED(hr) && IsEqualCLSID(clsid, CLSID_KwFilterSaveJPEG))
        << "versioned ProgID of the save filter resolves";
}

TEST(RegisteredRegistry, TypeLibraryEntries)
{
    const std::string module = KwFilterLibraryPath();
    const std::string base = "TypeLib\\" + KwGuidText(LIBID_KWFILTER_JPEGLib) + "\\1.0";
    ExpectValue({HKEY_CLASSES_ROOT, base, nullptr, REG_SZ, "KwFilter_JPEG 1.0 Type Library", 0});
    // The library's own platform kind is SYS_WIN32.
    KwRegValue path = KwReadRegValue(HKEY_CLASSES_ROOT, base + "\\0\\win32", nullptr);
    EXPECT_TRUE(path.exists && KwSamePath(path.text, module)) << "win32 path is the library file -- " << path.text;
    KwRegValue flags = KwReadRegValue(HKEY_CLASSES_ROOT, base + "\\FLAGS", nullptr);
    unsigned long value = flags.exists ? std::strtoul(flags.text.c_str(), nullptr, 10) : 99;
    EXPECT_TRUE(flags.exists && (value & (LIBFLAG_FRESTRICTED | LIBFLAG_FCONTROL | LIBFLAG_FHIDDEN)) == 0)
        << "FLAGS: not restricted, not a control, not hidden -- " << flags.text;
    // Registered without a help directory: the system records the library's
    // own folder in its place (or nothing).
    KwRegValue help = KwReadRegValue(HKEY_CLASSES_ROOT, base + "\\HELPDIR", nullptr);
    std::string folder = module.substr(0, module.find_last_of('\\'));
    EXPECT_TRUE(!help.exists || help.text.empty() || KwSamePath(help.text, folder))
        << "no help directory of its own -- " << help.text;

    BSTR registered = nullptr;
    HRESULT hr = QueryPathOfRegTypeLib(LIBID_KWFILTER_JPEGLib, 1, 0, 0, &registered);
    EXPECT_TRUE(SUCCEEDED(hr) && KwSamePath(KwNarrowText(registered), module))
        << "QueryPathOfRegTypeLib gives the library file -- " << KwHex(hr) << " " << KwNarrowText(registered);
    SysFreeString(registered);
}

TEST(Unregistered, RemovalLeavesNothingOfItsOwn)
{
    for (const auto& c : FilterClasses()) {
        const std::string progId = std::string("KwFilter_JPEG.") + c.name;
        for (const std::string& key : {progId, progId + ".1", "CLSID\\" + KwGuidText(*c.clsid)})
            EXPECT_FALSE(KwRegKeyExists(HKEY_CLASSES_ROOT, key)) << "HKCR\\" << key << " is gone";
        EXPECT_FALSE(KwRegKeyExists(HKEY_LOCAL_MACHINE, std::string(Catalogue) + "\\" + c.name))
            << "catalogue entry " << c.name << " is gone";
    }
    // With no other filter left, the catalogue and the publisher key go too.
    EXPECT_FALSE(KwRegKeyExists(HKEY_LOCAL_MACHINE, Catalogue)) << "HKLM\\Software\\Quarvenx\\KwFilters is gone";
    EXPECT_FALSE(KwRegKeyExists(HKEY_LOCAL_MACHINE, "Software\\Quarvenx")) << "HKLM\\Software\\Quarvenx is gone";
    // Keys the scripts only pass through stay.
    EXPECT_TRUE(KwRegKeyExists(HKEY_CLASSES_ROOT, "CLSID")) << "HKCR\\CLSID stays";
    EXPECT_FALSE(KwRegSubkeys(HKEY_CLASSES_ROOT, "CLSID").empty()) << "HKCR\\CLSID keeps the other classes";
    EXPECT_TRUE(KwRegKeyExists(HKEY_LOCAL_MACHINE, "Software\\Microsoft")) << "HKLM\\Software stays";

    EXPECT_FALSE(KwRegKeyExists(HKEY_CLASSES_ROOT, "TypeLib\\" + KwGuidText(LIBID_KWFILTER_JPEGLib)))
        << "the type library registration is gone";
    ITypeLib* lib = nullptr;
    HRESULT hr = LoadRegTypeLib(LIBID_KWFILTER_JPEGLib, 1, 0, 0, &lib);
    EXPECT_TRUE(FAILED(hr)) << "LoadRegTypeLib fails after removal -- " << KwHex(hr);
    if (lib) lib->Release();
    CLSID clsid = {};
    hr = CLSIDFromProgID(L"KwFilter_JPEG.KwFilterJPEG", &clsid);
    EXPECT_TRUE(FAILED(hr)) << "the ProgID no longer resolves -- " << KwHex(hr);
}

typedef HRESULT(STDAPICALLTYPE* EntryPoint)();

// Registration and removal next to another filter of the same catalogue: the
// shared keys and the neighbour stay. Runs the entry points of the library
// directly, as a setup program would.
void RegisterAndRemoveBesideAnotherFilter(HMODULE module, const std::string& neighbour)
{
    auto registerServer = reinterpret_cast<EntryPoint>(reinterpret_cast<void*>(GetProcAddress(module, "DllRegisterServer")));
    auto unregisterServer = reinterpret_cast<EntryPoint>(reinterpret_cast<void*>(GetProcAddress(module, "DllUnregisterServer")));
    ASSERT_TRUE(registerServer && unregisterServer) << "the registration entry points are exported";
    EXPECT_EQ(KwHex(registerServer()), KwHex(S_OK)) << "DllRegisterServer";
    EXPECT_TRUE(KwRegKeyExists(HKEY_LOCAL_MACHINE, std::string(Catalogue) + "\\KwFilterJPEG"))
        << "the load filter is in the catalogue";
    EXPECT_EQ(KwHex(unregisterServer()), KwHex(S_OK)) << "DllUnregisterServer";
    EXPECT_FALSE(KwRegKeyExists(HKEY_LOCAL_MACHINE, std::string(Catalogue) + "\\KwFilterJPEG"))
        << "the load filter left the catalogue";
    EXPECT_FALSE(KwRegKeyExists(HKEY_LOCAL_MACHINE, std::string(Catalogue) + "\\KwFilterSaveJPEG"))
        << "the save filter left the catalogue";
    EXPECT_EQ(KwReadRegValue(HKEY_LOCAL_MACHINE, neighbour, "ProgID").text, "Other.Filter")
        << "the other filter keeps its entry";
    EXPECT_EQ(KwReadRegValue(HKEY_LOCAL_MACHINE, Catalogue, nullptr).text, "Quarvenx COM Filters")
        << "the catalogue key stays with its description";
    EXPECT_FALSE(KwRegKeyExists(HKEY_CLASSES_ROOT, "CLSID\\" + KwGuidText(CLSID_KwFilterJPEG)))
        << "the class key is gone";
}

TEST(Shared, RemovalBesideAnotherFilter)
{
    const std::string neighbour = std::string(Catalogue) + "\\KwFilterOther";
    ASSERT_TRUE(KwRegWriteText(HKEY_LOCAL_MACHINE, neighbour, "ProgID", "Other.Filter"))
        << "another filter is in the catalogue";
    HMODULE module = LoadLibraryW(KwWideText(KwFilterLibraryPath()).c_str());
    EXPECT_NE(module, nullptr) << "the library loads";
    if (module) {
        RegisterAndRemoveBesideAnotherFilter(module, neighbour);
        FreeLibrary(module);
    }
    KwRegDeleteTree(HKEY_LOCAL_MACHINE, "Software\\Quarvenx");
}

// Runs one entry point of the library at `library`, loading it for the call.
HRESULT RunEntryPoint(const std::wstring& library, const char* name)
{
    HMODULE module = LoadLibraryW(library.c_str());
    if (!module) return HRESULT_FROM_WIN32(GetLastError());
    auto entry = reinterpret_cast<EntryPoint>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    HRESULT hr = entry ? entry() : E_FAIL;
    FreeLibrary(module);
    return hr;
}

void RegisterFromThereAndCreate(const std::wstring& library)
{
    ASSERT_EQ(KwHex(RunEntryPoint(library, "DllRegisterServer")), KwHex(S_OK)) << "DllRegisterServer from there";
    const std::string server = "CLSID\\" + KwGuidText(CLSID_KwFilterJPEG) + "\\InprocServer32";
    KwRegValue path = KwReadRegValue(HKEY_CLASSES_ROOT, server, nullptr);
    EXPECT_EQ(path.text, KwNarrowText(library.c_str())) << "InprocServer32 is the exact path";
    EXPECT_EQ(KwReadRegValue(HKEY_LOCAL_MACHINE, std::string(Catalogue) + "\\KwFilterJPEG", "Version").text,
              KW_VERSION_TEXT)
        << "catalogue Version read from the version resource";
    for (const wchar_t* progId : {L"KwFilter_JPEG.KwFilterJPEG", L"KwFilter_JPEG.KwFilterSaveJPEG"}) {
        CLSID clsid = {};
        IUnknown* object = nullptr;
        HRESULT hr = CLSIDFromProgID(progId, &clsid);
        if (SUCCEEDED(hr))
            hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(&object));
        EXPECT_EQ(KwHex(hr), KwHex(S_OK)) << "CoCreateInstance by ProgID " << KwNarrowText(progId);
        if (object) object->Release();
    }
    CoFreeUnusedLibraries();
    EXPECT_EQ(KwHex(RunEntryPoint(library, "DllUnregisterServer")), KwHex(S_OK)) << "DllUnregisterServer from there";
}

// Registration from a folder whose name lies outside the ANSI code page
// (Cyrillic and Chinese script): the class key names the library by its real
// path, the catalogue reads the version resource, and COM creates both
// filters by ProgID from there.
TEST(Shared, RegistrationFromANonAnsiFolder)
{
    const std::wstring folder =
        KwWideText(KwProgramFolder()) + L"\x043A\x0430\x0442\x0430\x043B\x043E\x0433 \x76EE\x5F55";
    const std::wstring library = folder + L"\\KwFilter_JPEG.dll";
    CreateDirectoryW(folder.c_str(), nullptr);
    ASSERT_NE(CopyFileW(KwWideText(KwFilterLibraryPath()).c_str(), library.c_str(), FALSE), 0)
        << "the library is copied there -- " << KwNarrowText(library.c_str());
    RegisterFromThereAndCreate(library);
    KwRegDeleteTree(HKEY_LOCAL_MACHINE, "Software\\Quarvenx");
    CoFreeUnusedLibrariesEx(0, 0); // at once: the library file is deleted next
    DeleteFileW(library.c_str());
    RemoveDirectoryW(folder.c_str());
}

}  // namespace
