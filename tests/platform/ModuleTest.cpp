// Modules, resources, version information, type-library keys and the message box.
#include "KwPlatformTestSupport.h"
#include "server/KwTestServer.h"

#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

namespace {

std::string ProgramPath()
{
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
}

HMODULE ProgramHandle()
{
    return KwModuleHandleFromAddress(reinterpret_cast<const void*>(&ProgramPath));
}

struct MessageLog {
    int calls = 0;
    std::string text, caption;
    UINT type = 0;
};

int RecordMessage(void* context, LPCSTR text, LPCSTR caption, UINT type)
{
    MessageLog* log = static_cast<MessageLog*>(context);
    ++log->calls;
    log->text = text;
    log->caption = caption;
    log->type = type;
    return 7;
}

const char RegistryScript[] = "HKCR\r\n{\r\n}\r\n";
const char TypeLibBytes[] = {'M', 'S', 'F', 'T', 0, 2};
const char ModuleName[] = "KwFilter_JPEG";
const char Accented[] = "caf\xC3\xA9"; // "café": the é is two bytes
const VS_FIXEDFILEINFO Version = {VS_FFI_SIGNATURE, VS_FFI_STRUCVERSION, 0x00040000, 0x00000022, 0x00040000,
                                   0x00000022, 0x3F, 0, VOS__WINDOWS32, VFT_DLL, 0, 0, 0};

class Resources : public ::testing::Test {
protected:
    void SetUp() override
    {
        static const KwResourceEntry entries[] = {
            {"REGISTRY", 102, RegistryScript, sizeof RegistryScript - 1},
            {"TYPELIB", 1, TypeLibBytes, sizeof TypeLibBytes},
            {RT_STRING, 100, ModuleName, sizeof ModuleName - 1},
            {RT_STRING, 101, Accented, sizeof Accented}, // with its terminator: also accepted
            {RT_VERSION, 1, &Version, sizeof Version},
        };
        KwRegisterModuleResources(ProgramHandle(), entries, 5);
    }
    void TearDown() override { KwUnregisterModuleResources(ProgramHandle()); }
};

} // namespace

TEST(Modules, FileNamesOfProgramAndLibraries)
{
    char path[PATH_MAX];
    const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    EXPECT_EQ(n, ProgramPath().size());
    EXPECT_EQ(std::string(path), ProgramPath());
    EXPECT_EQ(GetModuleFileNameA(ProgramHandle(), path, sizeof path), n) << "the program's own handle";

    const HMODULE platform = KwModuleHandleFromAddress(reinterpret_cast<const void*>(&SysAllocString));
    ASSERT_GT(GetModuleFileNameA(platform, path, sizeof path), 0u);
    const std::string soname = "/" KW_PLATFORM_SONAME;
    EXPECT_EQ(std::string(path).rfind(soname), std::string(path).size() - soname.size()) << path;
    EXPECT_EQ(path[0], '/');

    // A short buffer gets the truncated name with a terminator, and its size.
    char small[5];
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameA(nullptr, small, sizeof small), 5u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::string(small), ProgramPath().substr(0, 4));

    // The wide form counts UTF-16 units (here, an ASCII path: one per byte).
    WCHAR wide[PATH_MAX];
    ASSERT_EQ(GetModuleFileNameW(nullptr, wide, PATH_MAX), n);
    EXPECT_EQ(std::string(wide, wide + n), ProgramPath());
    EXPECT_EQ(GetModuleFileNameW(nullptr, wide, 5), 5u);
    EXPECT_EQ(std::string(wide, wide + 4), ProgramPath().substr(0, 4));
    EXPECT_EQ(wide[4], 0);
    // A byte of a file name that is not UTF-8 reads as U+DC80..U+DCFF (our
    // layer's choice: Windows names are UTF-16) and goes back to that byte;
    // any other lone surrogate is U+FFFD.
    const WCHAR escaped[] = {0xDCE9, 0xDC7F, u'b'};
    char narrow[8];
    ASSERT_EQ(WideCharToMultiByte(CP_UTF8, 0, escaped, 3, narrow, 8, nullptr, nullptr), 5);
    EXPECT_EQ(std::string(narrow, 5), "\xE9\xEF\xBF\xBD" "b");

    // An address that is not the start of a module is no module handle.
    const HMODULE inside = reinterpret_cast<HMODULE>(reinterpret_cast<char*>(platform) + 16);
    EXPECT_EQ(GetModuleFileNameA(inside, path, sizeof path), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_TRUE(DisableThreadLibraryCalls(platform));
}

