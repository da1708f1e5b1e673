// A shared library put in front of the C library with LD_PRELOAD, so that a test can make
// system calls fail on demand under the real program. VARNOKE_FAIL lists the failures,
// separated by commas:
//   rename:2        the 2nd call to rename fails with EIO
//   link:*:EPERM    every call to link fails with EPERM (a file system without hard links)
// The calls: open, write, fsync, link, rename; the errors: EIO, EPERM, ENOSPC. When
// VARNOKE_FAIL_MARK names a file, each failure made is added to it as one line, so that
// the test knows that the failure happened.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

enum Call { kOpen, kWrite, kFsync, kLink, kRename, kCallCount };
constexpr const char* kCallNames[kCallCount] = {"open", "write", "fsync", "link", "rename"};

struct Rule {
    int call = -1;
    int occurrence = 0;  // 0: every call
    int error = EIO;
};

constexpr int kMaxRules = 8;
Rule rules[kMaxRules];
int ruleCount = 0;
int calls[kCallCount] = {};

template <typename Function>
Function real(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

// "call:occurrence[:error]", up to the next comma; an occurrence of * means every call.
Rule parseRule(const char* text) {
    Rule rule;
    char call[16] = "", which[16] = "", error[16] = "";
    std::sscanf(text, "%15[^:,]:%15[^:,]:%15[^:,]", call, which, error);
    for (int c = 0; c < kCallCount; ++c)
        if (std::strcmp(call, kCallNames[c]) == 0) rule.call = c;
    rule.occurrence = std::atoi(which);
    rule.error = std::strcmp(error, "EPERM") == 0 ? EPERM : std::strcmp(error, "ENOSPC") == 0 ? ENOSPC : EIO;
    return rule;
}

void readRules() {
    static bool done = false;
    if (done) return;
    done = true;
    const char* list = std::getenv("VARNOKE_FAIL");
    for (const char* rest = list == nullptr ? "" : list; *rest != '\0' && ruleCount < kMaxRules;) {
        rules[ruleCount++] = parseRule(rest);
        rest += std::strcspn(rest, ",");
        rest += *rest == ',' ? 1 : 0;
    }
}

void mark(int call, int occurrence) {
    const char* path = std::getenv("VARNOKE_FAIL_MARK");
    if (path == nullptr) return;
    const int fd = real<int (*)(const char*, int, ...)>("open")(path, O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd < 0) return;
    char line[64];
    const int length = std::snprintf(line, sizeof line, "%s:%d\n", kCallNames[call], occurrence);
    real<ssize_t (*)(int, const void*, size_t)>("write")(fd, line, static_cast<size_t>(length));
    ::close(fd);
}

// Whether this call is to fail; if so, errno is set to the error.
bool failed(int call) {
    readRules();
    const int occurrence = ++calls[call];
    for (int r = 0; r < ruleCount; ++r)
        if (rules[r].call == call && (rules[r].occurrence == 0 || rules[r].occurrence == occurrence)) {
            mark(call, occurrence);
            errno = rules[r].error;
            return true;
        }
    return false;
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(arguments, mode_t) : 0;
    va_end(arguments);
    return failed(kOpen) ? -1 : real<int (*)(const char*, int, ...)>("open")(path, flags, mode);
}
ssize_t write(int fd, const void* bytes, size_t count) {
    return failed(kWrite) ? -1 : real<ssize_t (*)(int, const void*, size_t)>("write")(fd, bytes, count);
}
int fsync(int fd) { return failed(kFsync) ? -1 : real<int (*)(int)>("fsync")(fd); }
int link(const char* from, const char* to) {
    return failed(kLink) ? -1 : real<int (*)(const char*, const char*)>("link")(from, to);
}
int rename(const char* from, const char* to) {
    return failed(kRename) ? -1 : real<int (*)(const char*, const char*)>("rename")(from, to);
}

}  // extern "C"
