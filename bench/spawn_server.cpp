// varnoke-bench-spawn: starts programs for the process benchmarks and reports on them.
//
// The peak memory that wait4 reports for a child includes the memory of the process that
// started it (Linux records the old address space's peak when the child calls exec), so
// the benchmark program, with its own megabytes, cannot start the children itself. This
// small server, which uses nothing but the C library, starts them instead.
//
// Protocol, one request per line on standard input: the program and its arguments
// separated by tabs. Answer, one line on standard output:
//     <exit status> <peak resident KiB> <wall nanoseconds from spawn to reap>
// The child's standard output and error go to /dev/null. An exit status of -1 means the
// child could not be started or did not exit normally.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

extern char** environ;

namespace {

constexpr int kMaxArguments = 64;

long long nanosecondsNow() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

void run(char* line) {
    char* argv[kMaxArguments + 1] = {};
    int count = 0;
    for (char* field = strtok(line, "\t\n"); field != nullptr && count < kMaxArguments; field = strtok(nullptr, "\t\n"))
        argv[count++] = field;
    if (count == 0) {
        std::printf("-1 0 0\n");
        return;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const long long start = nanosecondsNow();
    pid_t pid = 0;
    const int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        std::printf("-1 0 0\n");
        return;
    }
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0) {
        if (errno != EINTR) {
            std::printf("-1 0 0\n");
            return;
        }
    }
    const long long elapsed = nanosecondsNow() - start;
    std::printf("%d %ld %lld\n", WIFEXITED(status) ? WEXITSTATUS(status) : -1, usage.ru_maxrss, elapsed);
}

}  // namespace

int main() {
    char line[8192];
    while (std::fgets(line, sizeof line, stdin) != nullptr) {
        run(line);
        std::fflush(stdout);
    }
    return 0;
}
