#include "palette/palette_check.h"

namespace varnoke {

bool Color_dans_Palette(const ProgramState& state, Rgb color) {
    const Byte pens = pensPerMode(state);
    for (Byte pen = 0; pen < pens; ++pen)
        if (state.inkBoxes[pen].box.background == color) return true;
    return false;
}

std::optional<PenOutsideMode> firstPenOutsideMode(const ProgramState& state) {
    for (Byte pen = pensPerMode(state); pen < kPenCount; ++pen) {
        const couleur_palette& entry = state.inkBoxes[pen];
        // Pens are ordered by use with the empty ones last: nothing follows an empty pen.
        if (entry.filterColor == kEmptyPen) return std::nullopt;
        if (!Color_dans_Palette(state, entry.box.background)) return PenOutsideMode{pen, entry.filterColor};
    }
    return std::nullopt;
}

bool Palette_Ok(const ProgramState& state, const Log& log) {
    const std::optional<PenOutsideMode> outside = firstPenOutsideMode(state);
    if (!outside) return true;
    log.DEBUG(std::to_string(outside->pen) +
              " n'est pas dans la palette - index: " + std::to_string(outside->filterColor));
    return false;
}

}  // namespace varnoke
