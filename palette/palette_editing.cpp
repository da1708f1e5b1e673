#include "palette/palette_editing.h"

#include "palette/palette_building.h"

#include <algorithm>

namespace varnoke {
namespace {

int clampThreshold(int position) { return std::clamp(position, kThresholdMin, kThresholdMax); }

}  // namespace

void selectPen(ProgramState& state, Byte pen) {
    if (pen < kPenCount) state.selectedPen = pen;
}

bool substituteColor(ProgramState& state, Byte cpcColor, const Log& log) {
    if (cpcColor >= kCpcColorCount) return false;
    const Byte pen = state.selectedPen;
    const Byte filter = state.inkBoxes[pen].filterColor;
    if (filter == kEmptyPen) {
        log.DEBUG("Pen " + std::to_string(pen) +
                  " holds no colour: pick a pen that shows a colour first; nothing was changed");
        return false;
    }
    log.DEBUG("Color selected : ", pen);
    log.DEBUG("filtre : ", filter);
    log.DEBUG("hard : ", cpcColor);
    state.colorSubstitution[filter] = cpcColor;
    buildPalette(state, log);
    return true;
}

void moveLowThreshold(ProgramState& state, int position, const Log& log) {
    state.thresholdLow = clampThreshold(position);
    if (state.thresholdHigh == state.thresholdLow) state.thresholdHigh = clampThreshold(state.thresholdHigh + 1);
    buildPalette(state, log);
}

void moveHighThreshold(ProgramState& state, int position, const Log& log) {
    state.thresholdHigh = clampThreshold(position);
    if (state.thresholdLow == state.thresholdHigh) state.thresholdLow = clampThreshold(state.thresholdLow - 1);
    buildPalette(state, log);
}

void resetSubstitutions(ProgramState& state, const Log& log) {
    for (std::size_t n = 0; n < state.colorSubstitution.size(); ++n) state.colorSubstitution[n] = static_cast<Byte>(n);
    log.DEBUG("Colours reset: every colour shows as itself");
    buildPalette(state, log);
}

}  // namespace varnoke
