// Palette building: each of the picture's 256 palette entries gets a filter colour by
// cutting its components at the two thresholds; the pixel counts are tallied per filter
// colour, ordered, and laid into the 27 pens, the most used colour in pen 0.
#pragma once

#include "main/program_state.h"

#include <cstdint>
#include <span>

namespace varnoke {

// One record of the tally: a filter colour and the pixels that fall on it.
struct occ_color_cpc {
    Byte color = 0;
    std::uint32_t count = 0;
};

// The level (0, 1, 2) of a 6-bit component value: 2 above `high`, else 1 above `low`.
constexpr int componentLevel(int value, int low, int high) { return value > high ? 2 : value > low ? 1 : 0; }

// The filter colour of a palette entry (R, G, B bytes) at the given thresholds.
Byte filterColorOf(Byte red, Byte green, Byte blue, int low, int high);

// Orders the tally by ascending count with the exact procedure whose tie order decides
// which pen a colour gets (median-of-three partitioning down to 16 records, then
// insertion). Records of equal count are not kept in their original order.
void sortTally(std::span<occ_color_cpc> tally);

// Rebuilds cpcColorOfIndex and all 27 pens from the palette, the pixel counts, the
// thresholds and the colour substitutions. Logs "- Building Palette ...".
void buildPalette(ProgramState& state, const Log& log);

}  // namespace varnoke
