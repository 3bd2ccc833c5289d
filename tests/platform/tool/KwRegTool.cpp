// A second process for the registry tests: writes and reads the registry file
// named by KWPLATFORM_REGISTRY.
//   kwtest_platform_regtool set <HKLM subkey> <name> <text>
//   kwtest_platform_regtool get <HKLM subkey> <name>       (prints the text)
//   kwtest_platform_regtool many <HKLM subkey> <prefix> <count>
//   kwtest_platform_regtool volatile <HKLM subkey>
#include "KwPlatform.h"

#include <cstdio>
#include <cstdlib>
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
