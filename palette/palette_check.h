// The check before saving: every non-empty pen above the mode's pens must show a colour
// that one of the mode's pens shows, since the CPC has no other pens to show it with.
#pragma once

#include "main/program_state.h"

#include <optional>

namespace varnoke {

// True when one of the mode's pens (0 to pensPerMode - 1) shows `color`.
bool Color_dans_Palette(const ProgramState& state, Rgb color);

// The first surplus pen whose colour no pen of the mode shows.
struct PenOutsideMode {
    Byte pen;
    Byte filterColor;
};
std::optional<PenOutsideMode> firstPenOutsideMode(const ProgramState& state);

// True when the palette can be saved; otherwise logs the first pen that cannot be shown,
// as "<pen> n'est pas dans la palette - index: <filter colour>".
bool Palette_Ok(const ProgramState& state, const Log& log);

}  // namespace varnoke
