// Registry semantics, the file it persists to, and several processes at once.
#include "KwPlatformTestSupport.h"

#include <dirent.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>

namespace {

class Registry : public ::testing::Test {
protected:
    ScopedRegistryFile file;

    HKEY Create(HKEY root, const char* path, DWORD options = 0, DWORD* disposition = nullptr)
    {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExA(root, path, 0, nullptr, options, KEY_ALL_ACCESS, nullptr, &key, disposition),
                  ERROR_SUCCESS)
            << path;
        return key;
    }
    std::vector<std::string> SubKeyNames(HKEY key)
    {
        std::vector<std::string> names;
        char name[300];
        for (DWORD i = 0;; ++i) {
            DWORD size = sizeof name;
            LSTATUS status = RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr);
            if (status == ERROR_NO_MORE_ITEMS) break;
            EXPECT_EQ(status, ERROR_SUCCESS);
            if (status != ERROR_SUCCESS) break;
            names.emplace_back(name, size);
        }
        return names;
    }
    std::set<std::string> FolderNames()
    {
        std::set<std::string> names;
        if (DIR* dir = opendir(file.Folder().c_str())) {
            while (dirent* entry = readdir(dir)) names.insert(entry->d_name);
            closedir(dir);
        }
        return names;
    }
};

} // namespace

TEST_F(Registry, KeyNamesIgnoreCaseButKeepIt)
{
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "Software")) << "a new registry has it, as every Windows does";
    DWORD disposition = 0;
    HKEY key = Create(HKEY_LOCAL_MACHINE, "Software\\Quarvenx\\KwFilters", 0, &disposition);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    RegCloseKey(key);
    key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\quarvenx\\KWFILTERS\\", 0, &disposition);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    RegCloseKey(key);

    HKEY software = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software", 0, KEY_READ, &software), ERROR_SUCCESS);
    EXPECT_EQ(SubKeyNames(software), std::vector<std::string>{"Quarvenx"});
    RegCloseKey(software);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Software")) << "each root is its own tree";
    HKEY missing = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Nothing", 0, KEY_READ, &missing), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(missing, nullptr);
}

