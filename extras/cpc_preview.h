// What the CPC shows for a screen image: the 200 rows decoded from screen memory with
// the pens' colours from the ink table, drawn at the CPC's own pixel shape in a
// 640 × 400 picture.
//
//  mode  pixels per row  one CPC pixel becomes
//  ----  --------------  ---------------------
//   0    160             4 wide × 2 high
//   1    320             2 wide × 2 high
//   2    640             1 wide × 2 high
//
// Row y of the picture is drawn on lines 2y and 2y + 1. The bytes of a row are found
// through the row interleave, and each byte's pens through the bit order of the mode
// (see cpc/screen_encoding.h).
#pragma once

#include "cpc/overscan_screen.h"
#include "cpc/raster_routine.h"
#include "cpc/screen_encoding.h"
#include "cpc/screen_file_reader.h"
#include "display/picture_display.h"
#include "main/expected.h"

#include <array>
#include <span>
#include <vector>

namespace varnoke {

// The pens of the n pixels held by one screen byte (n = 2, 4, 8 for modes 0, 1, 2),
// leftmost first: the inverse of packPens.
std::array<Byte, 8> unpackPens(Byte cpcMode, Byte screenByte);

// Draws the whole screen as the CPC shows it, in the display colours of the pens'
// CPC colours.
PictureArea renderCpcScreen(std::span<const Byte, kScreenImageSize> image, const ScreenInks& inks);

// Draws pens on the grid of a mode (160, 320 or 640 × 200, one pen per pixel, rows from
// the top) as the CPC shows them, in the display colours of the pens' CPC colours. A
// pen without a colour is drawn black.
PictureArea renderPens(Byte cpcMode, std::span<const Byte> penOfPixel, std::span<const Byte> penColours);

// The same with colours that change from line to line: row y's colour of pen p at
// y × pensPerLine + p (a table of one row only serves every row). What the raster routine
// shows: a pen has one colour on the whole of a line.
PictureArea renderPensOfLines(Byte cpcMode, std::span<const Byte> penOfPixel, std::span<const Byte> penColoursOfLines,
                              std::size_t pensPerLine);

// Draws a screen image with the colours that a raster file gives its pens on each line;
// refuses a raster file that does not read back or whose mode is not the image's.
Expected<PictureArea> previewLinePenScreen(std::span<const Byte, kScreenImageSize> image,
                                           std::span<const Byte> rasterFile);

// Reads the mode and ink table from the image's gap, then draws it; refuses an image
// whose gap holds no valid mode or ink table.
Expected<PictureArea> previewScreenImage(std::span<const Byte, kScreenImageSize> image);

// The preview of an overscan picture is the CPC's whole display around it, 832 × 576:
//
//   x   0 ┌──────────────────────────────────────────┐ y 0     black: the border the
//         │  ┌────────────────────────────────────┐  │ y 16    display routine sets,
//         │  │ 272 lines of 48 characters (96     │  │         and the blanking of the
//         │  │ bytes), each line drawn 2 high,    │  │         syncs
//         │  │ each character 16 wide             │  │
//         │  └────────────────────────────────────┘  │ y 560
//     832 └──────────────────────────────────────────┘ y 576
//           x 32                              x 800
//
// Every microsecond of a line is 16 pixels (a mode 0 pixel 4 wide, mode 1 2, mode 2 1)
// and every line 2 pixels high, the standard preview's scale. The area spans the CRTC's
// frame from 2 µs before the first displayed character (characters 62-63 of the line
// before, in the horizontal sync) to 2 µs after the last (characters 48-49), and from
// 8 lines above the first displayed line (the last character row of the frame before,
// row 38) to 8 lines below the last (row 34, before the vertical sync at row 35).
inline constexpr int kOverscanPreviewWidth = 832;
inline constexpr int kOverscanPreviewHeight = 576;
inline constexpr int kOverscanPreviewLeft = 32;
inline constexpr int kOverscanPreviewTop = 16;

// The pens of the overscan picture in an image, one per pixel, rows from the top.
std::vector<Byte> overscanPens(const OverscanImage& image, Byte cpcMode);

// Draws pens on the overscan grid of a mode (192, 384 or 768 × 272) as the CPC's whole
// display shows them, drawn above. A pen without a colour is drawn black.
PictureArea renderOverscanPens(Byte cpcMode, std::span<const Byte> penOfPixel, std::span<const Byte> penColours);

// Reads an overscan file (see parseOverscanFile) and draws its whole display.
Expected<PictureArea> previewOverscanFile(std::span<const Byte> file);

// What the CPC shows for a whole screen file of this program, told apart by its size: a
// standard one (--preview's 640 × 400 picture area) or an overscan one (the whole display).
Expected<PictureArea> previewScreenFile(std::span<const Byte> file);

// What the CPC will show for pens on the grid of a mode and screen (renderPens or
// renderOverscanPens).
PictureArea renderScreenPens(Byte cpcMode, ScreenFormat screen, std::span<const Byte> penOfPixel,
                             std::span<const Byte> penColours);

}  // namespace varnoke
