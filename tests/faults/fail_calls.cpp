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
#include <string_view>

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

int errorNamed(std::string_view name) {
    if (name == "EPERM") return EPERM;
    if (name == "ENOSPC") return ENOSPC;
    return EIO;
}

// "call:occurrence[:error]"
Rule parseRule(std::string_view text) {
    Rule rule;
    const std::size_t colon = text.find(':');
    const std::string_view call = text.substr(0, colon);
    for (int c = 0; c < kCallCount; ++c)
        if (call == kCallNames[c]) rule.call = c;
    if (colon == std::string_view::npos) return rule;
    const std::string_view rest = text.substr(colon + 1);
    const std::size_t second = rest.find(':');
    const std::string_view which = rest.substr(0, second);
    rule.occurrence = 0;
    for (const char c : which)
        if (c >= '0' && c <= '9') rule.occurrence = rule.occurrence * 10 + (c - '0');
    if (second != std::string_view::npos) rule.error = errorNamed(rest.substr(second + 1));
    return rule;
}

void readRules() {
    static bool done = false;
    if (done) return;
    done = true;
    const char* spec = std::getenv("VARNOKE_FAIL");
    std::string_view rest = spec == nullptr ? "" : spec;
    while (!rest.empty() && ruleCount < kMaxRules) {
        const std::size_t comma = rest.find(',');
        rules[ruleCount++] = parseRule(rest.substr(0, comma));
        rest = comma == std::string_view::npos ? "" : rest.substr(comma + 1);
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

// The error that this call is to fail with, or 0.
int injected(int call) {
    readRules();
    const int occurrence = ++calls[call];
    for (int r = 0; r < ruleCount; ++r) {
        if (rules[r].call == call && (rules[r].occurrence == 0 || rules[r].occurrence == occurrence)) {
            mark(call, occurrence);
            return rules[r].error;
        }
    }
    return 0;
}

mode_t modeArgument(int flags, va_list arguments) {
    return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(arguments, mode_t) : 0;
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeArgument(flags, arguments);
    va_end(arguments);
    if (const int error = injected(kOpen)) {
        errno = error;
        return -1;
    }
    return real<int (*)(const char*, int, ...)>("open")(path, flags, mode);
}

ssize_t write(int fd, const void* bytes, size_t count) {
    if (const int error = injected(kWrite)) {
        errno = error;
        return -1;
    }
    return real<ssize_t (*)(int, const void*, size_t)>("write")(fd, bytes, count);
}

int fsync(int fd) {
    if (const int error = injected(kFsync)) {
        errno = error;
        return -1;
    }
    return real<int (*)(int)>("fsync")(fd);
}

int link(const char* from, const char* to) {
    if (const int error = injected(kLink)) {
        errno = error;
        return -1;
    }
    return real<int (*)(const char*, const char*)>("link")(from, to);
}

int rename(const char* from, const char* to) {
    if (const int error = injected(kRename)) {
        errno = error;
        return -1;
    }
    return real<int (*)(const char*, const char*)>("rename")(from, to);
}

}  // extern "C"