TEST_F(Registry, ValuesOfEachTypeWithWindowsSizes)
{
    HKEY key = Create(HKEY_LOCAL_MACHINE, "Software\\Values");
    const char text[] = "JPEG File Interchange Format";
    ASSERT_EQ(RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>("default"), 8), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "Format", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text),
              ERROR_SUCCESS);
    const DWORD number = 0x108;
    ASSERT_EQ(RegSetValueExA(key, "RasterSupport", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4),
              ERROR_SUCCESS);
    const BYTE binary[] = {0, 1, 0, 0xFF};
    ASSERT_EQ(RegSetValueExA(key, "Blob", 0, REG_BINARY, binary, 4), ERROR_SUCCESS);

    DWORD type = 0, size = 0;
    ASSERT_EQ(RegQueryValueExA(key, "format", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, sizeof text) << "string sizes count the terminator";
    char small[8];
    size = sizeof small;
    EXPECT_EQ(RegQueryValueExA(key, "Format", nullptr, &type, reinterpret_cast<BYTE*>(small), &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, sizeof text) << "the size needed is reported";
    char buffer[64];
    size = sizeof buffer;
    ASSERT_EQ(RegQueryValueExA(key, "Format", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size), ERROR_SUCCESS);
    EXPECT_STREQ(buffer, text);

    // The default value answers to both a null and an empty name.
    size = sizeof buffer;
    ASSERT_EQ(RegQueryValueExA(key, "", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size), ERROR_SUCCESS);
    EXPECT_STREQ(buffer, "default");
    DWORD readNumber = 0;
    size = 4;
    ASSERT_EQ(RegQueryValueExA(key, "RASTERSUPPORT", nullptr, &type, reinterpret_cast<BYTE*>(&readNumber), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(readNumber, 0x108u);
    BYTE readBinary[8];
    size = sizeof readBinary;
    ASSERT_EQ(RegQueryValueExA(key, "Blob", nullptr, &type, readBinary, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(std::memcmp(readBinary, binary, 4), 0);

    EXPECT_EQ(RegQueryValueExA(key, "Missing", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
    DWORD reserved = 0;
    EXPECT_EQ(RegQueryValueExA(key, "Blob", &reserved, &type, nullptr, &size), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExA(key, "Blob", nullptr, &type, readBinary, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueExA(key, "Bad", 0, REG_BINARY, nullptr, 4), ERROR_NOACCESS);

    // Overwriting with a differently cased name keeps the first spelling.
    ASSERT_EQ(RegSetValueExA(key, "FORMAT", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2), ERROR_SUCCESS);
    char name[32];
    DWORD nameSize = sizeof name;
    ASSERT_EQ(RegEnumValueA(key, 1, name, &nameSize, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_STREQ(name, "Format");

    // The wide forms store UTF-8, which the narrow forms read back.
    const char16_t wide[] = u"\u043A\u0430\u0442\u0430\u043B\u043E\u0433 \u76EE\u5F55";
    ASSERT_EQ(RegSetValueExW(key, u"Wide", 0, REG_SZ, reinterpret_cast<const BYTE*>(wide), sizeof wide), ERROR_SUCCESS);
    size = sizeof buffer;
    ASSERT_EQ(RegQueryValueExA(key, "wide", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size), ERROR_SUCCESS);
    EXPECT_STREQ(buffer, "\xD0\xBA\xD0\xB0\xD1\x82\xD0\xB0\xD0\xBB\xD0\xBE\xD0\xB3 \xE7\x9B\xAE\xE5\xBD\x95");
    EXPECT_EQ(RegDeleteValueW(key, u"WIDE"), ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST_F(Registry, EnumerationOrderAndBufferSizes)
{
    HKEY key = Create(HKEY_CLASSES_ROOT, "Order");
    for (const char* name : {"b", "_x", "A", "c"}) RegCloseKey(Create(key, name));
    // Windows keeps subkeys sorted by their upper-cased names ('_' sorts after letters).
    EXPECT_EQ(SubKeyNames(key), (std::vector<std::string>{"A", "b", "c", "_x"}));
    for (const char* name : {"zeta", "alpha", "mid"})
        RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>("v"), 2);
    std::vector<std::string> values;
    char name[16];
    BYTE data[16];
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = sizeof name, dataSize = sizeof data;
        if (RegEnumValueA(key, i, name, &nameSize, nullptr, nullptr, data, &dataSize) != ERROR_SUCCESS) break;
        EXPECT_EQ(nameSize, std::strlen(name));
        EXPECT_EQ(dataSize, 2u);
        values.push_back(name);
    }
    EXPECT_EQ(values, (std::vector<std::string>{"zeta", "alpha", "mid"})) << "values keep their creation order";

    DWORD nameSize = 2; // "_x" needs 3 with its terminator
    EXPECT_EQ(RegEnumKeyExA(key, 3, name, &nameSize, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    nameSize = 4; // "zeta" needs 5
    EXPECT_EQ(RegEnumValueA(key, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    nameSize = sizeof name;
    DWORD dataSize = 1;
    EXPECT_EQ(RegEnumValueA(key, 0, name, &nameSize, nullptr, nullptr, data, &dataSize), ERROR_MORE_DATA);
    EXPECT_EQ(dataSize, 2u);
    nameSize = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(key, 4, name, &nameSize, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(RegEnumValueA(key, 3, name, &nameSize, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);

    DWORD subKeys = 0, maxSubKey = 0, valueCount = 0, maxValueName = 0, maxValue = 0;
    ASSERT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, &maxSubKey, nullptr, &valueCount,
                               &maxValueName, &maxValue, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subKeys, 4u);
    EXPECT_EQ(maxSubKey, 2u);
    EXPECT_EQ(valueCount, 3u);
    EXPECT_EQ(maxValueName, 5u);
    EXPECT_EQ(maxValue, 2u);
    RegCloseKey(key);
}

TEST_F(Registry, DeleteRules)
{
    HKEY parent = Create(HKEY_LOCAL_MACHINE, "Software\\Del\\Child\\Leaf");
    RegCloseKey(parent);
    parent = Create(HKEY_LOCAL_MACHINE, "Software\\Del");
    HKEY leaf = Create(parent, "Child\\Leaf");

    EXPECT_EQ(RegDeleteKeyA(parent, "Child"), ERROR_ACCESS_DENIED) << "a key with subkeys is not deleted";
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Del\\Child\\Leaf"));
    EXPECT_EQ(RegDeleteKeyA(parent, "Child\\Missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(parent, "child\\LEAF"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(parent, nullptr), ERROR_INVALID_PARAMETER);

    // An open handle to a deleted key reports it.
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(leaf, nullptr, nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    EXPECT_EQ(RegSetValueExA(leaf, "v", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2), ERROR_KEY_DELETED);
    EXPECT_EQ(RegCloseKey(leaf), ERROR_SUCCESS);

    // A tree goes at once; a null name empties the key and keeps it.
    RegCloseKey(Create(parent, "Child\\A\\B"));
    RegSetValueExA(parent, "kept?", 0, REG_SZ, reinterpret_cast<const BYTE*>("no"), 3);
    EXPECT_EQ(RegDeleteTreeA(parent, "Child"), ERROR_SUCCESS);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Del\\Child"));
    RegCloseKey(Create(parent, "Again"));
    EXPECT_EQ(RegDeleteTreeA(parent, nullptr), ERROR_SUCCESS);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Del"));
    DWORD subKeys = 9, values = 9;
    RegQueryInfoKeyA(parent, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr, nullptr,
                     nullptr, nullptr);
    EXPECT_EQ(subKeys, 0u);
    EXPECT_EQ(values, 0u);
    EXPECT_EQ(RegDeleteTreeA(parent, "Missing"), ERROR_FILE_NOT_FOUND);

    EXPECT_EQ(RegDeleteValueA(parent, "Missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, ""), ERROR_ACCESS_DENIED) << "a root cannot be deleted";
    // An empty name deletes the key the handle names.
    EXPECT_EQ(RegDeleteKeyA(parent, ""), ERROR_SUCCESS);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Del"));
    RegCloseKey(parent);

    // HKLM\Software is the system's: empty, it is still refused, and a tree
    // removal or the emptying of the root keeps it.
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software"), ERROR_ACCESS_DENIED);
    RegCloseKey(Create(HKEY_LOCAL_MACHINE, "Software\\Gone"));
    EXPECT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE"), ERROR_SUCCESS);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Gone"));
    EXPECT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, nullptr), ERROR_SUCCESS);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "Software"));
}

TEST_F(Registry, BadHandlesAndNamesAreRefused)
{
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "\\Leading", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_BADKEY);
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "a\\\\b", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_BADKEY);
    const std::string tooLong(256, 'k');
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, tooLong.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "x", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
    // A key is at most 512 levels below its root, as on Windows.
    std::string deepest = "Software";
    for (int level = 2; level <= 512; ++level) deepest += "\\d";
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (deepest + "\\d").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(file.Text(), "") << "refused calls write nothing";
    ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, deepest, "Value", "deepest"), ERROR_SUCCESS);
    std::string out;
    EXPECT_EQ(RunRegTool({"get", deepest, "Value"}, &out), 0) << "another process reads it back";
    EXPECT_EQ(out, "deepest");
    key = Create(HKEY_LOCAL_MACHINE, deepest.c_str());
    HKEY deeper = nullptr;
    EXPECT_EQ(RegCreateKeyExA(key, "d", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &deeper, nullptr),
              ERROR_INVALID_PARAMETER);
    RegCloseKey(key);

    HKEY bogus = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x1234));
    EXPECT_EQ(RegOpenKeyExA(bogus, "x", 0, KEY_READ, &key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegSetValueExA(bogus, "x", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(bogus), ERROR_INVALID_HANDLE);
    key = Create(HKEY_LOCAL_MACHINE, "Software\\Twice");
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE) << "a closed handle is no longer valid";
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
}

TEST_F(Registry, VolatileKeysStayInTheProcess)
{
    HKEY persistent = Create(HKEY_LOCAL_MACHINE, "Software\\Host");
    HKEY session = Create(persistent, "Session", REG_OPTION_VOLATILE);
    RegSetValueExA(session, "Pid", 0, REG_SZ, reinterpret_cast<const BYTE*>("1"), 2);
    HKEY child = nullptr;
    EXPECT_EQ(RegCreateKeyExA(session, "Child", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &child,
                              nullptr),
              ERROR_CHILD_MUST_BE_VOLATILE);
    EXPECT_EQ(RegCreateKeyExA(persistent, "Session\\Deep\\Child", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child,
                              nullptr),
              ERROR_CHILD_MUST_BE_VOLATILE);
    EXPECT_FALSE(KeyExists(persistent, "Session\\Deep")) << "a refused path leaves nothing behind";
    RegCloseKey(Create(session, "VolatileChild", REG_OPTION_VOLATILE));

    EXPECT_EQ(file.Text().find("Session"), std::string::npos);
    std::string out;
    EXPECT_EQ(RunRegTool({"get", "Software\\Host\\Session", "Pid"}, &out), 1) << "other processes do not see it";

    // Another process rewrites the file; the volatile key is still here afterwards.
    ASSERT_EQ(RunRegTool({"set", "Software\\Host", "Other", "x"}), 0);
    std::string pid;
    EXPECT_TRUE(GetString(persistent, "", "Other", pid));
    EXPECT_TRUE(GetString(persistent, "Session", "Pid", pid));
    EXPECT_EQ(pid, "1");
    EXPECT_TRUE(KeyExists(persistent, "Session\\VolatileChild"));
    RegCloseKey(session);
    RegCloseKey(persistent);
}

TEST_F(Registry, ChangesReachOtherProcessesBothWays)
{
    ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, "Software\\Shared", "FromTest", "\xC3\xA9t\xC3\xA9"), ERROR_SUCCESS);
    std::string out;
    ASSERT_EQ(RunRegTool({"get", "Software\\Shared", "FromTest"}, &out), 0);
    EXPECT_EQ(out, "\xC3\xA9t\xC3\xA9");

    ASSERT_EQ(RunRegTool({"set", "Software\\Shared", "FromTool", "written elsewhere"}), 0);
    std::string value;
    ASSERT_TRUE(GetString(HKEY_LOCAL_MACHINE, "Software\\Shared", "FromTool", value));
    EXPECT_EQ(value, "written elsewhere");
    // The first value survived the other process's rewrite.
    ASSERT_TRUE(GetString(HKEY_LOCAL_MACHINE, "Software\\Shared", "FromTest", value));
    EXPECT_EQ(KwRegistryPath(), file.Path());
}

TEST_F(Registry, FileFormatIsReadableAndRoundTripsEveryValue)
{
    HKEY key = Create(HKEY_LOCAL_MACHINE, "Software\\Quarvenx\\Odd%Name");
    const std::string tricky = "quote \" backslash \\ newline \n tab \t bell \a end";
    RegSetValueExA(key, "Tricky \"name\"", 0, REG_SZ, reinterpret_cast<const BYTE*>(tricky.c_str()),
                   static_cast<DWORD>(tricky.size() + 1));
    const DWORD number = 0x108;
    RegSetValueExA(key, "RasterSupport", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4);
    const char multi[] = "one\0two\0"; // REG_MULTI_SZ, interior NULs
    RegSetValueExA(key, "Multi", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(multi), sizeof multi);
    RegSetValueExA(key, "Unterminated", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 3);
    RegSetValueExA(key, "Empty", 0, REG_BINARY, nullptr, 0);
    RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>("default"), 8);
    RegCloseKey(key);

    const std::string text = file.Text();
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\Software\\Quarvenx\\Odd%25Name]\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"RasterSupport\"=dword:00000108\n"), std::string::npos) << text;
    EXPECT_NE(text.find("@=\"default\"\n"), std::string::npos) << text;

    // Read it back through a copy of the file, with CRLF line ends: everything comes from the parser.
    const std::string copy = file.Folder() + "/copy.reg";
    {
        std::ofstream out(copy, std::ios::binary);
        for (char c : text) out << (c == '\n' ? "\r\n" : std::string(1, c));
    }
    setenv("KWPLATFORM_REGISTRY", copy.c_str(), 1);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Quarvenx\\Odd%Name", 0, KEY_READ, &key), ERROR_SUCCESS);
    auto expectValue = [&](const char* name, DWORD type, const void* data, DWORD size) {
        std::vector<BYTE> buffer(size + 8);
        DWORD readType = 0, readSize = static_cast<DWORD>(buffer.size());
        ASSERT_EQ(RegQueryValueExA(key, name, nullptr, &readType, buffer.data(), &readSize), ERROR_SUCCESS) << name;
        EXPECT_EQ(readType, type) << name;
        ASSERT_EQ(readSize, size) << name;
        EXPECT_EQ(std::memcmp(buffer.data(), data, size), 0) << name;
    };
    expectValue("Tricky \"name\"", REG_SZ, tricky.c_str(), static_cast<DWORD>(tricky.size() + 1));
    expectValue("RasterSupport", REG_DWORD, &number, 4);
    expectValue("Multi", REG_MULTI_SZ, multi, sizeof multi);
    expectValue("Unterminated", REG_SZ, "abc", 3);
    expectValue("Empty", REG_BINARY, "", 0);
    expectValue(nullptr, REG_SZ, "default", 8);
    RegCloseKey(key);
    EXPECT_EQ(KwRegistryDamagedLine(), 0u);
}

TEST_F(Registry, FailedWritesChangeNothing)
{
    // Links planted where temporary files may go are never followed, and a
    // killed writer's stale temporary file is removed.
    const std::string target = file.Folder() + "/target";
    std::ofstream(target) << "untouched";
    ASSERT_EQ(symlink(target.c_str(), (file.Path() + ".tmp").c_str()), 0);
    ASSERT_EQ(symlink((file.Folder() + "/created").c_str(), (file.Path() + ".tmp-00000000000000ff").c_str()), 0);
    ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, "Software\\Kept", "Value", "before"), ERROR_SUCCESS);
    const std::string before = file.Text();
    const std::set<std::string> names = {".", "..", "registry.reg", "registry.reg.lock", "registry.reg.tmp", "target"};
    EXPECT_EQ(FolderNames(), names);
    std::ifstream in(target);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "untouched");
    HKEY kept = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Kept", 0, KEY_READ, &kept), ERROR_SUCCESS);

    // The temporary file cannot be written (as on a full disk): the change is
    // refused and forgotten, and the file goes.
    struct rlimit limit;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlim_t unlimited = limit.rlim_cur;
    limit.rlim_cur = 16;
    void (*previous)(int) = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    EXPECT_EQ(SetString(HKEY_LOCAL_MACHINE, "Software\\Kept", "Value", "after"), ERROR_CANTWRITE);
    EXPECT_EQ(SetString(HKEY_LOCAL_MACHINE, "Software\\New", "Value", "x"), ERROR_CANTWRITE);
    // A batch sees its own changes, and loses all of them when its write fails.
    ASSERT_EQ(KwRegistryBeginBatch(), ERROR_SUCCESS);
    EXPECT_EQ(SetString(HKEY_LOCAL_MACHINE, "Software\\Kept", "Value", "batch"), ERROR_SUCCESS);
    EXPECT_EQ(SetString(HKEY_LOCAL_MACHINE, "Software\\New", "Value", "x"), ERROR_SUCCESS);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\New"));
    EXPECT_EQ(KwRegistryEndBatch(TRUE), ERROR_CANTWRITE);
    std::string value;
    ASSERT_TRUE(GetString(HKEY_LOCAL_MACHINE, "Software\\Kept", "Value", value));
    EXPECT_EQ(value, "before");
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\New"));
    limit.rlim_cur = unlimited;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    signal(SIGXFSZ, previous);
    EXPECT_EQ(file.Text(), before);
    EXPECT_EQ(FolderNames(), names);
    // A batch that is not committed leaves nothing, on disk or in memory.
    ASSERT_EQ(KwRegistryBeginBatch(), ERROR_SUCCESS);
    EXPECT_EQ(SetString(HKEY_LOCAL_MACHINE, "Software\\New", "Value", "x"), ERROR_SUCCESS);
    EXPECT_EQ(KwRegistryEndBatch(FALSE), ERROR_SUCCESS);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\New"));
    EXPECT_EQ(file.Text(), before);
    // Nor does one whose inner batch is not committed: its end says so, and the
    // handles of a key it deleted work again.
    ASSERT_EQ(KwRegistryBeginBatch(), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Kept"), ERROR_SUCCESS);
    ASSERT_EQ(KwRegistryBeginBatch(), ERROR_SUCCESS);
    EXPECT_EQ(SetString(HKEY_LOCAL_MACHINE, "Software\\New", "Value", "x"), ERROR_SUCCESS);
    EXPECT_EQ(KwRegistryEndBatch(FALSE), ERROR_SUCCESS);
    EXPECT_EQ(KwRegistryEndBatch(TRUE), ERROR_TRANSACTION_ALREADY_ABORTED);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\New"));
    EXPECT_EQ(file.Text(), before);
    EXPECT_EQ(RegQueryValueExA(kept, "Value", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    RegCloseKey(kept);
    EXPECT_EQ(KwRegistryEndBatch(TRUE), ERROR_INVALID_FUNCTION) << "no batch is open";

    // Past 64 MB a file is neither written nor read.
    const std::vector<BYTE> big((64 << 20) / 3 + 1); // written as 3 characters a byte
    HKEY bigKey = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Kept", 0, KEY_ALL_ACCESS, &bigKey), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(bigKey, "Big", 0, REG_BINARY, big.data(), static_cast<DWORD>(big.size())),
              ERROR_FILE_TOO_LARGE);
    RegCloseKey(bigKey);
    EXPECT_EQ(file.Text(), before);
    ASSERT_EQ(truncate(file.Path().c_str(), (64 << 20) + 1), 0);
    EXPECT_EQ(SetString(HKEY_LOCAL_MACHINE, "Software\\Other", "Value", "x"), ERROR_FILE_TOO_LARGE);
    HKEY software = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, &software), ERROR_FILE_TOO_LARGE);
    ASSERT_EQ(truncate(file.Path().c_str(), static_cast<off_t>(before.size())), 0);

    // A registry that cannot be read is never overwritten with a partial view.
    const std::string unreadable = file.Folder() + "/folder.reg";
    ASSERT_EQ(mkdir(unreadable.c_str(), 0755), 0);
    setenv("KWPLATFORM_REGISTRY", unreadable.c_str(), 1);
    EXPECT_EQ(SetString(HKEY_LOCAL_MACHINE, "Software\\Other", "Value", "x"), ERROR_CANTREAD);
    const std::string notAFolder = file.Path() + "/registry.reg"; // below a regular file
    setenv("KWPLATFORM_REGISTRY", notAFolder.c_str(), 1);
    EXPECT_NE(SetString(HKEY_LOCAL_MACHINE, "Software\\Other", "Value", "x"), ERROR_SUCCESS);
    setenv("KWPLATFORM_REGISTRY", file.Path().c_str(), 1);
    EXPECT_EQ(file.Text(), before);

    // A registry that is a link is written through to its target; a lock file that is one is refused.
    const std::string link = file.Folder() + "/link.reg", lockLinked = file.Folder() + "/other.reg";
    ASSERT_EQ(symlink("registry.reg", link.c_str()), 0);
    ASSERT_EQ(symlink(target.c_str(), (lockLinked + ".lock").c_str()), 0);
    setenv("KWPLATFORM_REGISTRY", link.c_str(), 1);
    EXPECT_EQ(SetString(HKEY_LOCAL_MACHINE, "Software\\Linked", "Value", "x"), ERROR_SUCCESS);
    struct stat st;
    EXPECT_TRUE(lstat(link.c_str(), &st) == 0 && S_ISLNK(st.st_mode));
    EXPECT_NE(file.Text().find("[HKEY_LOCAL_MACHINE\\Software\\Linked]"), std::string::npos);
    setenv("KWPLATFORM_REGISTRY", lockLinked.c_str(), 1);
    EXPECT_EQ(SetString(HKEY_LOCAL_MACHINE, "Software\\Other", "Value", "x"), ERROR_STOPPED_ON_SYMLINK);
    setenv("KWPLATFORM_REGISTRY", file.Path().c_str(), 1);
}

