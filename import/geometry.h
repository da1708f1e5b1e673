// From a picture of any size to the grid of a CPC mode, in the CPC's pixel shape: a mode 0
// pixel is twice as wide as high, mode 1 square, mode 2 half as wide. Resampling happens
// in linear light.
//
// The shape of a screen follows from the CRTC's timing: a character (2 bytes) lasts 1 µs
// and the picture's width in µs is as long, on the monitor, as 8 of its lines are high
// (the standard screen: 40 µs across and 200 lines, 8 : 5, which makes a mode 1 pixel,
// 1/8 µs by 1 line, square). The overscan screen is 48 µs across and 272 lines: 384 : 272,
// that is 24 : 17.
#pragma once

#include "import/linear_image.h"

namespace varnoke {

// fill: crop around the centre to the screen's shape; fit: letterbox (border marked); stretch.
enum class ResizeRule { Fill, Fit, Stretch };

// Where a rule puts a picture of width × height: the part of the source it keeps (in
// fractions of the source's width and height) and where that part lands on a target of
// the screen's shape (in fractions of the target). Fill keeps a centred part and fills
// the target; Fit keeps all and leaves a border; Stretch keeps all and fills the target.
struct Placement {
    float s0 = 0, t0 = 0, s1 = 1, t1 = 1;             // source region
    double left = 0, top = 0, right = 1, bottom = 1;  // target region
};
Placement placementOf(int width, int height, ResizeRule rule, ScreenFormat screen = ScreenFormat::Standard);

// The target region of a placement in whole pixels of a width × height target.
struct PixelRegion {
    int left = 0, top = 0, right = 0, bottom = 0;
};
PixelRegion targetRegion(const Placement& placement, int width, int height);

// The picture on the mode's grid (160, 320 or 640 × 200; overscan 192, 384 or 768 × 272).
// A picture already of exactly that size is taken as drawn on that grid and is not
// resampled.
GridPicture toModeGrid(const LinearImage& picture, Byte cpcMode, ResizeRule rule,
                       ScreenFormat screen = ScreenFormat::Standard);

// The canvas of the quality measure: square pixels, 4 to a mode 0 pixel across and 2 to
// a line: 640 × 400 for the standard screen, 768 × 544 for the overscan screen.
inline constexpr int kCanvasWidth = 640;
inline constexpr int kCanvasHeight = 400;
constexpr int canvasWidth(ScreenFormat screen) { return screen == ScreenFormat::Overscan ? 768 : kCanvasWidth; }
constexpr int canvasHeight(ScreenFormat screen) { return 2 * pictureHeight(screen); }

// The reference for the quality measure: the picture after the same crop (or letterbox,
// with a black border) on the square-pixel canvas.
LinearImage toCanvas(const LinearImage& picture, ResizeRule rule, ScreenFormat screen = ScreenFormat::Standard);

// The same for a picture converted in mode `cpcMode`: a picture of exactly that mode's grid
// size is drawn as the CPC draws it (each pixel 4 × 2, 2 × 2 or 1 × 2 canvas pixels), so
// that a picture the CPC can show as it is measures 0.
LinearImage toCanvas(const LinearImage& picture, Byte cpcMode, ResizeRule rule,
                     ScreenFormat screen = ScreenFormat::Standard);

}  // namespace varnoke
