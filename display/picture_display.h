// Drawing the decoded picture in CPC colours into the 640 × 400 picture area.
//
//  mode  picture    one picture pixel becomes   area covered
//  ----  ---------  --------------------------  -------------------------
//   0    160 × 200  2 wide × 1 high             top-left 320 × 200
//   1    320 × 200  1 × 1                       top-left 320 × 200
//   2    640 × 200  1 wide × 2 high             the whole 640 × 400
//
// Pixels past the picture's 200 lines (the rest of a last run) are drawn by the same
// rule below it where they fall inside the area. Nothing is cleared first.
//
// An overscan picture (192, 384 or 768 × 272) is drawn as the CPC shows it, each pixel
// 4 × 2, 2 × 2 or 1 × 2, into an area of 768 × 544 that it fills.
#pragma once

#include "main/program_state.h"

#include <cstdint>
#include <span>
#include <vector>

namespace varnoke {

inline constexpr int kPictureAreaWidth = 640;
inline constexpr int kPictureAreaHeight = 400;
inline constexpr int kOverscanAreaWidth = 768;
inline constexpr int kOverscanAreaHeight = 544;

// The picture area's pixels, 0xFFRRGGBB, row after row from the top: 640 × 400, or
// larger for the whole display of an overscan picture (extras/cpc_preview.h).
struct PictureArea {
    int width = kPictureAreaWidth;
    int height = kPictureAreaHeight;
    std::vector<std::uint32_t> pixels =
        std::vector<std::uint32_t>(static_cast<std::size_t>(kPictureAreaWidth) * kPictureAreaHeight, 0xFF000000u);
    std::uint32_t at(int x, int y) const {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
    }
};

// Paints the whole area in one colour (the window's background when a file is opened).
void blankPictureArea(PictureArea& area, Rgb color);

// The display colour of each palette index: that of the CPC colour standing in for the
// index's filter colour.
std::uint32_t displayColorOfIndex(const ProgramState& state, Byte index);

// Draws every decoded pixel by the rule of the current mode, between the log lines
// "- Viewing Picture ..." and "- Picture Ready".
void drawPicture(const ProgramState& state, PictureArea& area, const Log& log);

// The same for a standard picture whose pens change colour from line to line, what the
// raster routine shows: picture line y's CPC colour of pen p (palette index p) at
// y × pensPerLine + p. The substitutions do not apply; a pen beyond the table is black.
void drawPictureOfLines(const ProgramState& state, std::span<const Byte> penColoursOfLines, std::size_t pensPerLine,
                        PictureArea& area, const Log& log);

// The part of the area a picture fills, from the top left: 320 × 200 for modes 0 and 1,
// the whole area for mode 2 or when no picture is loaded, 768 × 544 for an overscan picture.
struct AreaPart {
    int width = kPictureAreaWidth;
    int height = kPictureAreaHeight;
};
AreaPart pictureAreaPart(const ProgramState& state);

// Where a part of the area is shown in a larger view: enlarged by the largest whole
// factor that fits (at least 1, so the shape never changes), centred.
struct WholeScaling {
    int factor = 1;
    int left = 0;
    int top = 0;
};
WholeScaling scaleIntoView(AreaPart part, int viewWidth, int viewHeight);

// Where a part of the area is drawn in a view: enlarged by the largest whole factor that
// fits, or, for a part larger than the view (an overscan picture in the window at its first
// size), shrunk to the largest size that fits; the shape kept, centred.
struct ViewRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};
ViewRect placeInView(AreaPart part, int viewWidth, int viewHeight);

}  // namespace varnoke