// A system-wide registry, as a user meets it: read, its volatile keys made in
// the process, every write refused as Windows refuses it, nothing made beside it.
TEST_F(Registry, OneThatCannotBeWrittenIsStillRead)
{
    ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, "Software\\Kept", "Value", "before"), ERROR_SUCCESS);
    ASSERT_EQ(unlink((file.Path() + ".lock").c_str()), 0);
    const std::string before = file.Text();
    const std::string prefix = file.DenyWrites();
    std::string out;
    EXPECT_EQ(RunRegTool({"readonly", "Software\\Kept", "Value"}, &out, prefix), 0);
    EXPECT_EQ(out, "open 0\nget 0 before\nset 5\nopen for writing 5\ncreate 5 1\ndelete 5\nbatch 5\nvolatile 0");
    EXPECT_EQ(file.Text(), before);
    EXPECT_EQ(FolderNames(), (std::set<std::string>{".", "..", "registry.reg"}));
}

TEST_F(Registry, DamagedFileIsReadButNeverWritten)
{
    // Beyond what the registry functions can make: 602 levels, a backslash
    // inside a name, a value name of 16384 characters.
    std::string deep = "[HKEY_LOCAL_MACHINE\\Software\\Good";
    for (int i = 0; i < 600; ++i) deep += "\\d";
    {
        std::ofstream out(file.Path(), std::ios::binary);
        out << "garbage before any key\n"
               "[HKEY_NOWHERE\\X]\n\"Lost\"=\"x\"\n"
            << deep << "]\n\"Lost\"=\"x\"\n[HKEY_LOCAL_MACHINE\\Software\\Good\\Back%5cslash]\n\"Lost\"=\"x\"\n"
               "[HKEY_LOCAL_MACHINE\\Software\\Good]\n"
               "\"Fine\"=\"yes\"\n"
               "\"" << std::string(16384, 'n') << "\"=\"long\"\n"
               "\"Broken\"=\"no closing quote\n"
               "\"BadDword\"=dword:12\n"
               "\"BadHex\"=hex:1,zz\n"
               "\"Escape\"=\"bad \\q escape\"\n"
               "[HKEY_LOCAL_MACHINE\\Software\\Bad%zzName]\n"
               "[unterminated header\n"
               "\"AlsoFine\"=dword:00000001\r\n";
    }
    std::string value;
    ASSERT_TRUE(GetString(HKEY_LOCAL_MACHINE, "Software\\Good", "Fine", value));
    EXPECT_EQ(value, "yes");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Good", 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD subkeys = 0, values = 0;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                     nullptr);
    EXPECT_EQ(subkeys, 0u);
    EXPECT_EQ(values, 1u);
    RegCloseKey(key);
    // A rewrite would lose the lines that did not parse for good.
    const std::string before = file.Text();
    EXPECT_EQ(KwRegistryDamagedLine(), 1u);
    EXPECT_EQ(SetString(HKEY_LOCAL_MACHINE, "Software\\Good", "Fine", "changed"), ERROR_REGISTRY_CORRUPT);
    EXPECT_EQ(KwRegistryBeginBatch(), ERROR_REGISTRY_CORRUPT);
    ASSERT_TRUE(GetString(HKEY_LOCAL_MACHINE, "Software\\Good", "Fine", value));
    EXPECT_EQ(value, "yes");
    EXPECT_EQ(file.Text(), before);
}

