// Pictures for the benchmarks, made in memory: whole PCX files of a given mode whose
// bodies are either all single pixels (nothing to expand) or all 63-pixel runs.
#pragma once

#include "main/program_state.h"

#include <filesystem>
#include <vector>

namespace varnoke::bench {

enum class BodyKind {
    // Every body byte is one pixel (values 0 to 191, never a run): the body is as
    // long as the picture, the decoder's heaviest case.
    Incompressible,
    // Every pair of body bytes is a run of 63 pixels: about 1/31 of the picture's size.
    LongRuns,
};

enum class PaletteKind {
    // 256 different colours spread over all 27 filter colours.
    Rich,
    // Even indexes black, odd indexes white: two filter colours, savable in any mode.
    TwoColours,
};

// A complete PCX file of 200 lines for `cpcMode` (0, 1 or 2).
std::vector<Byte> makePcxFile(Byte cpcMode, BodyKind body, PaletteKind palette);

// The state right after the Open command on that file (decoded, palette built).
ProgramState openedState(Byte cpcMode, BodyKind body, PaletteKind palette);

void writeFile(const std::filesystem::path& path, const std::vector<Byte>& bytes);

}  // namespace varnoke::bench
