// A second process for the registry tests: writes and reads the registry file
// named by KWPLATFORM_REGISTRY.
//   kwtest_platform_regtool set <HKLM subkey> <name> <text>
//   kwtest_platform_regtool get <HKLM subkey> <name>       (prints the text)
//   kwtest_platform_regtool many <HKLM subkey> <prefix> <count>
//   kwtest_platform_regtool volatile <HKLM subkey>
//   kwtest_platform_regtool readonly <HKLM subkey> <name>   (prints what reads and
//       writes of that key give, for a registry that cannot be written)
#include "KwPlatform.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int Set(const char* path, const char* name, const char* text)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return 2;
    LSTATUS status = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                    static_cast<DWORD>(std::strlen(text) + 1));
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? 0 : 3;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) return 64;
    const std::string command = argv[1];
    if (command == "set" && argc == 5) return Set(argv[2], argv[3], argv[4]);
    if (command == "get" && argc == 4) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, argv[2], 0, KEY_READ, &key) != ERROR_SUCCESS) return 1;
        char buffer[1024];
        DWORD size = sizeof buffer, type = 0;
        LSTATUS status = RegQueryValueExA(key, argv[3], nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
        RegCloseKey(key);
        if (status != ERROR_SUCCESS || type != REG_SZ) return 1;
        std::printf("%s\n", buffer);
        return 0;
    }
    if (command == "many" && argc == 5) {
        const int count = std::atoi(argv[4]);
        for (int i = 0; i < count; ++i) {
            const std::string path = std::string(argv[2]) + "\\" + argv[3] + std::to_string(i);
            if (int rc = Set(path.c_str(), "Index", std::to_string(i).c_str())) return rc;
        }
        return 0;
    }
    if (command == "readonly" && argc == 4) {
        HKEY key = nullptr, other = nullptr;
        const BYTE text[] = "new";
        std::printf("open %ld\n", static_cast<long>(RegOpenKeyExA(HKEY_LOCAL_MACHINE, argv[2], 0, KEY_READ, &key)));
        char buffer[64] = {};
        DWORD size = sizeof buffer - 1;
        std::printf("get %ld %s\n",
                    static_cast<long>(RegQueryValueExA(key, argv[3], nullptr, nullptr, reinterpret_cast<BYTE*>(buffer),
                                                       &size)),
                    buffer);
        std::printf("set %ld\n", static_cast<long>(RegSetValueExA(key, argv[3], 0, REG_SZ, text, sizeof text)));
        std::printf("open for writing %ld\n",
                    static_cast<long>(RegOpenKeyExA(HKEY_LOCAL_MACHINE, argv[2], 0, KEY_WRITE, &other)));
        std::printf("create %ld %d\n",
                    static_cast<long>(RegCreateKeyExA(key, "New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &other,
                                                      nullptr)),
                    other == nullptr);
        std::printf("delete %ld\n", static_cast<long>(RegDeleteTreeA(HKEY_LOCAL_MACHINE, argv[2])));
        std::printf("batch %ld\n", static_cast<long>(KwRegistryBeginBatch()));
        // The process's own volatile keys are still made, and written.
        LSTATUS status = RegCreateKeyExA(key, "Session", 0, nullptr, REG_OPTION_VOLATILE, KEY_WRITE, nullptr, &other,
                                         nullptr);
        if (status == ERROR_SUCCESS) status = RegSetValueExA(other, argv[3], 0, REG_SZ, text, sizeof text);
        std::printf("volatile %ld\n", static_cast<long>(status));
        RegCloseKey(other);
        RegCloseKey(key);
        return 0;
    }
    if (command == "volatile" && argc == 3) {
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, argv[2], 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr) != ERROR_SUCCESS)
            return 2;
        RegCloseKey(key);
        return 0;
    }
    return 64;
}
