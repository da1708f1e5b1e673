// The user's edits of the colour mapping: moving a threshold bar, picking a pen, and
// giving the filter colour of the picked pen another CPC colour. Each edit that changes
// colours rebuilds the palette; the front then redraws the picture.
#pragma once

#include "main/program_state.h"

namespace varnoke {

// The user picked the Ink box of `pen` (0..26). Nothing is logged or rebuilt.
void selectPen(ProgramState& state, Byte pen);

// The user picked CPC colour `cpcColor` (0..26) for the selected pen: its filter colour
// is shown and saved as that colour from now on, and the palette is rebuilt. When the
// selected pen holds no colour nothing changes and one line says so. Returns true when
// the palette was rebuilt (the picture must be redrawn).
bool substituteColor(ProgramState& state, Byte cpcColor, const Log& log);

// The Low bar moved to `position`: when it meets the High bar, High is pushed one step
// up (it stays within 0..62). The palette is rebuilt.
void moveLowThreshold(ProgramState& state, int position, const Log& log);

// The High bar moved to `position`: when it meets the Low bar, Low is pushed one step
// down (it stays within 0..62). The palette is rebuilt.
void moveHighThreshold(ProgramState& state, int position, const Log& log);

// Every filter colour shows as itself again (substitutions last across pictures until
// this is done). Logs one line, then the palette is rebuilt.
void resetSubstitutions(ProgramState& state, const Log& log);

}  // namespace varnoke
