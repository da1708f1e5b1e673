#include "main/file_access.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <set>
#include <string_view>

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

Failure writeFailure(const std::string& what, int error) {
    return Failure{what + ": " + systemReason(error), FailureKind::CannotWrite};
}

// A dot and six characters that make a new name unlikely to be taken already. Seeded
// without reading a device, so that making a name touches no file.
std::string randomSuffix() {
    static constexpr std::string_view kCharacters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937_64 generator(
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
        static_cast<std::uint64_t>(::getpid()) << 32);
    std::uniform_int_distribution<std::size_t> pick(0, kCharacters.size() - 1);
    std::string suffix = ".";
    for (int i = 0; i < 6; ++i) suffix += kCharacters[pick(generator)];
    return suffix;
}

// Opens a new file beside `target` under a name that no file has, with mode 0666 from
// which the kernel takes the umask. Returns the descriptor, or -1 with errno set.
int openNewFileBeside(const std::filesystem::path& target, std::filesystem::path& created) {
    constexpr int kAttempts = 100;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        created = target.string() + randomSuffix();
        const int fd = ::open(created.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// Writes all bytes; returns 0 or the error.
int writeAll(int fd, std::span<const Byte> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put < 0) return errno;
        if (put == 0) return EIO;
        done += static_cast<std::size_t>(put);
    }
    return 0;
}

// A target that exists but is not a plain file (a folder, a device, a link) cannot be
// replaced, and two outputs cannot go to the same file: say so before anything is written.
Expected<void> checkTargets(std::span<const FileToWrite> files) {
    std::set<std::filesystem::path> targets;
    for (const FileToWrite& file : files) {
        struct stat info {};
        if (::lstat(file.path.c_str(), &info) == 0 && !S_ISREG(info.st_mode))
            return Failure{"cannot replace " + file.path.string() + ": it is not a regular file",
                           FailureKind::CannotWrite};
        std::error_code error;
        std::filesystem::path same = std::filesystem::weakly_canonical(file.path, error);
        if (error) same = file.path.lexically_normal();
        if (!targets.insert(same).second)
            return Failure{"two of the files to write are both " + file.path.string(), FailureKind::CannotWrite};
    }
    return {};
}

// The new content of one target in a temporary file beside it, flushed to the disc.
Expected<TemporaryFile> writeTemporaryFile(const FileToWrite& file) {
    const std::string target = file.path.string();
    std::filesystem::path name;
    Descriptor out(openNewFileBeside(file.path, name));
    if (out.get() < 0) return writeFailure("cannot create " + target, errno);
    TemporaryFile temporary(name);
    if (const int error = writeAll(out.get(), file.bytes); error != 0)
        return writeFailure("cannot write " + target, error);
    struct stat replaced {};
    if (file.permissions == Permissions::OfReplacedFile && ::stat(file.path.c_str(), &replaced) == 0)
        ::fchmod(out.get(), replaced.st_mode & 07777);
    if (::fsync(out.get()) != 0) return writeFailure("cannot write " + target + " to the disc", errno);
    if (out.closeNow() != 0) return writeFailure("cannot write " + target, errno);
    return temporary;
}

// The earlier content of a target, kept while it is replaced: under a second name, or
// where the file system has no hard links (FAT, exFAT, some network shares) in a copy.
// An empty path when there is no target yet.
Expected<TemporaryFile> keepEarlierContent(const std::filesystem::path& target) {
    struct stat info {};
    if (::lstat(target.c_str(), &info) != 0) return TemporaryFile(std::filesystem::path());
    constexpr int kAttempts = 100;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const std::filesystem::path second = target.string() + randomSuffix();
        if (::link(target.c_str(), second.c_str()) == 0) return TemporaryFile(second);
        if (errno != EEXIST) break;
    }
    Expected<std::vector<Byte>> bytes = readWholeFile(target, std::numeric_limits<std::size_t>::max());
    if (!bytes)
        return Failure{"cannot keep the earlier " + target.string() + " while it is replaced: " + bytes.reason(),
                       FailureKind::CannotWrite};
    return writeTemporaryFile({target, bytes.value(), Permissions::OfReplacedFile});
}

