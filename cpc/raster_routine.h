// The raster routine: a Z80 program, loaded with its colour table from a file of its own,
// that gives up to three pens a new colour on every line of the picture. Each line's
// colours are written to the gate array while the beam draws no picture, so that no
// change shows in mid-line.
//
// Where the time goes, in whole microseconds (the CPC stretches every Z80 instruction to
// whole microseconds; IN r,(C) and OUT (C),r take 4, one more than their 12 T-states):
//
//   a line is 64 us: 40 us of picture (CRTC register 1 = 40), then 24 us with none;
//   a frame is 312 lines; the frame flyback (PPI port B bit 0) starts at the start of
//   the line 72 lines before the picture's first line (CRTC registers 4, 6, 7 = 38,
//   25, 30, 8 lines a character row).
//
// A pen change is two gate-array writes (select the pen, give it a colour), and a write
// lands in the last microsecond of its 4-us OUT. The routine writes 5 times a line: the
// pen selected at the end of one line is given its colour first on the next, so the
// order of the pens turns round from line to line (c b a, then a b c). The 5 writes span
// 17 us of the 24 undrawn: they land 21, 17, 13, 9 and 5 us before the line's picture
// starts. A fourth pen would take 7 writes spanning 25 us, more than the 24 undrawn: three
// line pens is the most in every mode (in mode 2, one, since one of its two pens stays
// fixed).
//
// Timing, from the microsecond after the poll that saw the flyback still off:
//   wait2 and frame       4560 + 20 us: line 0's first write starts 24 us before its picture
//   even, odd             64 us each, 200 lines: 12800 us
//   keyboard .. JP frame  7148 us, + frame 20 = 7168 = 112 lines
// so every frame takes exactly 312 lines. The flyback is found once: polled every 8 us
// (seen 0 to 7 us late), then polled once a frame, each time 1 us earlier (19967 us
// apart), until a poll sees it off: it starts 1 us after that poll.
//
// Interrupts are off from the moment the picture's mode is set until the way back, so
// neither the firmware nor its interrupt handler runs in between; the table is read with
// POP, the stack pointer walking through it.
//
// The file, loaded at &8000, entered at &8000:
//   &8000  the routine (below)
//   &8120  the picture's mode
//   &8121  the mode's pen count
//   &8122  16 gate-array codes: each pen's colour (a line pen: its colour on line 0)
//   &8132  pens a, b, c: the line pens (one line pen: a = b = c; two: b = c)
//   &8135  BASIC's stack pointer, kept by the routine
//   &8137  BASIC's mode, kept by the routine
//   &8140  201 entries of 4 bytes: line y's codes of pens a, b, then a flag byte (popped
//          into F: 0, and 0x40 (Z) in entry 200, which ends the frame), then pen c's code
#pragma once

#include "cpc/amsdos_header.h"
#include "cpc/screen_encoding.h"
#include "main/expected.h"
#include "main/program_state.h"

#include <array>
#include <span>
#include <vector>

namespace varnoke {

inline constexpr std::uint16_t kRasterLoadAddress = 0x8000;
inline constexpr std::size_t kRasterModeOffset = 0x120;
inline constexpr std::size_t kRasterPenCountOffset = 0x121;
inline constexpr std::size_t kRasterCodesOffset = 0x122;
inline constexpr std::size_t kRasterLinePensOffset = 0x132;
inline constexpr std::size_t kRasterTableOffset = 0x140;
inline constexpr std::size_t kRasterEntrySize = 4;
inline constexpr std::size_t kRasterDataSize = kRasterTableOffset + kRasterEntrySize * (kPictureHeight + 1);
inline constexpr std::size_t kRasterFileSize = kAmsdosHeaderSize + kRasterDataSize;

// The most line pens the routine gives a mode: three in modes 0 and 1 (what fits in a
// line's undrawn time), one in mode 2 (whose other pen stays fixed).
constexpr int maxLinePens(Byte cpcMode) { return cpcMode >= 2 ? 1 : 3; }

// A picture whose line pens change colour on every line: the colour (CPC colour number)
// of every pen of the mode, a line pen's being its colour on line 0, the line pens, and
// each line's colours of them (line y's colour of linePens[k] at y × K + k).
struct LinePenColours {
    Byte mode = 0;
    std::array<Byte, 16> penColours{};
    std::vector<Byte> linePens;
    std::vector<Byte> lineColours;

    // The colour that pen `pen` shows on line y.
    Byte colourOn(int y, Byte pen) const;
};

// The routine with its parameters and colour table: the 1124 bytes loaded at &8000.
// Needs 1 to maxLinePens(mode) line pens below the mode's pen count, and 200 × K colours.
std::vector<Byte> buildRasterData(const LinePenColours& colours);

// The raster file: an AMSDOS header (binary, load and entry &8000) and the data.
std::vector<Byte> buildRasterFile(const LinePenColours& colours);

// Reads a raster file back, checking its header, that it carries this routine, and
// every parameter and colour code; the reason names the offset of the first fault.
Expected<LinePenColours> parseRasterFile(std::span<const Byte> file);

// The two files of a line-pen picture from its pens on the mode's grid (one a pixel, rows
// from the top): the screen file, loaded at &4000, whose ink table gives every pen its
// colour on line 0 (so that its own viewer, CALL &4FD0, shows the picture with line 0's
// colours), and the raster file.
struct LinePenFiles {
    std::array<Byte, kAmsdosHeaderSize + kScreenImageSize> screenFile{};
    std::vector<Byte> rasterFile;
};
LinePenFiles buildLinePenFiles(const LinePenColours& colours, std::span<const Byte> penOfPixel);

// The routine's bytes (the first &120 of the data).
std::span<const Byte> rasterRoutine();

}  // namespace varnoke
