#include "KwHelperProcess.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern char** environ;

KwHelperResult KwRunProcess(const std::string& program, const std::vector<std::string>& arguments,
                            const std::string& registryFile)
{
    KwHelperResult result;
    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) {
        if (std::strncmp(*e, "KWPLATFORM_REGISTRY=", 20) != 0) environment.emplace_back(*e);
    }
    environment.push_back("KWPLATFORM_REGISTRY=" + registryFile);
    std::vector<char*> envp;
    for (std::string& e : environment) envp.push_back(&e[0]);
    envp.push_back(nullptr);
    std::vector<std::string> args{program};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);

    int pipeFds[2];
    if (pipe(pipeFds) != 0) return result;
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0) {
        close(pipeFds[0]);
        close(pipeFds[1]);
        return result;
    }
    if (pid == 0) {
        dup2(pipeFds[1], 1);
        close(pipeFds[0]);
        close(pipeFds[1]);
        execve(program.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    close(pipeFds[1]);
    char buffer[4096];
    for (;;) {
        ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
        if (n > 0) {
            result.output.append(buffer, static_cast<size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    close(pipeFds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

KwHelperResult KwRunHelper(const std::vector<std::string>& arguments, const std::string& registryFile)
{
    return KwRunProcess(KW_MODULE_HELPER, arguments, registryFile);
}

std::string KwFreshRegistryFile(const std::string& name)
{
    std::string path = std::string(KW_TEST_BINARY_DIR) + "/test-registry-module-" + name + "-" +
                       std::to_string(getpid()) + ".reg";
    std::remove(path.c_str());
    return path;
}

void KwRemoveRegistryFile(const std::string& path)
{
    std::remove(path.c_str());
    std::remove((path + ".lock").c_str());
}