TEST(Modules, LoadLibraryGetProcAddressAndFreeLibrary)
{
    const HMODULE server = LoadLibraryA(KW_PLATFORM_TEST_SERVER);
    ASSERT_NE(server, nullptr);
    EXPECT_EQ(LoadLibraryA(KW_PLATFORM_TEST_SERVER), server) << "one module, counted twice";
    FARPROC count = GetProcAddress(server, "KwTestServerLiveObjects");
    ASSERT_NE(count, nullptr);
    EXPECT_EQ(KwModuleHandleFromAddress(reinterpret_cast<const void*>(count)), server);
    EXPECT_EQ(reinterpret_cast<KwTestServerLiveObjectsFn>(count)(), 0);

    // Only the module's own exports are found, not those of what it links against.
    SetLastError(0);
    EXPECT_EQ(GetProcAddress(server, "SysAllocString"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_EQ(GetProcAddress(server, MAKEINTRESOURCEA(1)), nullptr);
    EXPECT_EQ(GetProcAddress(server, nullptr), nullptr);

    EXPECT_TRUE(FreeLibrary(server));
    EXPECT_NE(GetProcAddress(server, "DllGetClassObject"), nullptr) << "still loaded once";
    EXPECT_TRUE(FreeLibrary(server));

    SetLastError(0);
    EXPECT_EQ(LoadLibraryA("/nonexistent/libmissing.so"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(LoadLibraryA(nullptr), nullptr);
    EXPECT_FALSE(FreeLibrary(reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x10))));
}

TEST_F(Resources, FindLoadAndSizeByNumberOrName)
{
    const HMODULE module = ProgramHandle();
    HRSRC script = FindResourceA(module, MAKEINTRESOURCEA(102), "registry"); // type names ignore case
    ASSERT_NE(script, nullptr);
    EXPECT_EQ(SizeofResource(module, script), sizeof RegistryScript - 1);
    HGLOBAL loaded = LoadResource(module, script);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(std::memcmp(LockResource(loaded), RegistryScript, sizeof RegistryScript - 1), 0);
    EXPECT_EQ(FindResourceA(module, "#102", "REGISTRY"), script) << "\"#102\" names the number";
    EXPECT_NE(FindResourceA(module, MAKEINTRESOURCEA(1), "TypeLib"), nullptr);
    EXPECT_NE(FindResourceA(module, MAKEINTRESOURCEA(1), "#16"), nullptr);

    SetLastError(0);
    EXPECT_EQ(FindResourceA(module, MAKEINTRESOURCEA(103), "REGISTRY"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(FindResourceA(module, MAKEINTRESOURCEA(102), "BITMAP"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
    EXPECT_EQ(FindResourceA(module, "NAMED", "REGISTRY"), nullptr);
    const HMODULE platform = KwModuleHandleFromAddress(reinterpret_cast<const void*>(&SysAllocString));
    EXPECT_EQ(FindResourceA(platform, MAKEINTRESOURCEA(102), "REGISTRY"), nullptr) << "no table registered";

    // Handles end with the table.
    KwUnregisterModuleResources(module);
    EXPECT_EQ(LoadResource(module, script), nullptr);
    EXPECT_EQ(SizeofResource(module, script), 0u);
}

TEST_F(Resources, StringsLoadWholeOrTruncatedOnCharacterBoundaries)
{
    const HMODULE module = ProgramHandle();
    char buffer[64];
    EXPECT_EQ(LoadStringA(module, 100, buffer, sizeof buffer), 13);
    EXPECT_STREQ(buffer, "KwFilter_JPEG");
    EXPECT_EQ(LoadStringA(module, 101, buffer, sizeof buffer), 5);
    EXPECT_STREQ(buffer, Accented);
    EXPECT_EQ(LoadStringA(module, 100, buffer, 4), 3);
    EXPECT_STREQ(buffer, "KwF");
    // Room for "caf" and one byte of the é: the half character is dropped.
    EXPECT_EQ(LoadStringA(module, 101, buffer, 5), 3);
    EXPECT_STREQ(buffer, "caf");
    EXPECT_EQ(LoadStringA(module, 999, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(LoadStringA(module, 100, nullptr, 10), 0);
}

TEST_F(Resources, VersionInformationOfALoadedModuleFile)
{
    const std::string path = ProgramPath();
    DWORD handle = 99;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    ASSERT_GT(size, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(handle, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, block.data()));
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&info), &length));
    EXPECT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(info->dwSignature, static_cast<DWORD>(VS_FFI_SIGNATURE));
    EXPECT_EQ(info->dwProductVersionMS, 0x00040000u);
    EXPECT_EQ(info->dwProductVersionLS, 0x00000022u);
    EXPECT_GE(reinterpret_cast<BYTE*>(info), block.data());
    EXPECT_LE(reinterpret_cast<BYTE*>(info) + length, block.data() + size) << "the value lies inside the block";
    EXPECT_FALSE(VerQueryValueA(block.data(), "\\StringFileInfo\\040904B0\\FileVersion",
                                reinterpret_cast<void**>(&info), &length));
    // The wide forms read the same block.
    const std::u16string widePath(path.begin(), path.end());
    std::vector<BYTE> wideBlock(size);
    EXPECT_EQ(GetFileVersionInfoSizeW(widePath.c_str(), &handle), size);
    ASSERT_TRUE(GetFileVersionInfoW(widePath.c_str(), 0, size, wideBlock.data()));
    EXPECT_EQ(wideBlock, block);
    ASSERT_TRUE(VerQueryValueW(wideBlock.data(), u"\\", reinterpret_cast<void**>(&info), &length));
    EXPECT_EQ(info->dwProductVersionLS, 0x00000022u);

    // A block cut short by a small buffer is refused, not over-read.
    std::vector<BYTE> shortBlock(size / 2);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(shortBlock.size()), shortBlock.data()));
    EXPECT_FALSE(VerQueryValueA(shortBlock.data(), "\\", reinterpret_cast<void**>(&info), &length));

    // Files without version information, and no file at all.
    char platformPath[PATH_MAX];
    ASSERT_GT(GetModuleFileNameA(KwModuleHandleFromAddress(reinterpret_cast<const void*>(&SysAllocString)),
                                 platformPath, sizeof platformPath),
              0u);
    SetLastError(0);
    EXPECT_EQ(GetFileVersionInfoSizeA(platformPath, &handle), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
    EXPECT_EQ(GetFileVersionInfoSizeA("/nonexistent/file.so", &handle), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(GetFileVersionInfoA(platformPath, 0, size, block.data()));
}

TEST(TypeLibraryKeys, RegisterWritesTheSystemKeysAndRemovalCleansUp)
{
    ScopedRegistryFile file;
    const GUID libid = {0x12345678, 0x1234, 0x5678, {0x9A, 0xBC, 0xDE, 0xF0, 0x12, 0x34, 0x56, 0x78}};
    const std::string libKey = "TypeLib\\{12345678-1234-5678-9ABC-DEF012345678}";
    const HMODULE server = LoadLibraryA(KW_PLATFORM_TEST_SERVER);
    ASSERT_NE(server, nullptr);
    char serverPath[PATH_MAX];
    ASSERT_GT(GetModuleFileNameA(server, serverPath, sizeof serverPath), 0u);
    std::string folder(serverPath);
    folder = folder.substr(0, folder.find_last_of('/'));

    ASSERT_EQ(KwRegisterModuleTypeLib(server, libid, 1, 10, 0x409, "KWFILTER_JPEG 1.0 Type Library"), S_OK);
    std::string value;
    ASSERT_TRUE(GetString(HKEY_CLASSES_ROOT, libKey + "\\1.a", nullptr, value)) << "versions are written in hex";
    EXPECT_EQ(value, "KWFILTER_JPEG 1.0 Type Library");
    ASSERT_TRUE(GetString(HKEY_CLASSES_ROOT, libKey + "\\1.a\\409\\win32", nullptr, value));
    EXPECT_EQ(value, serverPath);
    ASSERT_TRUE(GetString(HKEY_CLASSES_ROOT, libKey + "\\1.a\\FLAGS", nullptr, value));
    EXPECT_EQ(value, "0");
    ASSERT_TRUE(GetString(HKEY_CLASSES_ROOT, libKey + "\\1.a\\HELPDIR", nullptr, value));
    EXPECT_EQ(value, folder);

    // Another version keeps the library key alive.
    ASSERT_EQ(KwRegisterModuleTypeLib(server, libid, 2, 0, 0, "v2"), S_OK);
    ASSERT_EQ(KwUnregisterModuleTypeLib(server, libid, 1, 10, 0x409), S_OK);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, libKey + "\\1.a"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, libKey + "\\2.0\\0\\win32"));
    ASSERT_EQ(KwUnregisterModuleTypeLib(server, libid, 2, 0, 0), S_OK);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, libKey));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "TypeLib")) << "the shared parent stays";
    EXPECT_EQ(KwUnregisterModuleTypeLib(server, libid, 2, 0, 0), TYPE_E_REGISTRYACCESS) << "nothing to remove";
    FreeLibrary(server);
}

TEST(MessageBox, HandlerSeesTheCallOtherwiseStandardError)
{
    MessageLog log;
    KwSetMessageBoxHandler(&RecordMessage, &log);
    EXPECT_EQ(MessageBoxA(nullptr, "Corrupt JPEG data", "JPEG Error", MB_OK | MB_ICONERROR), 7);
    EXPECT_EQ(log.calls, 1);
    EXPECT_EQ(log.text, "Corrupt JPEG data");
    EXPECT_EQ(log.caption, "JPEG Error");
    EXPECT_EQ(log.type, static_cast<UINT>(MB_OK | MB_ICONERROR));
    MessageBoxA(nullptr, nullptr, nullptr, MB_OK);
    EXPECT_EQ(log.caption, "Error") << "the Windows caption when none is given";
    EXPECT_EQ(log.text, "");

    KwSetMessageBoxHandler(nullptr, nullptr);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA(nullptr, "text", "caption", MB_OK), IDOK);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "caption: text\n");
    EXPECT_EQ(log.calls, 2);
}
