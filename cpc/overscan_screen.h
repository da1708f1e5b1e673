// The overscan screen: a picture over the CPC's whole display, 96 bytes a line × 272 lines
// (192, 384 or 768 pixels wide in modes 0, 1 and 2), and its file.
//
// The CRTC shows it with 48 characters of 2 bytes a line (R1 = 48) and 34 character rows
// of 8 lines (R6 = 34), moved to the left and to the top by the syncs (R2 = 50, R7 = 35),
// and with a 32 KB screen: R12 = &0D, R13 = &00 puts the start at &0200 with MA10 and
// MA11 set, so that when the address counter passes MA9 it carries into MA12 and the
// display goes on in the next 16 KB bank, at &4000. 96 × 272 keeps every CRTC type on
// safe ground: the horizontal sync (R2 = 50, 14 characters wide) ends with the 64-character
// line instead of running into the next one, the 272 lines end 8 lines before the vertical
// sync (R7 = 35 < R4 + 1 = 39), and only R1, R2, R6, R7, R12 and R13 change, registers that
// every type reads the same way; the frame stays 64 µs × 312 lines, so any monitor keeps
// its lock.
//
// Line y (0..271), character row r = y div 8, scan line l = y mod 8, starts at
//     rows  0..15:  &0200 + &800 × l + 96 × r          (&0200-&07FF of each 2 KB block)
//     rows 16..33:  &4000 + &800 × l + 96 × (r - 16)   (&x000-&x6BF of each 2 KB block)
//
//   &0170 ┌────────────────────────┐ the file starts here (AMSDOS header: load and entry &0170)
//         │ display routine entry  │ &0170 DI; JP &0800
//   &0184 │ mode byte              │ &0E, &0F or &10 for mode 0, 1 or 2 (+&7E: the gate
//         │                        │ array's mode and ROM byte &8C, &8D or &8E)
//   &01AC │ 0: CPC palette         │ (1 marks a CPC Plus palette, which this program never writes)
//   &0200 ├────────────────────────┤ rows 0..15 of scan line 0
//   &0800 │ display routine        │ &0800-&09FF: never displayed
//   &0A00 ├────────────────────────┤ rows 0..15 of scan line 1
//         │ ...                    │ (&r000-&r1FF never displayed, r = 1..3)
//   &3A00 ├────────────────────────┤ rows 0..15 of scan line 7
//   &4000 ├────────────────────────┤ rows 16..33 of scan line 0, &4000-&46BF
//         │ ...                    │ (&x6C0-&x7FF of each block never displayed)
//   &7800 ├────────────────────────┤ rows 16..33 of scan line 7, &7800-&7EBF
//   &7F00 │ pens' gate-array codes │ 16 bytes, pen 0 first; pens beyond the mode's: black &54
//   &80EF └────────────────────────┘ the file ends here: 32640 bytes
//
// This is the overscan file that CPC picture tools and viewers most widely read: a binary
// file loaded at &0170, its mode byte at &0184, its pens at &7F00. The pixels in a byte
// are those of the standard screen (cpc/screen_encoding.h).
#pragma once

#include "main/expected.h"
#include "main/program_state.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace varnoke {

inline constexpr std::size_t kOverscanBytesPerRow = 96;
inline constexpr std::uint16_t kOverscanLoadAddress = 0x0170;
inline constexpr std::size_t kOverscanImageSize = 0x7F80;  // &0170-&80EF
inline constexpr std::uint16_t kOverscanModeAddress = 0x0184;
inline constexpr std::uint16_t kOverscanPlusFlagAddress = 0x01AC;
inline constexpr std::uint16_t kOverscanPensAddress = 0x7F00;
inline constexpr std::uint16_t kOverscanRoutineAddress = 0x0800;
inline constexpr Byte kOverscanModeBase = 0x0E;

// The CPC address of the first byte of overscan line y (0..271), as drawn above.
constexpr std::uint16_t overscanLineAddress(int y) {
    const int row = y / 8;
    const int scan = y % 8;
    if (row < 16) return static_cast<std::uint16_t>(0x0200 + 0x800 * scan + 96 * row);
    return static_cast<std::uint16_t>(0x4000 + 0x800 * scan + 96 * (row - 16));
}

// The file's bytes from &0170 (without the AMSDOS header).
using OverscanImage = std::vector<Byte>;

// The whole image of an overscan picture of the current mode: the pixels, the mode byte,
// the pens' codes and the display routine. Needs a decoded overscan picture.
OverscanImage encodeOverscanImage(const ProgramState& state);

// The overscan screen file: its AMSDOS header (a binary file loaded and entered at &0170)
// and the image.
std::vector<Byte> buildOverscanFile(const ProgramState& state, const Log& log);

// What an overscan file holds, read back.
struct OverscanFile {
    Byte mode = 0;
    std::array<Byte, 16> colors{};  // CPC colour number of each pen
    OverscanImage image;
};

// Reads an overscan file, with its AMSDOS header (32768 bytes) or without it (32640
// bytes). Refuses another size, a header that is not of a binary file loaded at &0170,
// a mode byte other than &0E, &0F or &10, a CPC Plus palette, and a pen code that is no
// gate-array colour, naming the address.
Expected<OverscanFile> parseOverscanFile(std::span<const Byte> file);

}  // namespace varnoke
