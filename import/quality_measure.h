// The quality measure: S-CIELAB (Zhang and Wandell) on the 640 × 400 canvas, then the
// mean CIEDE2000 difference. Lower is better; 0 for identical pictures.
#pragma once

#include "import/colour_science.h"
#include "import/linear_image.h"

#include <array>
#include <span>
#include <vector>

namespace varnoke {

// What the CPC shows for a picture on the mode's grid, on the screen's canvas (640 × 400,
// overscan 768 × 544) in the display colours of the CPC colours: a mode 0 pixel as 4 × 2,
// mode 1 as 2 × 2, mode 2 as 1 × 2 canvas pixels. A pen without a colour (or a colour
// number above 26) shows black.
LinearImage cpcCanvas(Byte cpcMode, std::span<const Byte> penOfPixel, std::span<const Byte> penColours,
                      ScreenFormat screen = ScreenFormat::Standard);

// S-CIELAB's opponent channels (luminance, red-green, blue-yellow) of a linear colour,
// and XYZ back from them.
Vec3 linearToOpponent(Vec3 rgb);
Vec3 opponentToXyz(Vec3 opponent);

// Each opponent channel's filter: a sum of normalised Gaussians.
struct GaussianTerm {
    double weight;
    double spreadDegrees;
};
const std::array<std::vector<GaussianTerm>, 3>& opponentFilters();

// The same with colours that change from line to line: line y's colour of pen p at
// y × pensPerLine + p (a table of one line only serves every line).
LinearImage cpcCanvasOfLines(Byte cpcMode, std::span<const Byte> penOfPixel, std::span<const Byte> penColoursOfLines,
                             std::size_t pensPerLine, ScreenFormat screen = ScreenFormat::Standard);

// Mean S-CIELAB CIEDE2000 difference between two canvases of the same size (0 when
// the sizes differ).
double scielabDifference(const LinearImage& reference, const LinearImage& result);

// A reference canvas filtered once, for measuring many results against it. The canvas
// has 32 pixels a degree; a canvas of half the size each way, 16 (a quick estimate). A
// sample step above 1 compares only every step-th filtered pixel each way: the filtered
// pictures are smooth, so the mean barely moves and the comparison is step² times as fast.
class ScielabReference {
public:
    explicit ScielabReference(const LinearImage& reference, double pixelsPerDegree = 32.0, int sampleStep = 1);
    double difference(const LinearImage& result) const;

    // The same in two halves, so that many results can be filtered side by side: the
    // filtered CIELAB of a result (which needs no reference), then its difference. With
    // inParallel, one result is filtered on all the cores.
    static std::vector<float> filteredLab(const LinearImage& result, double pixelsPerDegree, int sampleStep = 1,
                                          bool inParallel = false);
    double difference(std::span<const float> filteredResult) const;

    // The CIEDE2000 of each compared pixel, row by row, whose mean difference() gives.
    std::vector<float> differences(std::span<const float> filteredResult) const;

    // How fast the difference moves with each canvas pixel of the result in each opponent
    // channel (linearToOpponent's units): one plane a channel, the canvas's size.
    std::array<std::vector<float>, 3> gradient(const LinearImage& result) const;

private:
    int width_ = 0;
    int height_ = 0;
    double pixelsPerDegree_ = 32.0;
    int sampleStep_ = 1;
    std::vector<float> lab_;  // L*, a*, b* of each compared filtered pixel
};

}  // namespace varnoke
