// The thin layer that touches files. Everything else works on byte spans.
#pragma once

#include "main/expected.h"
#include "main/program_state.h"

#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace varnoke {

// Reads a whole file. Refuses directories, unreadable files and files larger than
// `maxSize` with the reason why.
Expected<std::vector<Byte>> readWholeFile(const std::filesystem::path& path, std::size_t maxSize);

// The permissions a written file gets: those of any new file (0666 less the umask), or
// those of the file it replaces.
enum class Permissions { OfNewFile, OfReplacedFile };

struct FileToWrite {
    std::filesystem::path path;
    std::span<const Byte> bytes;
    Permissions permissions = Permissions::OfNewFile;
};

// Puts every file in place, or none. Each file is written to a new temporary file beside
// its target and flushed to the disc; then each is renamed over its target, and the
// folders are flushed. The earlier content of each target is kept meanwhile (under a
// second name, or where the file system has no hard links in a copy), so that when any
// step fails every target that was already replaced gets its earlier content back. No
// temporary file is left behind. The reason names the file and the system's error.
Expected<void> writeFilesAtomically(std::span<const FileToWrite> files);

// A file that is removed when this goes out of scope, unless it was released.
class TemporaryFile {
public:
    explicit TemporaryFile(std::filesystem::path path) : path_(std::move(path)) {}
    TemporaryFile(TemporaryFile&& other) noexcept : path_(std::move(other.path_)) { other.path_.clear(); }
    TemporaryFile& operator=(TemporaryFile&& other) noexcept;
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile();
    const std::filesystem::path& path() const { return path_; }
    // Keeps the file: it has been renamed, or it must outlive this object.
    void release() { path_.clear(); }

private:
    std::filesystem::path path_;
};

// Creates a new empty file with a name of its own beside `target` (its name followed by
// a dot and six random characters), with the permissions of any new file.
Expected<TemporaryFile> createTemporaryFileBeside(const std::filesystem::path& target);

}  // namespace varnoke
