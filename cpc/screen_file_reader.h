// Reading back a screen file that this program wrote: its AMSDOS header, and the mode
// and ink table that the first gap of the screen image carries.
//
// Screen file (.scr), 16512 bytes:
//   0     AMSDOS header (128): checksum over bytes 0..66 at 67, file type 2 at 18,
//         load address at 21 (&4000 or &C000), data length 16384 at 24 and at 64
//   128   screen image (16384)
//
// The first gap of the screen image:
//   0x07D0 + p  CPC colour number of pen p (0..26)      p below the mode's pen count
//   0x07E0 + p  gate-array code of that colour
//   0x07F1      the screen mode, 0, 1 or 2
#pragma once

#include "cpc/screen_encoding.h"
#include "main/expected.h"
#include "main/program_state.h"

#include <array>
#include <span>

namespace varnoke {

// The mode and the pens' colours as the screen image's gap records them.
struct ScreenInks {
    Byte mode = 0;
    // CPC colour number of each pen; only the first pensOfMode(mode) are meaningful.
    std::array<Byte, 16> colors{};
};

// Reads the mode byte and the ink table of a screen image. Refuses a mode other than 0,
// 1 or 2, a colour number above 26 and a gate-array code that is not the one of its
// colour number, naming the offset.
Expected<ScreenInks> readScreenInks(std::span<const Byte, kScreenImageSize> image);

struct ScreenFile {
    ScreenLayout layout = ScreenLayout::At4000;
    ScreenImage image{};
    ScreenInks inks;
};

// Checks a whole screen file: its size, its AMSDOS header (checksum, file type, load
// address, lengths) and its ink table.
Expected<ScreenFile> parseScreenFile(std::span<const Byte> file);

}  // namespace varnoke
