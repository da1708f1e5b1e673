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

struct FileToWrite {
    std::filesystem::path path;
    std::span<const Byte> bytes;
};

// Writes every file completely, each first to a temporary file in the target's folder,
// then renames them over their targets. When anything fails, no target is touched
// (temporary files are removed) and the reason names the file and the system's error.
Expected<void> writeFilesAtomically(std::span<const FileToWrite> files);

}  // namespace varnoke
