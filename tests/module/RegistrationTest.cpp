// The built library seen from outside: the entry points it exports, and its
// self-registration, each step in a separate process (kwtest_module_helper)
// sharing one registry file per test.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "interfaces/KwFilterInterfaces.h"
#include "generated/KwVersion.h"
#include "KwHelperProcess.h"

namespace {

std::string GuidText(const GUID& guid)
{
    OLECHAR wide[64];
    int length = StringFromGUID2(guid, wide, 64);
    std::string text;
    for (int i = 0; i + 1 < length; ++i) text.push_back(static_cast<char>(wide[i]));
    return text;
}

std::string ClassKeys(const std::string& clsid, const std::string& name, const std::string& library)
{
    const std::string key = "HKCR\\CLSID\\" + clsid;
    return key + "\n  @ = s \"" + name + " Class\"\n" +                                    //
           key + "\\InprocServer32\n  @ = s \"" + library + "\"\n  ThreadingModel = s \"Apartment\"\n" +
           key + "\\ProgID\n  @ = s \"KwFilter_JPEG." + name + ".1\"\n" +                   //
           key + "\\TypeLib\n  @ = s \"" + GuidText(LIBID_KWFILTER_JPEGLib) + "\"\n" +    //
           key + "\\VersionIndependentProgID\n  @ = s \"KwFilter_JPEG." + name + "\"\n";
}

std::string ProgIdKeys(const std::string& clsid, const std::string& name)
{
    const std::string independent = "HKCR\\KwFilter_JPEG." + name;
    const std::string versioned = independent + ".1";
    return independent + "\n  @ = s \"" + name + " Class\"\n" +                            //
           independent + "\\CLSID\n  @ = s \"" + clsid + "\"\n" +                          //
           independent + "\\CurVer\n  @ = s \"KwFilter_JPEG." + name + ".1\"\n" +          //
           versioned + "\n  @ = s \"" + name + " Class\"\n" +                              //
           versioned + "\\CLSID\n  @ = s \"" + clsid + "\"\n";
}

const std::string LoadCatalogueEntry = "HKLM\\Software\\Quarvenx\\KwFilters\\KwFilterJPEG\n"
                                        "  Designer = s \"Quarvenx\"\n"
                                        "  Extension = s \"*.JPG,*.JPEG,*.JFIF,*.JFI\"\n"
                                        "  Format = s \"JPEG File Interchange Format\"\n"
                                        "  Group = s \"Raster\"\n"
                                        "  ProgID = s \"KwFilter_JPEG.KwFilterJPEG\"\n"
                                        "  Version = s \"" KW_VERSION_TEXT "\"\n";
const std::string SaveCatalogueEntry = "HKLM\\Software\\Quarvenx\\KwFilters\\KwFilterSaveJPEG\n"
                                        "  BlockSupport = d 2\n"
                                        "  Designer = s \"Quarvenx\"\n"
                                        "  Group = s \"Raster\"\n"
                                        "  ProgID = s \"KwFilter_JPEG.KwFilterSaveJPEG\"\n"
                                        "  RasterSupport = d 264\n"
                                        "  SaveExtension = s \"JPG\"\n"
                                        "  SaveFormat = s \"JPEG File Interchange Format\"\n"
                                        "  StorageType = d 1\n"
                                        "  Version = s \"" KW_VERSION_TEXT "\"\n";

const std::string Catalogue = "HKLM\\Software\nHKLM\\Software\\Quarvenx\nHKLM\\Software\\Quarvenx\\KwFilters\n"
                                "  @ = s \"Quarvenx COM Filters\"\n" +
                                LoadCatalogueEntry + SaveCatalogueEntry;

class RegistrationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_Registry = KwFreshRegistryFile(::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    void TearDown() override { KwRemoveRegistryFile(m_Registry); }

    // Runs the helper; every command must have run, and the output is returned.
    std::string Run(const std::vector<std::string>& arguments)
    {
        KwHelperResult result = KwRunHelper(arguments, m_Registry);
        EXPECT_EQ(0, result.exitCode) << result.output;
        return result.output;
    }

    std::string m_Registry;
    const std::string m_Library = KW_FILTER_LIBRARY;
    const std::string m_LoadClsid = GuidText(CLSID_KwFilterJPEG);
    const std::string m_SaveClsid = GuidText(CLSID_KwFilterSaveJPEG);
};

TEST_F(RegistrationTest, RegistrationWritesExactlyTheScriptedEntries)
{
    ASSERT_EQ("register " + m_Library + " -> 0x00000000\n", Run({"register", m_Library}));
    EXPECT_EQ("HKCR\\CLSID\n" + ClassKeys(m_LoadClsid, "KwFilterJPEG", m_Library) +
                  ClassKeys(m_SaveClsid, "KwFilterSaveJPEG", m_Library),
              Run({"dump", "HKCR\\CLSID"}));
    EXPECT_EQ(ProgIdKeys(m_LoadClsid, "KwFilterJPEG") + ProgIdKeys(m_SaveClsid, "KwFilterSaveJPEG"),
              Run({"dump", "HKCR\\KwFilter_JPEG.KwFilterJPEG", "dump", "HKCR\\KwFilter_JPEG.KwFilterJPEG.1", "dump",
                   "HKCR\\KwFilter_JPEG.KwFilterSaveJPEG", "dump", "HKCR\\KwFilter_JPEG.KwFilterSaveJPEG.1"}));
    EXPECT_EQ(Catalogue,
              Run({"dump", "HKLM\\Software"}));
    // The type library is registered after the classes.
    EXPECT_NE(0u, Run({"dump", "HKCR\\TypeLib\\" + GuidText(LIBID_KWFILTER_JPEGLib)}).find("\\1.0\n"));

    // Registering again gives the same entries.
    ASSERT_EQ("register " + m_Library + " -> 0x00000000\n", Run({"register", m_Library}));
    EXPECT_EQ(Catalogue,
              Run({"dump", "HKLM\\Software"}));
}

TEST_F(RegistrationTest, RegistrationReplacesStaleEntriesOfItsOwnClasses)
{
    Run({"set", "HKCR\\CLSID\\" + m_LoadClsid + "\\Stale", "set",
         "HKCR\\CLSID\\" + m_LoadClsid + "\\InprocServer32|ThreadingModel|Both", "set",
         "HKLM\\Software\\Quarvenx\\KwFilters\\KwFilterSaveJPEG|Obsolete|1", "set",
         "HKCR\\CLSID\\{00000000-1111-2222-3333-444444444444}|Foreign|kept"});
    ASSERT_EQ("register " + m_Library + " -> 0x00000000\n", Run({"register", m_Library}));
    EXPECT_EQ("HKCR\\CLSID\nHKCR\\CLSID\\{00000000-1111-2222-3333-444444444444}\n  Foreign = s \"kept\"\n" +
                  ClassKeys(m_LoadClsid, "KwFilterJPEG", m_Library) +
                  ClassKeys(m_SaveClsid, "KwFilterSaveJPEG", m_Library),
              Run({"dump", "HKCR\\CLSID"}));
    EXPECT_EQ(SaveCatalogueEntry, Run({"dump", "HKLM\\Software\\Quarvenx\\KwFilters\\KwFilterSaveJPEG"}));
}

TEST_F(RegistrationTest, RemovalTakesTheEntriesAwayButNeverTheClassRoot)
{
    Run({"set", "HKCR\\CLSID\\{00000000-1111-2222-3333-444444444444}|Foreign|kept"});
    ASSERT_EQ("register " + m_Library + " -> 0x00000000\n", Run({"register", m_Library}));
    ASSERT_EQ("unregister " + m_Library + " -> 0x00000000\n", Run({"unregister", m_Library}));
    EXPECT_EQ("HKCR\\CLSID\nHKCR\\CLSID\\{00000000-1111-2222-3333-444444444444}\n  Foreign = s \"kept\"\n",
              Run({"dump", "HKCR\\CLSID"}));
    EXPECT_EQ("missing HKCR\\KwFilter_JPEG.KwFilterJPEG\nmissing HKCR\\KwFilter_JPEG.KwFilterJPEG.1\n"
              "missing HKCR\\KwFilter_JPEG.KwFilterSaveJPEG\nmissing HKCR\\KwFilter_JPEG.KwFilterSaveJPEG.1\n"
              "missing HKLM\\Software\\Quarvenx\n",
              Run({"dump", "HKCR\\KwFilter_JPEG.KwFilterJPEG", "dump", "HKCR\\KwFilter_JPEG.KwFilterJPEG.1", "dump",
                   "HKCR\\KwFilter_JPEG.KwFilterSaveJPEG", "dump", "HKCR\\KwFilter_JPEG.KwFilterSaveJPEG.1", "dump",
                   "HKLM\\Software\\Quarvenx"}));
    EXPECT_EQ("missing HKCR\\TypeLib\\" + GuidText(LIBID_KWFILTER_JPEGLib) + "\n",
              Run({"dump", "HKCR\\TypeLib\\" + GuidText(LIBID_KWFILTER_JPEGLib)}));

    // With nothing registered, the scripts find nothing to remove and create
    // nothing; the system reports the type library as not registered.
    Run({"set", "HKCR\\Unrelated"});
    EXPECT_EQ("unregister " + m_Library + " -> 0x8002801C\n", Run({"unregister", m_Library}));
    EXPECT_EQ("HKCR\\CLSID\nHKCR\\CLSID\\{00000000-1111-2222-3333-444444444444}\n  Foreign = s \"kept\"\n",
              Run({"dump", "HKCR\\CLSID"}));
    EXPECT_EQ("HKLM\\Software\n", Run({"dump", "HKLM\\Software"})) << "the system's key stays, empty";
}

TEST_F(RegistrationTest, RemovalKeepsTheCatalogueWhileAnotherFilterLivesThere)
{
    Run({"set", "HKLM\\Software\\Quarvenx\\KwFilters\\KwFilterTIFF|ProgID|KwFilter_TIFF.KwFilterTIFF"});
    ASSERT_EQ("register " + m_Library + " -> 0x00000000\n", Run({"register", m_Library}));
    ASSERT_EQ("unregister " + m_Library + " -> 0x00000000\n", Run({"unregister", m_Library}));
    EXPECT_EQ("HKLM\\Software\\Quarvenx\nHKLM\\Software\\Quarvenx\\KwFilters\n"
              "  @ = s \"Quarvenx COM Filters\"\n"
              "HKLM\\Software\\Quarvenx\\KwFilters\\KwFilterTIFF\n"
              "  ProgID = s \"KwFilter_TIFF.KwFilterTIFF\"\n",
              Run({"dump", "HKLM\\Software\\Quarvenx"}));
}

TEST_F(RegistrationTest, ClassesAreCreatedByProgIdInAnotherProcess)
{
    ASSERT_EQ("register " + m_Library + " -> 0x00000000\n", Run({"register", m_Library}));
    EXPECT_EQ("create KwFilter_JPEG.KwFilterJPEG -> 0x00000000 IKwFilter\n"
              "create KwFilter_JPEG.KwFilterJPEG.1 -> 0x00000000 IKwFilter\n"
              "create KwFilter_JPEG.KwFilterSaveJPEG -> 0x00000000 IKwFilterSave\n"
              "create KwFilter_JPEG.KwFilterSaveJPEG.1 -> 0x00000000 IKwFilterSave\n",
              Run({"create", "KwFilter_JPEG.KwFilterJPEG", "create", "KwFilter_JPEG.KwFilterJPEG.1", "create",
                   "KwFilter_JPEG.KwFilterSaveJPEG", "create", "KwFilter_JPEG.KwFilterSaveJPEG.1"}));
    ASSERT_EQ("unregister " + m_Library + " -> 0x00000000\n", Run({"unregister", m_Library}));
    std::string after = Run({"create", "KwFilter_JPEG.KwFilterJPEG"});
    EXPECT_EQ(std::string::npos, after.find("-> 0x00000000")) << after;
}

void CopyLibrary(const std::string& path)
{
    std::ifstream in(KW_FILTER_LIBRARY, std::ios::binary);
    std::ofstream out(path, std::ios::binary);
    out << in.rdbuf();
}

// A copy of the library at a path of exactly `length` characters under the
// ASCII `directory`, through folders named with `filler`, one character of one
// or more UTF-8 bytes.
std::string CopyLibraryTo(const std::string& directory, size_t length, const std::string& filler = "d")
{
    const std::string file = "/libKwFilter_JPEG.so";
    std::string path = directory;
    size_t characters = path.size() + file.size();
    const size_t most = 200 / filler.size(); // a folder name stays within 255 bytes
    mkdir(path.c_str(), 0755);
    while (characters < length) {
        size_t room = length - characters; // a slash and at least one character
        size_t component = room > most + 2 ? most : room - 1;
        path += "/";
        for (size_t i = 0; i < component; ++i) path += filler;
        characters += 1 + component;
        mkdir(path.c_str(), 0755);
    }
    path += file;
    CopyLibrary(path);
    return path;
}

TEST_F(RegistrationTest, ModulePathMustFitTheRegistrarBuffer)
{
    const std::string base = std::string(KW_TEST_BINARY_DIR) + "/module-path-" + std::to_string(getpid());
    if (base.size() + 30 > MAX_PATH) GTEST_SKIP() << "the build directory's path is too long for this test";
    mkdir(base.c_str(), 0755);
    const std::string fits = CopyLibraryTo(base + "/a", MAX_PATH - 1);
    const std::string full = CopyLibraryTo(base + "/b", MAX_PATH);
    ASSERT_EQ(size_t(MAX_PATH - 1), fits.size());
    ASSERT_EQ(size_t(MAX_PATH), full.size());

    EXPECT_EQ("register " + full + " -> 0x8007007A\n", Run({"register", full}));
    EXPECT_EQ("missing HKLM\\Software\\Quarvenx\nmissing HKCR\\KwFilter_JPEG.KwFilterJPEG\n",
              Run({"dump", "HKLM\\Software\\Quarvenx", "dump", "HKCR\\KwFilter_JPEG.KwFilterJPEG"}));

    // The limit counts characters, not the bytes they take.
    const std::string cyrillic = CopyLibraryTo(base + "/c", MAX_PATH - 1, "\xD0\xB4");
    ASSERT_GT(cyrillic.size(), size_t(MAX_PATH));
    for (const std::string& path : {cyrillic, fits}) {
        EXPECT_EQ("register " + path + " -> 0x00000000\n", Run({"register", path}));
        EXPECT_EQ("HKCR\\CLSID\\" + m_LoadClsid + "\\InprocServer32\n  @ = s \"" + path +
                      "\"\n  ThreadingModel = s \"Apartment\"\n",
                  Run({"dump", "HKCR\\CLSID\\" + m_LoadClsid + "\\InprocServer32"}));
    }
    std::system(("rm -rf '" + base + "'").c_str());
}

TEST_F(RegistrationTest, ModulePathWithQuotesPercentSignsAndAnyScriptIsWrittenAsItIs)
{
    // Names in several scripts, and a folder named in Latin-1, whose bytes are
    // not UTF-8: each path is registered as its own bytes and loads from there.
    for (const std::string name : {"module-o'path %VERSION% 100% \xD0\xBA\xD0\xB0\xD1\x82\xD0\xB0\xD0\xBB\xD0\xBE\xD0\xB3 "
                                   "\xE7\x9B\xAE\xE5\xBD\x95-",
                                   "module-caf\xE9 \xC0-"}) {
        const std::string directory = std::string(KW_TEST_BINARY_DIR) + "/" + name + std::to_string(getpid());
        mkdir(directory.c_str(), 0755);
        const std::string library = directory + "/libKwFilter_JPEG.so";
        CopyLibrary(library);
        EXPECT_EQ("register " + library + " -> 0x00000000\n", Run({"register", library}));
        EXPECT_EQ("HKCR\\CLSID\\" + m_SaveClsid + "\\InprocServer32\n  @ = s \"" + library +
                      "\"\n  ThreadingModel = s \"Apartment\"\n",
                  Run({"dump", "HKCR\\CLSID\\" + m_SaveClsid + "\\InprocServer32"}));
        EXPECT_EQ("create KwFilter_JPEG.KwFilterSaveJPEG -> 0x00000000 IKwFilterSave\n",
                  Run({"create", "KwFilter_JPEG.KwFilterSaveJPEG"}));
        std::ifstream in(m_Registry, std::ios::binary);
        const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_NE(std::string::npos, file.find("@=\"" + library + "\"\n")) << "the file holds the path's bytes";
        EXPECT_NE(std::string::npos, file.find("\"Version\"=\"" KW_VERSION_TEXT "\"\n")) << "the version is read from there";
        std::remove(library.c_str());
        rmdir(directory.c_str());
    }
}

TEST(FilterLibrary, ExportsExactlyTheFourEntryPoints)
{
    FILE* pipe = popen("nm -D --defined-only '" KW_FILTER_LIBRARY "'", "r");
    ASSERT_NE(nullptr, pipe);
    std::set<std::string> exported;
    char line[1024];
    while (std::fgets(line, sizeof line, pipe)) {
        char address[64], type[8], name[512];
        if (std::sscanf(line, "%63s %7s %511s", address, type, name) == 3) exported.insert(name);
    }
    ASSERT_EQ(0, pclose(pipe));
    EXPECT_EQ((std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer",
                                     "DllUnregisterServer"}),
              exported);
}

} // namespace
