// The Open command's chain, after the front has chosen a file: log the file name, check
// the header, decode the picture and build its palette. The picture is installed in the
// program state only when every step succeeds; a rejected file leaves the state exactly
// as it was (the previous picture, its mode and its palette).
//
// Drawing the picture is the front's business: the window calls drawPicture afterwards.
#pragma once

#include "main/expected.h"
#include "main/program_state.h"

#include <filesystem>
#include <span>
#include <string>

namespace varnoke {

// The largest file the Open command reads: far more than any accepted picture needs.
inline constexpr std::size_t kMaximumPictureFileSize = 16u * 1024 * 1024;

// Runs the chain on the bytes of a file. `fileName` is logged as the dialog gives it. A
// rejected file gives the reason, as one English sentence: FailureKind::WrongFormat when
// the header is not one that Open takes, Malformed when the picture data is broken.
Expected<void> openPicture(ProgramState& state, const std::string& fileName, std::span<const Byte> file,
                           const Log& log);

// Reads the file at `path` and runs the chain on it; a file that cannot be read is
// rejected with the system's reason (FailureKind::CannotRead).
Expected<void> openPictureFile(ProgramState& state, const std::filesystem::path& path, const std::string& fileName,
                               const Log& log);

// True when the Open command would accept these bytes: a PCX picture it decodes whole.
// Nothing is logged.
bool isOpenablePcx(std::span<const Byte> file);

}  // namespace varnoke
