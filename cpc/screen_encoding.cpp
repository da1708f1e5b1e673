#include "cpc/screen_encoding.h"

namespace varnoke {
ScreenEncoder::ScreenEncoder(const ProgramState& state) : state_(state) {
    for (std::size_t index = 0; index < 256; ++index)
        penOfIndex_[index] = penOfColor(state, state.colorSubstitution[state.cpcColorOfIndex[index]]);
}

namespace {

// The bits that a pen sets in a screen byte when it is the leftmost pixel (P0), for each
// mode; the pixel k places right of it sets the same bits shifted right by k (see the
// bit layouts in the header), so that a byte is the OR of its pixels' shifted bits.
struct PenBitTables {
    std::array<std::array<Byte, 16>, 3> bits{};
    constexpr PenBitTables() {
        for (int pen = 0; pen < 16; ++pen) {
            const auto b = [pen](int n) { return (pen >> n) & 1; };
            bits[0][static_cast<std::size_t>(pen)] = static_cast<Byte>(b(0) << 7 | b(2) << 5 | b(1) << 3 | b(3) << 1);
            bits[1][static_cast<std::size_t>(pen)] = static_cast<Byte>(b(0) << 7 | b(1) << 3);
            bits[2][static_cast<std::size_t>(pen)] = static_cast<Byte>(b(0) << 7);
        }
    }
};
constexpr PenBitTables kPenBits;

// One screen byte from its N pixels (leftmost first), given each palette index's pen.
template <std::size_t N>
Byte packPixels(const std::array<Byte, 16>& bits, const std::array<Byte, 256>& penOfIndex, const Byte* pixels) {
    unsigned v = 0;
    // Pens are below 16 (the most pens a mode has); only their low four bits are read.
    for (std::size_t k = 0; k < N; ++k) v |= unsigned{bits[penOfIndex[pixels[k]] & 0x0Fu]} >> k;
    return static_cast<Byte>(v);
}

}  // namespace

Byte packPens(Byte cpcMode, std::span<const Byte> pens) {
    const unsigned mode = cpcMode > 2 ? 2u : cpcMode;
    unsigned v = 0;
    for (std::size_t k = 0; k < pens.size() && k < (std::size_t{2} << mode); ++k)
        v |= unsigned{kPenBits.bits[mode][pens[k] & 0x0Fu]} >> k;
    return static_cast<Byte>(v);
}

Byte ScreenEncoder::encodeScreenByte(int row, int column) const {
    // Any mode above 2 is drawn and encoded as mode 2.
    const unsigned mode = state_.cpcMode > 2 ? 2u : state_.cpcMode;
    // A row is 80 bytes on the standard screen, 96 on the overscan screen, in every mode.
    const std::size_t perByte = std::size_t{2} << mode;
    const std::size_t bytesPerRow = state_.screen == ScreenFormat::Overscan ? 96 : kScreenBytesPerRow;
    const std::size_t first =
        (static_cast<std::size_t>(row) * bytesPerRow + static_cast<std::size_t>(column)) * perByte;
    const Byte* pixels = state_.pixelData.data() + first;
    const std::array<Byte, 16>& bits = kPenBits.bits[mode];
    switch (mode) {
        case 0: return packPixels<2>(bits, penOfIndex_, pixels);
        case 1: return packPixels<4>(bits, penOfIndex_, pixels);
        default: return packPixels<8>(bits, penOfIndex_, pixels);
    }
}

void buildInkTable(const ProgramState& state, std::span<Byte, kInkTableSize> table) {
    const Byte pens = pensPerMode(state);
    for (Byte pen = 0; pen < pens; ++pen) {
        const Byte filter = state.inkBoxes[pen].filterColor;
        const Byte color = filter == kEmptyPen ? Byte{0} : state.colorSubstitution[filter];
        table[pen] = color;
        table[kInkCodesInTable + pen] = state.hardwareCodes[color];
    }
    table[kInkTableSize - 1] = 0;
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
