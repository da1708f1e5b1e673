#include "main/cpc_colors.h"

namespace varnoke {
namespace {

constexpr std::array<Byte, 3> kLevelIntensity{0x00, 0x7F, 0xFF};

//                                              n  green red blue
constexpr std::array<Byte, kCpcColorCount> kGateArrayCodes{
    0x54, 0x44, 0x55,  //  0- 2  G0 R0 B0..2  black, blue, bright blue
    0x5C, 0x58, 0x5D,  //  3- 5  G0 R1        red, magenta, mauve
    0x4C, 0x45, 0x4D,  //  6- 8  G0 R2        bright red, purple, bright magenta
    0x56, 0x46, 0x57,  //  9-11  G1 R0        green, cyan, sky blue
    0x5E, 0x40, 0x5F,  // 12-14  G1 R1        yellow, white (grey), pastel blue
    0x4E, 0x47, 0x4F,  // 15-17  G1 R2        orange, pink, pastel magenta
    0x52, 0x42, 0x53,  // 18-20  G2 R0        bright green, sea green, bright cyan
    0x5A, 0x59, 0x5B,  // 21-23  G2 R1        lime, pastel green, pastel cyan
    0x4A, 0x43, 0x4B,  // 24-26  G2 R2        bright yellow, pastel yellow, bright white
};

constexpr std::array<const char*, kCpcColorCount> kColorNames{
    "Black",         "Blue",          "Bright Blue",    "Red",    "Magenta",      "Mauve",
    "Bright Red",    "Purple",        "Bright Magenta", "Green",  "Cyan",         "Sky Blue",
    "Yellow",        "White",         "Pastel Blue",    "Orange", "Pink",         "Pastel Magenta",
    "Bright Green",  "Sea Green",     "Bright Cyan",    "Lime",   "Pastel Green", "Pastel Cyan",
    "Bright Yellow", "Pastel Yellow", "Bright White",
};

}  // namespace

Rgb cpcDisplayColor(Byte n) {
    const ColorLevels levels = cpcColorLevels(n);
    return {kLevelIntensity[static_cast<std::size_t>(levels.red)],
            kLevelIntensity[static_cast<std::size_t>(levels.green)],
            kLevelIntensity[static_cast<std::size_t>(levels.blue)]};
}

Byte cpcGateArrayCode(Byte n) { return kGateArrayCodes.at(n); }

const char* cpcColorName(Byte n) { return kColorNames.at(n); }

}  // namespace varnoke