TEST_F(Registry, ConcurrentWritersLoseNothingAndNoPartialFileIsEverSeen)
{
    const int PerProcess = 200;
    const int a = StartRegTool({"many", "Software\\Race", "A", std::to_string(PerProcess)});
    const int b = StartRegTool({"many", "Software\\Race", "B", std::to_string(PerProcess)});
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);

    // While they write, every version of the file that can be opened is complete:
    // it starts with the header line and ends with a full line.
    int snapshots = 0;
    size_t lastKeys = 0;
    int exitA = -1, exitB = -1;
    for (bool running = true; running;) {
        running = (exitA < 0 && (exitA = PollProcess(a)) < 0) | (exitB < 0 && (exitB = PollProcess(b)) < 0);
        const std::string text = file.Text();
        if (text.empty()) continue;
        ++snapshots;
        EXPECT_EQ(text.compare(0, 22, "; kwplatform registry\n"), 0);
        EXPECT_EQ(text.back(), '\n');
        size_t keys = 0;
        for (size_t p = text.find("\n[HKEY_LOCAL_MACHINE\\Software\\Race\\"); p != std::string::npos;
             p = text.find("\n[HKEY_LOCAL_MACHINE\\Software\\Race\\", p + 1))
            ++keys;
        EXPECT_GE(keys, lastKeys) << "keys never disappear while only being added";
        lastKeys = keys;
        usleep(500);
    }
    EXPECT_EQ(exitA, 0);
    EXPECT_EQ(exitB, 0);
    EXPECT_GT(snapshots, 1);
    EXPECT_EQ(lastKeys, static_cast<size_t>(2 * PerProcess));

    HKEY race = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Race", 0, KEY_READ, &race), ERROR_SUCCESS);
    EXPECT_EQ(SubKeyNames(race).size(), static_cast<size_t>(2 * PerProcess));
    for (const char* prefix : {"A", "B"}) {
        for (int i = 0; i < PerProcess; ++i) {
            std::string value;
            ASSERT_TRUE(GetString(race, prefix + std::to_string(i), "Index", value)) << prefix << i;
            EXPECT_EQ(value, std::to_string(i));
        }
    }
    RegCloseKey(race);

    // No temporary file is left behind.
    EXPECT_EQ(FolderNames(), (std::set<std::string>{".", "..", "registry.reg", "registry.reg.lock"}));
}

