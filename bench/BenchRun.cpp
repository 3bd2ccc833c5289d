// Runs one command and prints its CPU time and peak memory as the kernel
// accounts them for that child alone: "user_us system_us maxrss_kib status".
// A launcher of its own keeps the caller's memory out of the child's peak
// (the peak is carried across fork and exec).
#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: kwbench_run COMMAND [ARGS...]\n");
        return 2;
    }
    pid_t pid = fork();
    if (pid < 0) return 2;
    if (pid == 0) {
        int null = open("/dev/null", O_WRONLY);
        if (null >= 0) dup2(null, STDOUT_FILENO);
        execvp(argv[1], argv + 1);
        _exit(127);
    }
    int status = 0;
    struct rusage usage;
    if (wait4(pid, &status, 0, &usage) != pid) return 2;
    const long long user = usage.ru_utime.tv_sec * 1000000LL + usage.ru_utime.tv_usec;
    const long long kernel = usage.ru_stime.tv_sec * 1000000LL + usage.ru_stime.tv_usec;
    std::printf("%lld %lld %ld %d\n", user, kernel, usage.ru_maxrss, WIFEXITED(status) ? WEXITSTATUS(status) : 128);
    return 0;
}
