#include "cpc/screen_encoding.h"

namespace varnoke {
namespace {

int bit(Byte pen, int b) { return (pen >> b) & 1; }

}  // namespace

Byte packPens(Byte cpcMode, std::span<const Byte> p) {
    int v = 0;
    switch (cpcMode) {
        case 0:
            v = bit(p[0], 0) << 7 | bit(p[1], 0) << 6 | bit(p[0], 2) << 5 | bit(p[1], 2) << 4 |
                bit(p[0], 1) << 3 | bit(p[1], 1) << 2 | bit(p[0], 3) << 1 | bit(p[1], 3);
            break;
        case 1:
            v = bit(p[0], 0) << 7 | bit(p[1], 0) << 6 | bit(p[2], 0) << 5 | bit(p[3], 0) << 4 |
                bit(p[0], 1) << 3 | bit(p[1], 1) << 2 | bit(p[2], 1) << 1 | bit(p[3], 1);
            break;
        default:
            for (int k = 0; k < 8; ++k) v |= bit(p[static_cast<std::size_t>(k)], 0) << (7 - k);
            break;
    }
    return static_cast<Byte>(v);
}

ScreenEncoder::ScreenEncoder(const ProgramState& state) : state_(state) {
    for (std::size_t index = 0; index < 256; ++index)
        penOfIndex_[index] = penOfColor(state, state.colorSubstitution[state.cpcColorOfIndex[index]]);
}

Byte ScreenEncoder::encodeScreenByte(int row, int column) const {
    const std::size_t perByte = state_.cpcMode == 0 ? 2 : state_.cpcMode == 1 ? 4 : 8;
    const std::size_t first = static_cast<std::size_t>(row) * static_cast<std::size_t>(pictureWidth(state_.cpcMode)) +
                              static_cast<std::size_t>(column) * perByte;
    std::array<Byte, 8> pens{};
    for (std::size_t k = 0; k < perByte; ++k) pens[k] = penOfIndex_[state_.pixelData[first + k]];
    return packPens(state_.cpcMode, std::span<const Byte>(pens.data(), perByte));
}

void buildInkTable(const ProgramState& state, std::span<Byte, kInkTableSize> table) {
    const Byte pens = pensPerMode(state);
    for (Byte pen = 0; pen < pens; ++pen) {
        const Byte filter = state.inkBoxes[pen].filterColor;
        const Byte color = filter == kEmptyPen ? Byte{0} : state.colorSubstitution[filter];
        table[pen] = color;
        table[16 + pen] = state.hardwareCodes[color];
    }
    table[32] = 0;
}

ScreenImage encodeScreenImage(const ProgramState& state) {
    ScreenImage image{};
    const ScreenEncoder encoder(state);
    for (int y = 0; y < kPictureHeight; ++y)
        for (int x = 0; x < static_cast<int>(kScreenBytesPerRow); ++x)
            image[rowOffset(y) + static_cast<std::size_t>(x)] = encoder.encodeScreenByte(y, x);
    buildInkTable(state, std::span<Byte, kInkTableSize>(image.data() + kInkTableOffset, kInkTableSize));
    image[kModeByteOffset] = state.cpcMode;
    return image;
}

}  // namespace varnoke
