// The Save command after the front has chosen a file name: the palette check, then the
// two CPC files, each behind its AMSDOS header.
//
// Screen file (.scr), 16512 bytes:   0 AMSDOS header (128)   128 screen image (16384)
//   (an overscan picture's: 32768 bytes, see cpc/overscan_screen.h)
// Palette file (.pal), 367 bytes:    0 AMSDOS header (128)   128 palette block (239)
//
// The palette block (the layout of the OCP palette format):
//   0       0, or with PaletteModeByte::PictureMode the picture's mode (0, 1 or 2)
//   1       0xFF
//   2       0
//   3..194  16 slots of 12 bytes; slot s holds, 12 times, the gate-array code of the
//           filter colour of pen s mod pensPerMode (no substitution applied; an empty
//           pen gives the code of black)
//   195..206  12 times the code of black (0x54)
//   207..238  0
#pragma once

#include "cpc/amsdos_header.h"
#include "cpc/screen_encoding.h"
#include "main/expected.h"
#include "main/file_access.h"
#include "main/program_state.h"
#include "palette/palette_check.h"

#include <array>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace varnoke {

inline constexpr std::size_t kPaletteBlockSize = 239;
inline constexpr std::size_t kScreenFileSize = kAmsdosHeaderSize + kScreenImageSize;
inline constexpr std::size_t kPaletteFileSize = kAmsdosHeaderSize + kPaletteBlockSize;

// What the palette block's first byte holds. Zero, for every mode, is what the palette
// files have always held; readers of the OCP palette format take that byte for the
// screen mode, and show a mode 1 or 2 picture in its own mode only with PictureMode.
enum class PaletteModeByte { Zero, PictureMode };

void buildPaletteBlock(const ProgramState& state, std::span<Byte, kPaletteBlockSize> block,
                       PaletteModeByte modeByte = PaletteModeByte::Zero);

struct OutputFiles {
    // kScreenFileSize bytes, or an overscan file for an overscan picture.
    std::vector<Byte> screenFile = std::vector<Byte>(kScreenFileSize);
    std::array<Byte, kPaletteFileSize> paletteFile{};
};

// Builds both files in memory, logging "Saving ... ", the offsets of every row, and the
// two AMSDOS headers. Needs a decoded picture of the current mode. An overscan picture
// gets the overscan file, whatever the layout (it has a single form).
OutputFiles buildOutputFiles(const ProgramState& state, ScreenLayout layout, const Log& log,
                             PaletteModeByte modeByte = PaletteModeByte::Zero);

// The name both files are built from: the dialog's name without a final ".scr" (lower
// case only; any other ending stays part of the name).
std::string screenBaseName(const std::string& fileName);

// Where a save put the two files: paths of files, or names on a disc image.
struct SavedFiles {
    std::filesystem::path screenFile;
    std::filesystem::path paletteFile;
};

// Why the picture cannot be saved now, with its log lines: no picture of the current
// mode is loaded (FailureKind::NoPicture), or the palette check fails
// (FailureKind::PaletteRefused; firstPenOutsideMode tells which pen). Success when it
// can be saved.
Expected<void> checkBeforeSaving(const ProgramState& state, const Log& log);

// Writes the built files as base + ".scr" and base + ".pal" (base: the name without a
// final ".scr"), and the files `alongside` with them, all or none (see
// writeFilesAtomically). Logs "Saving Ok ... ", or "Nothing saved: " and the reason.
Expected<SavedFiles> writeOutputFiles(const OutputFiles& files, const std::string& fileName,
                                      std::span<const FileToWrite> alongside, const Log& log);

// Saves the picture as base + ".scr" and base + ".pal". Refuses (writing nothing) when no
// picture of the current mode is loaded or the palette check fails. Files are replaced
// only once both are completely written; on failure the log says which file and why.
Expected<SavedFiles> saveFiles(const ProgramState& state, ScreenLayout layout, const std::string& fileName,
                               const Log& log, PaletteModeByte modeByte = PaletteModeByte::Zero);

}  // namespace varnoke
