#include "palette/palette_fit.h"

#include "main/cpc_colors.h"
#include "palette/palette_building.h"

#include <string>

namespace varnoke {

int cpcColorDistance(Byte a, Byte b) {
    const ColorLevels x = cpcColorLevels(a);
    const ColorLevels y = cpcColorLevels(b);
    const int green = x.green - y.green;
    const int red = x.red - y.red;
    const int blue = x.blue - y.blue;
    return 59 * green * green + 30 * red * red + 11 * blue * blue;
}

std::vector<PenFit> planPaletteFit(const ProgramState& state) {
    const Byte modePens = pensPerMode(state);
    // The colour each pen of the mode shows; an empty pen of the mode shows none and
    // cannot lend its colour.
    auto shownColor = [&](Byte pen) { return state.colorSubstitution[state.inkBoxes[pen].filterColor]; };

    std::vector<PenFit> fits;
    for (Byte pen = modePens; pen < kPenCount; ++pen) {
        const Byte filter = state.inkBoxes[pen].filterColor;
        // Pens are ordered by use with the empty ones last: nothing follows an empty pen.
        if (filter == kEmptyPen) break;
        const Byte shown = state.colorSubstitution[filter];

        bool alreadyShown = false;
        int bestDistance = 0;
        Byte bestPen = kEmptyPen;
        for (Byte candidate = 0; candidate < modePens; ++candidate) {
            if (state.inkBoxes[candidate].filterColor == kEmptyPen) continue;
            const Byte color = shownColor(candidate);
            if (color == shown) {
                alreadyShown = true;
                break;
            }
            const int distance = cpcColorDistance(shown, color);
            // Strictly nearer only: an equal distance keeps the lower pen found first.
            if (bestPen == kEmptyPen || distance < bestDistance) {
                bestDistance = distance;
                bestPen = candidate;
            }
        }
        if (alreadyShown || bestPen == kEmptyPen) continue;
        fits.push_back(PenFit{pen, filter, shown, shownColor(bestPen), bestPen});
    }
    return fits;
}

std::vector<PenFit> fitPalette(ProgramState& state, const Log& log) {
    std::vector<PenFit> fits = planPaletteFit(state);
    if (fits.empty()) {
        log.DEBUG("Fit: nothing to change, every pen shows a colour of the mode");
        return fits;
    }
    // Each filter colour lies in one pen only, and no pen of the mode is changed, so
    // the fits do not affect one another.
    for (const PenFit& fit : fits) {
        state.colorSubstitution[fit.filterColor] = fit.cpcColor;
        log.DEBUG("Fit: pen " + std::to_string(fit.pen) + " (filter colour " + std::to_string(fit.filterColor) +
                  ") now shows CPC colour " + std::to_string(fit.cpcColor) + ", like pen " +
                  std::to_string(fit.modePen));
    }
    buildPalette(state, log);
    return fits;
}

}  // namespace varnoke
