// Putting files on a CPC data-format disc image (.dsk), as AMSDOS would store them.
//
// The disc: 40 tracks, one side, 9 sectors of 512 bytes per track numbered &C1 to &C9,
// no reserved tracks. CP/M sees it as 180 blocks of 1 KB; block b is logical sectors
// 2b and 2b + 1 (track (2b) div 9, sector &C1 + (2b) mod 9). Blocks 0 and 1 hold the
// directory: 64 entries of 32 bytes.
//
// A directory entry (one per 16 KB extent of a file):
//   0      user number 0..15; 0xE5 marks a free entry
//   1..8   name, upper case, padded with blanks   (bit 7 of each byte: attributes)
//   9..11  extension, padded with blanks          (bit 7: read-only, system, archive)
//   12     EX: extent number, low 5 bits
//   13     S1: bytes used in the file's last record (0 = all 128), on the last extent
//   14     S2: extent number, high bits
//   15     RC: 128-byte records used in this extent (0x80 = all 128)
//   16..31 the extent's blocks, one byte each, 0 = none
//
// The disc image itself is read and written through libdsk; the directory and the
// placing of blocks are done here.
#pragma once

#include "cpc/save_command.h"
#include "main/expected.h"
#include "main/program_state.h"

#include <array>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace varnoke {

inline constexpr int kDiscTracks = 40;
inline constexpr int kDiscSectorsPerTrack = 9;
inline constexpr int kDiscSectorSize = 512;
inline constexpr int kDiscFirstSector = 0xC1;
inline constexpr int kDiscBlockSize = 1024;
inline constexpr int kDiscBlocks = kDiscTracks * kDiscSectorsPerTrack * kDiscSectorSize / kDiscBlockSize;  // 180
inline constexpr int kDirectoryBlocks = 2;
inline constexpr int kDirectoryEntries = 64;
inline constexpr int kDirectoryEntrySize = 32;
inline constexpr int kRecordSize = 128;
inline constexpr Byte kFreeEntry = 0xE5;

using DiscDirectory = std::array<Byte, kDirectoryBlocks * kDiscBlockSize>;
using DiscBlock = std::array<Byte, kDiscBlockSize>;

// A file to put on the disc, under an 8.3 name such as "SUNSET.SCR", in user 0. With
// `onlyBeside` set, a file of that name already on the disc is replaced only when the
// file named by `onlyBeside` is there too (a picture's loader replaces the loader of that
// picture, never a program of the user's that happens to have its name).
struct DiscFile {
    std::string name;
    std::span<const Byte> bytes;
    std::string onlyBeside = {};
};

// The 11 bytes of a directory name ("SUNSET  SCR") for an 8.3 name; refuses names with
// an empty or too long part, lower case, or characters that AMSDOS does not allow.
Expected<std::array<Byte, 11>> directoryName(std::string_view name);

// The 8.3 disc name of an output file: the file name of `outputName` without a final
// lower-case ".scr", up to its first dot, upper case, characters other than letters,
// digits, '-' and '_' turned into '_', cut to 8; then "." and `extension`.
// "pictures/sunset.scr" gives "SUNSET.SCR" and "SUNSET.PAL".
Expected<std::string> discNameOf(const std::string& outputName, std::string_view extension);

// The names ("SUNSET.SCR") of the files in user 0 of an existing CPC data disc image,
// each once. The image is only read.
Expected<std::vector<std::string>> filesOnDisc(const std::filesystem::path& disc);

// What putting the files on a disc changes: the new directory and the blocks to write.
struct DiscPlan {
    DiscDirectory directory{};
    std::vector<std::pair<int, DiscBlock>> blocks;  // block number and its contents
    std::vector<std::string> replaced;              // names of files that were already there
    int freeBlocks = 0;                             // free blocks afterwards
    int freeEntries = 0;                            // free directory entries afterwards
};

// Places the files in a directory: files of the same name in user 0 are removed first,
// then each file takes the lowest free entries and blocks. Refuses a directory that
// names a block outside the disc or holds an entry of unknown kind, and a disc or
// directory without room, saying how much is missing.
Expected<DiscPlan> planDiscFiles(const DiscDirectory& directory, std::span<const DiscFile> files);

// A disc image with the files put on it, in memory, and what putting them there changed.
struct DiscImageUpdate {
    std::vector<Byte> image;
    DiscPlan plan;
};

// Builds, in memory, the image that `disc` becomes once the files are on it (files of
// the same name replaced), or a formatted image holding only them when there is none.
// `disc` itself is not touched. Logs each step.
Expected<DiscImageUpdate> prepareDiscImage(const std::filesystem::path& disc, std::span<const DiscFile> files,
                                           const Log& log);

// Logs what an update that was written changed: the files replaced and put on the disc,
// and the room left.
void logDiscImageWritten(const DiscImageUpdate& update, std::span<const DiscFile> files, const Log& log);

// Adds the files to the disc image at `disc`, replacing files of the same name, or
// creates a formatted image holding only them when there is none. The image is replaced
// in one step (see writeFilesAtomically), so on failure it is left as it was. Logs each
// step.
Expected<void> addFilesToDiscImage(const std::filesystem::path& disc, std::span<const DiscFile> files, const Log& log);

// A picture's files under their disc names derived from `outputName`: "NAME.SCR" and
// "NAME.PAL" with the bytes of the output files, and "NAME.BAS", the BASIC loader that
// shows the picture on RUN"NAME (cpc/basic_loader.h), whose bytes it holds.
struct PictureDiscFiles {
    std::vector<Byte> loader;
    std::array<DiscFile, 3> files;

    PictureDiscFiles() = default;
    PictureDiscFiles(PictureDiscFiles&&) = default;  // the loader's bytes stay where `files` sees them
    PictureDiscFiles& operator=(PictureDiscFiles&&) = default;
    PictureDiscFiles(const PictureDiscFiles&) = delete;
    PictureDiscFiles& operator=(const PictureDiscFiles&) = delete;
};
Expected<PictureDiscFiles> outputDiscFiles(const OutputFiles& files, const std::string& outputName);

// Puts the picture's three files on the disc under the names derived from `outputName`
// ("NAME.SCR", "NAME.PAL" and the loader "NAME.BAS"), all or none.
Expected<void> writeOutputToDiscImage(const OutputFiles& files, const std::string& outputName,
                                      const std::filesystem::path& disc, const Log& log);

// The Save command aimed at a disc image: logs the disc's name, refuses as saveFiles does (no picture,
// palette check), then the files built and put on the disc with their loader. The outcome's screenFile
// and paletteFile hold the names on the disc.
Expected<SavedFiles> saveToDiscImage(const ProgramState& state, ScreenLayout layout, const std::string& outputName,
                                     const std::filesystem::path& disc, const Log& log,
                                     PaletteModeByte modeByte = PaletteModeByte::Zero);

}  // namespace varnoke
