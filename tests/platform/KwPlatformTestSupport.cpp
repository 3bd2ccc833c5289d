#include "KwPlatformTestSupport.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

int StartRegTool(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    std::string tool = KW_PLATFORM_REGTOOL;
    argv.push_back(&tool[0]);
    std::vector<std::string> copy = args;
    for (std::string& a : copy) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        execv(tool.c_str(), argv.data());
        _exit(127);
    }
    return pid;
}

int WaitProcess(int pid)
{
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int PollProcess(int pid)
{
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 255;
}

int RunRegTool(const std::vector<std::string>& args, std::string* out, const std::string& prefix)
{
    std::string command = prefix + " '" + KW_PLATFORM_REGTOOL + "'";
    for (const std::string& a : args) command += " '" + a + "'";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return -1;
    std::string text;
    char buffer[256];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
    const int status = pclose(pipe);
    if (out) {
        while (!text.empty() && text.back() == '\n') text.pop_back();
        *out = text;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

LSTATUS SetString(HKEY root, const std::string& path, const char* name, const std::string& value)
{
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) return status;
    status = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
    return status;
}

bool GetString(HKEY root, const std::string& path, const char* name, std::string& value)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    DWORD type = 0, size = 0;
    bool ok = RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS && type == REG_SZ;
    std::vector<char> buffer(size + 1, 0);
    if (ok) ok = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) ==
                 ERROR_SUCCESS;
    RegCloseKey(key);
    if (ok) value.assign(buffer.data());
    return ok;
}

bool KeyExists(HKEY root, const std::string& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}