// Flushes the folders of the files, so that their new names survive a power cut. A file
// system that cannot flush a folder says EINVAL; there is nothing more to do there.
Expected<void> syncFolders(std::span<const FileToWrite> files) {
    std::set<std::filesystem::path> folders;
    for (const FileToWrite& file : files)
        folders.insert(file.path.has_parent_path() ? file.path.parent_path() : std::filesystem::path("."));
    for (const std::filesystem::path& folder : folders) {
        Descriptor directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (directory.get() < 0 || (::fsync(directory.get()) != 0 && errno != EINVAL))
            return writeFailure("cannot write the folder " + folder.string() + " to the disc", errno);
    }
    return {};
}

// After a failure, every target in `replaced` gets its earlier content back, or goes
// away when it did not exist before. A target that cannot be put back is named in the
// reason, with the name its earlier content is kept under.
Failure putBack(std::span<const FileToWrite> replaced, std::vector<TemporaryFile>& earlier, Failure failure) {
    for (std::size_t i = 0; i < replaced.size(); ++i) {
        const std::filesystem::path& target = replaced[i].path;
        if (earlier[i].path().empty()) {
            ::unlink(target.c_str());
        } else if (::rename(earlier[i].path().c_str(), target.c_str()) == 0) {
            earlier[i].release();
        } else {
            failure.reason += "; the earlier " + target.string() + " could not be put back and is kept as " +
                              earlier[i].path().string();
            earlier[i].release();
        }
    }
    (void)syncFolders(replaced);
    return failure;
}

// Renames each temporary file over its target, then flushes the folders; on failure the
// targets already replaced are put back.
Expected<void> replaceTargets(std::span<const FileToWrite> files, std::vector<TemporaryFile>& temporaries,
                              std::vector<TemporaryFile>& earlier) {
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (::rename(temporaries[i].path().c_str(), files[i].path.c_str()) != 0)
            return putBack(files.first(i), earlier, writeFailure("cannot replace " + files[i].path.string(), errno));
        temporaries[i].release();
    }
    if (Expected<void> synced = syncFolders(files); !synced) return putBack(files, earlier, synced.failure());
    return {};
}

}  // namespace

Expected<std::vector<Byte>> readWholeFile(const std::filesystem::path& path, std::size_t maxSize) {
    const std::string name = path.string();
    // Non-blocking, so that a named pipe without a writer is refused below instead of
    // holding the program; reads of a regular file are not affected.
    Descriptor file(::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0) return Failure{"cannot open " + name + ": " + systemReason(errno), FailureKind::CannotRead};
    struct stat info {};
    if (::fstat(file.get(), &info) != 0)
        return Failure{"cannot read " + name + ": " + systemReason(errno), FailureKind::CannotRead};
    if (S_ISDIR(info.st_mode))
        return Failure{"cannot read " + name + ": it is a folder, not a file", FailureKind::CannotRead};
    if (!S_ISREG(info.st_mode))
        return Failure{"cannot read " + name + ": it is not a regular file", FailureKind::CannotRead};
    const auto size = static_cast<std::size_t>(info.st_size);
    if (size > maxSize)
        return Failure{"cannot read " + name + ": " + std::to_string(size) + " bytes is larger than any picture (" +
                           std::to_string(maxSize) + " bytes at most)",
                       FailureKind::CannotRead};
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

TemporaryFile& TemporaryFile::operator=(TemporaryFile&& other) noexcept {
    if (this != &other) {
        if (!path_.empty()) ::unlink(path_.c_str());
        path_ = std::move(other.path_);
        other.path_.clear();
    }
    return *this;
}

TemporaryFile::~TemporaryFile() {
    if (!path_.empty()) ::unlink(path_.c_str());
}

Expected<TemporaryFile> createTemporaryFileBeside(const std::filesystem::path& target) {
    std::filesystem::path name;
    Descriptor file(openNewFileBeside(target, name));
    if (file.get() < 0) return writeFailure("cannot create a file beside " + target.string(), errno);
    return TemporaryFile(name);
}

Expected<void> writeFilesAtomically(std::span<const FileToWrite> files) {
    if (Expected<void> targets = checkTargets(files); !targets) return targets;
    std::vector<TemporaryFile> temporaries;
    for (const FileToWrite& file : files) {
        Expected<TemporaryFile> written = writeTemporaryFile(file);
        if (!written) return written.failure();
        temporaries.push_back(std::move(written.value()));
    }
    std::vector<TemporaryFile> earlier;
    for (const FileToWrite& file : files) {
        Expected<TemporaryFile> kept = keepEarlierContent(file.path);
        if (!kept) return kept.failure();
        earlier.push_back(std::move(kept.value()));
    }
    return replaceTargets(files, temporaries, earlier);
}

}  // namespace varnoke
