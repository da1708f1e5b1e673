// The CPC screen image: the exact 16 KB of screen memory for the picture.
//
// Rows are interleaved in eight blocks of 2 KB; row y starts at
//     rowOffset(y) = 0x800 × (y mod 8) + 80 × (y div 8)
// so block b holds rows b, b + 8, b + 16, ... (25 rows of 80 bytes, 2000 bytes).
//
//   0x0000 ┌──────────────────────────┐ rows 0, 8, ..., 192   (0x0000-0x07CF)
//   0x07D0 │ gap: ink table, mode     │ 48 bytes, never displayed
//   0x0800 ├──────────────────────────┤ rows 1, 9, ..., 193
//   0x0FD0 │ gap: viewer block 1      │
//   0x1000 ├──────────────────────────┤ rows 2, 10, ...
//   0x17D0 │ gap: viewer block 2      │
//   0x1800 ├──────────────────────────┤ rows 3, 11, ...
//   0x1FD0 │ gap: viewer block 3      │
//   0x2000 ├──────────────────────────┤ rows 4, 12, ...
//   0x27D0 │ gap: viewer block 4      │
//   0x2800 ├──────────────────────────┤ rows 5, 13, ...        gap 0x2FD0 unused
//   0x3000 ├──────────────────────────┤ rows 6, 14, ...        gap 0x37D0 unused
//   0x3800 ├──────────────────────────┤ rows 7, 15, ..., 199   gap 0x3FD0 unused
//   0x4000 └──────────────────────────┘
//
// The first gap:
//   0x07D0 + p  CPC colour number of pen p   (p below the mode's pen count)
//   0x07E0 + p  gate-array code of pen p     (the viewer sets pens from this list)
//   0x07F0      0, the end of the code list
//   0x07F1      the screen mode
//
// Pixels in a byte (P0 leftmost, Pk.b = bit b of pixel k's pen):
//   mode 2: bit 7..0 = P0.0 P1.0 P2.0 P3.0 P4.0 P5.0 P6.0 P7.0
//   mode 1: bit 7..0 = P0.0 P1.0 P2.0 P3.0 P0.1 P1.1 P2.1 P3.1
//   mode 0: bit 7..0 = P0.0 P1.0 P0.2 P1.2 P0.1 P1.1 P0.3 P1.3
#pragma once

#include "main/program_state.h"

#include <array>
#include <span>

namespace varnoke {

inline constexpr std::size_t kScreenImageSize = 0x4000;
inline constexpr std::size_t kScreenBytesPerRow = 80;
// The first gap, drawn above: the ink table (colour numbers, then gate-array codes from
// 16 bytes on, then the closing 0) and the mode byte. The encoder, the reader of screen
// files and the viewer routine share these.
inline constexpr std::size_t kInkTableOffset = 0x07D0;
inline constexpr std::size_t kInkTableSize = 33;
inline constexpr std::size_t kInkCodesInTable = 16;
inline constexpr std::size_t kInkCodesOffset = kInkTableOffset + kInkCodesInTable;  // 0x07E0
inline constexpr std::size_t kModeByteOffset = 0x07F1;

using ScreenImage = std::array<Byte, kScreenImageSize>;

constexpr std::size_t rowOffset(int y) {
    return 0x800 * static_cast<std::size_t>(y % 8) + kScreenBytesPerRow * static_cast<std::size_t>(y / 8);
}

// Packs pens into one screen byte of the given mode (n = 2, 4 or 8 pens, leftmost first).
Byte packPens(Byte cpcMode, std::span<const Byte> pens);

// Encodes picture bytes from the program state. It looks up each palette index's pen
// once, so build it after the state is final and use it for the whole image.
class ScreenEncoder {
public:
    explicit ScreenEncoder(const ProgramState& state);

    // The screen byte for picture row `row` and byte column `column`: 0..199 and 0..79 on
    // the standard screen, 0..271 and 0..95 on the overscan screen.
    Byte encodeScreenByte(int row, int column) const;

private:
    const ProgramState& state_;
    std::array<Byte, 256> penOfIndex_{};
};

// Writes the ink table into the 33 bytes at `table` (image offset 0x07D0): colour
// numbers of the mode's pens, their gate-array codes, and the closing 0. An empty pen
// is given colour 0 and the code of black.
void buildInkTable(const ProgramState& state, std::span<Byte, kInkTableSize> table);

// The whole screen image of the picture: all 200 rows, the ink table and the mode byte.
// Every byte that nothing assigns is 0. Needs a decoded picture of the current mode.
ScreenImage encodeScreenImage(const ProgramState& state);

}  // namespace varnoke
