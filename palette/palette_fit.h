// Fitting the palette automatically: every surplus pen whose colour no pen of the mode
// shows is given the colour of the nearest pen of the mode, the edit a user would make
// by hand pen after pen, so that the palette check passes.
//
// Nearness is measured between the levels (0 to 2) of the two CPC colours, weighted as
// the eye weighs the components:
//     59 × (green difference)² + 30 × (red difference)² + 11 × (blue difference)²
// and equal distances go to the lower pen number.
#pragma once

#include "main/program_state.h"

#include <vector>

namespace varnoke {

// Weighted distance between two CPC colours (0..26): 0 for the same colour, at most
// 4 × (59 + 30 + 11) = 400.
int cpcColorDistance(Byte a, Byte b);

// One surplus pen given the colour of a pen of the mode.
struct PenFit {
    Byte pen;            // the surplus pen
    Byte filterColor;    // its filter colour, whose substitution changed
    Byte previousColor;  // the CPC colour it showed before
    Byte cpcColor;       // the CPC colour it shows now
    Byte modePen;        // the pen of the mode that shows that colour
};

// What fitting would change, without changing anything: for each non-empty surplus pen
// (pen number at least pensPerMode) whose shown colour no pen of the mode shows, the
// nearest pen of the mode by shown colour. In ascending pen order.
std::vector<PenFit> planPaletteFit(const ProgramState& state);

// Applies planPaletteFit: sets colorSubstitution of each such pen's filter colour to the
// chosen colour, logs one line per pen, and rebuilds the palette when anything changed
// (the front then redraws the picture). Returns the fits made; none when every surplus
// pen already shows a colour of the mode, which is logged as one line.
std::vector<PenFit> fitPalette(ProgramState& state, const Log& log);

}  // namespace varnoke
