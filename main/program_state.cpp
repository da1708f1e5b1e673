#include "main/program_state.h"

#include "main/cpc_colors.h"

namespace varnoke {

ProgramState::ProgramState() {
    for (Byte n = 0; n < kCpcColorCount; ++n) {
        hardwareCodes[n] = cpcGateArrayCode(n);
        cpcColorBoxes[n] = cpcDisplayColor(n);
        colorSubstitution[n] = n;
    }
    for (couleur_palette& pen : inkBoxes) {
        pen.box = {kEmptyPenGrey, ""};
        pen.filterColor = kEmptyPen;
    }
}

Byte pensPerMode(const ProgramState& state) { return pensOfMode(state.cpcMode); }

Byte penOfColor(const ProgramState& state, Byte cpcColor) {
    const Byte pens = pensPerMode(state);
    for (Byte pen = 0; pen < pens; ++pen) {
        const Byte filter = state.inkBoxes[pen].filterColor;
        if (filter != kEmptyPen && state.colorSubstitution[filter] == cpcColor) return pen;
    }
    return 0;
}

int pictureWidth(Byte cpcMode, ScreenFormat screen) {
    return (screen == ScreenFormat::Overscan ? 192 : 160) << (cpcMode > 2 ? 2 : cpcMode);
}

std::size_t targetPixelCount(Byte cpcMode, ScreenFormat screen) {
    return static_cast<std::size_t>(pictureWidth(cpcMode, screen)) * static_cast<std::size_t>(pictureHeight(screen));
}

bool hasPictureOfMode(const ProgramState& state) {
    return state.pixelData.size() >= targetPixelCount(state.cpcMode, state.screen);
}

void Log::DEBUG(std::string_view label, long long value) const {
    std::string line(label);
    line += std::to_string(value);
    DEBUG(line);
}

}  // namespace varnoke
