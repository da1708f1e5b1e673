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

#include "cpc/screen_encoding.h"
#include "cpc/screen_file_reader.h"
#include "display/picture_display.h"
#include "main/expected.h"

#include <array>
#include <span>

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

// Reads the mode and ink table from the image's gap, then draws it; refuses an image
// whose gap holds no valid mode or ink table.
Expected<PictureArea> previewScreenImage(std::span<const Byte, kScreenImageSize> image);

}  // namespace varnoke
