// The CPC's 27 colours. Each of red, green and blue is off, half or full (level 0, 1, 2);
// the colour number is 9 × green + 3 × red + blue, the numbering of the CPC firmware.
#pragma once

#include "main/program_state.h"

#include <array>

namespace varnoke {

// Colour number from the three levels (each 0..2).
constexpr Byte cpcColorNumber(int greenLevel, int redLevel, int blueLevel) {
    return static_cast<Byte>(9 * greenLevel + 3 * redLevel + blueLevel);
}

// Display colour of CPC colour n: each level shown as 0x00, 0x7F or 0xFF.
Rgb cpcDisplayColor(Byte n);

// Gate-array code of CPC colour n: the byte sent to the gate array to give a pen that
// colour (its 5-bit hardware colour number with bit 6 set).
Byte cpcGateArrayCode(Byte n);

// Levels of CPC colour n, in the order green, red, blue.
struct ColorLevels {
    int green;
    int red;
    int blue;
};
constexpr ColorLevels cpcColorLevels(Byte n) { return {n / 9, (n / 3) % 3, n % 3}; }

// The name the CPC's manuals give colour n ("Black", "Pastel Yellow", ...).
const char* cpcColorName(Byte n);

}  // namespace varnoke
