#include "main/file_access.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace varnoke {
namespace {

std::string systemReason(int error) { return std::strerror(error); }

// An open file descriptor that closes itself.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    // Closes now and reports the error of close(), which may be the first sign of a
    // failed write.
    int closeNow() {
        const int result = ::close(fd_);
        fd_ = -1;
        return result;
    }

private:
    int fd_;
};

}  // namespace

Expected<std::vector<Byte>> readWholeFile(const std::filesystem::path& path, std::size_t maxSize) {
    const std::string name = path.string();
    // Non-blocking, so that a named pipe without a writer is refused below instead of
    // holding the program; reads of a regular file are not affected.
    Descriptor file(::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0) return Failure{"cannot open " + name + ": " + systemReason(errno), FailureKind::CannotRead};
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) return Failure{"cannot read " + name + ": " + systemReason(errno), FailureKind::CannotRead};
    if (S_ISDIR(info.st_mode)) return Failure{"cannot read " + name + ": it is a folder, not a file", FailureKind::CannotRead};
    if (!S_ISREG(info.st_mode)) return Failure{"cannot read " + name + ": it is not a regular file", FailureKind::CannotRead};
    const auto size = static_cast<std::size_t>(info.st_size);
    if (size > maxSize)
        return Failure{"cannot read " + name + ": " + std::to_string(size) + " bytes is larger than any picture (" +
                       std::to_string(maxSize) + " bytes at most)", FailureKind::CannotRead};
    std::vector<Byte> bytes(size);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::read(file.get(), bytes.data() + done, size - done);
        if (got < 0) {
            if (errno == EINTR) continue;
            return Failure{"cannot read " + name + ": " + systemReason(errno), FailureKind::CannotRead};
        }
        if (got == 0) break;  // the file shrank while we read it
        done += static_cast<std::size_t>(got);
    }
    bytes.resize(done);
    return bytes;
}

Expected<void> writeFilesAtomically(std::span<const FileToWrite> files) {
    // A target that exists but is not a plain file (a folder, a device) cannot be
    // replaced: say so before anything is written.
    for (const FileToWrite& file : files) {
        struct stat info {};
        if (::lstat(file.path.c_str(), &info) == 0 && !S_ISREG(info.st_mode))
            return Failure{"cannot replace " + file.path.string() + ": it is not a regular file", FailureKind::CannotWrite};
    }

    std::vector<std::string> temporaries;
    auto removeAll = [](const std::vector<std::string>& names) {
        for (const std::string& name : names) ::unlink(name.c_str());
    };
    for (const FileToWrite& file : files) {
        const std::string target = file.path.string();
        std::string pattern = target + ".XXXXXX";
        const int fd = ::mkstemp(pattern.data());
        if (fd < 0) {
            const int error = errno;
            removeAll(temporaries);
            return Failure{"cannot create " + target + ": " + systemReason(error), FailureKind::CannotWrite};
        }
        temporaries.push_back(pattern);
        Descriptor out(fd);
        std::size_t done = 0;
        while (done < file.bytes.size()) {
            const ssize_t put = ::write(out.get(), file.bytes.data() + done, file.bytes.size() - done);
            if (put < 0) {
                if (errno == EINTR) continue;
                const int error = errno;
                removeAll(temporaries);
                return Failure{"cannot write " + target + ": " + systemReason(error), FailureKind::CannotWrite};
            }
            done += static_cast<std::size_t>(put);
        }
        // Keep the permissions a newly created file would get, not mkstemp's 0600.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(out.get(), static_cast<mode_t>(0666 & ~mask));
        if (out.closeNow() != 0) {
            const int error = errno;
            removeAll(temporaries);
            return Failure{"cannot write " + target + ": " + systemReason(error), FailureKind::CannotWrite};
        }
    }

    // Keep a second name for every file about to be replaced, so that a failed rename
    // can put back the files already replaced.
    std::vector<std::string> backups(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string target = files[i].path.string();
        std::string backup = temporaries[i] + ".old";
        if (::link(target.c_str(), backup.c_str()) == 0) backups[i] = std::move(backup);
    }
    auto dropBackups = [&] {
        for (const std::string& backup : backups)
            if (!backup.empty()) ::unlink(backup.c_str());
    };
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (::rename(temporaries[i].c_str(), files[i].path.c_str()) != 0) {
            const int error = errno;
            for (std::size_t j = 0; j < i; ++j) {
                if (!backups[j].empty()) {
                    if (::rename(backups[j].c_str(), files[j].path.c_str()) == 0) backups[j].clear();
                } else {
                    ::unlink(files[j].path.c_str());
                }
            }
            removeAll(std::vector<std::string>(temporaries.begin() + static_cast<std::ptrdiff_t>(i), temporaries.end()));
            dropBackups();
            return Failure{"cannot replace " + files[i].path.string() + ": " + systemReason(error), FailureKind::CannotWrite};
        }
    }
    dropBackups();
    return {};
}

}  // namespace varnoke