TEST_F(Registry, ThreadsWaitForTheBatchOfAnother)
{
    // A batch belongs to its thread: another thread's write waits for its end
    // and is not undone with it, and only the owner ends it.
    ASSERT_EQ(KwRegistryBeginBatch(), ERROR_SUCCESS);
    ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, "Software\\Undone", "Value", "x"), ERROR_SUCCESS);
    // Readers do not wait: they see what is committed.
    bool seen = true;
    std::thread([&] { seen = KeyExists(HKEY_LOCAL_MACHINE, "Software\\Undone"); }).join();
    EXPECT_FALSE(seen);
    LSTATUS ended = ERROR_SUCCESS;
    std::thread([&] { ended = KwRegistryEndBatch(TRUE); }).join();
    EXPECT_EQ(ended, ERROR_INVALID_FUNCTION);
    std::atomic<bool> written{false};
    LSTATUS status = ERROR_INVALID_FUNCTION;
    std::thread writer([&] {
        status = SetString(HKEY_LOCAL_MACHINE, "Software\\Other", "Value", "kept");
        written = true;
    });
    usleep(20000);
    EXPECT_FALSE(written) << "it waits for the batch";
    EXPECT_EQ(KwRegistryEndBatch(FALSE), ERROR_SUCCESS);
    writer.join();
    EXPECT_EQ(status, ERROR_SUCCESS);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Undone"));
    std::string value;
    EXPECT_TRUE(GetString(HKEY_LOCAL_MACHINE, "Software\\Other", "Value", value));
    EXPECT_NE(file.Text().find("[HKEY_LOCAL_MACHINE\\Software\\Other]"), std::string::npos);

    // A thread that ends inside its batch undoes it as it ends, and the others go on.
    std::thread([] {
        KwRegistryBeginBatch();
        SetString(HKEY_LOCAL_MACHINE, "Software\\Abandoned", "Value", "x");
    }).join();
    EXPECT_EQ(SetString(HKEY_LOCAL_MACHINE, "Software\\Other", "Value", "after"), ERROR_SUCCESS);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Abandoned"));
    EXPECT_EQ(file.Text().find("Abandoned"), std::string::npos);
}
