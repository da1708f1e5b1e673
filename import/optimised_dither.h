// The optimising dither: direct binary search (Analoui and Allebach; Lieberman and
// Allebach for colour) over the quality measure's filtered picture. It starts from the
// error-diffused result and changes pixels, one pixel to another pen or two neighbours
// swapped, wherever that lowers the difference between the picture and the result as
// the eye's filters see them; the pens' colours are chosen again between passes.
#pragma once

#include "import/linear_image.h"

#include <array>
#include <chrono>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace varnoke {

// The autocorrelation of one channel's filter over a grid pixel's block of the canvas, at
// offsets of whole grid pixels, cut where it falls below a small share of its centre: as
// a sum of separable terms (x values times y values) and as the whole 2-D table.
struct DitherKernel {
    int reachX = 0;
    int reachY = 0;
    std::vector<std::pair<std::vector<float>, std::vector<float>>> terms;  // offsets -reach..reach
    std::vector<float> values;                                             // (2 reachY + 1) rows of (2 reachX + 1)
    float at(int dx, int dy) const {
        const int index = (dy + reachY) * (2 * reachX + 1) + dx + reachX;
        return values[static_cast<std::size_t>(index)];
    }
};

// The result whose local colours set the weights of the search's cost (none: the
// result being searched, as it stands when the search is made), and a factor on each
// pixel's weights (none: 1 everywhere).
struct DitherWeighting {
    std::vector<Byte> penColours;
    std::vector<Byte> penOfPixel;
    std::vector<float> emphasis;
    // The quality measure's slope at the result being searched, by pixel and opponent
    // channel, scaled to the cost's units (none: the cost's own slope): the cost's linear
    // term is set to it, so that the search's first steps go where the measure falls.
    std::vector<std::array<float, 3>> slope;
};

// The search's cost: the squared difference, summed over the plane, between the picture
// and the result after S-CIELAB's opponent transform and its channel filters (without the
// luminance channel's 7-degree term, which a local change of pixels barely moves). Each
// pixel's error in each channel is weighted, before filtering, by how far one unit of
// that channel moves CIEDE2000 at the local mean colour of a result there (the search's
// start): dark areas and the lightness of saturated colours count as the measure counts
// them. Given a slope, the cost gains the linear term that gives it that slope where the
// search starts. The filtered error is kept in place: a trial costs a few
// multiplications, and a change updates only the neighbourhood that the filters reach.
class DitherSearch {
public:
    // penOfPixel indexes penColours (CPC colour numbers); one pen a pixel of the grid. With
    // pensPerLine, the pens change colour from line to line: penColours (and the
    // weighting's) holds line y's colour of pen p at y × pensPerLine + p.
    DitherSearch(const GridPicture& picture, std::span<const Byte> penColours, std::vector<Byte> penOfPixel,
                 const DitherWeighting& weighting = {}, std::size_t pensPerLine = 0);

    double cost() const { return cost_; }
    // The same cost computed again from the pixels alone, without the kept error.
    double costFromScratch() const;
    // How much the cost changes when a pixel shows another pen.
    double costOfChange(std::size_t pixel, Byte pen) const;
    void change(std::size_t pixel, Byte pen);

    // Starts again from another result, with other factors on the weights and another
    // slope (as in DitherWeighting); the weights' sensitivities stay as first found.
    void reweigh(std::span<const Byte> penColours, std::vector<Byte> penOfPixel, std::span<const float> emphasis,
                 std::span<const std::array<float, 3>> slope);

    // One sweep over every pixel: at each, the best of its changes to another pen and of
    // its swaps with one of its eight neighbours, made when it lowers the cost. Returns
    // how many changes were made; stops early (returning what it made) when `stop` says so.
    std::size_t sweep(const std::function<bool()>& stop);

    // Gives each pen in turn the CPC colour (not shown by another pen) that lowers the
    // cost most, the pixels kept; the colours in `keep` and the border's pen stay.
    // Returns whether a colour changed.
    // Without pensPerLine only.
    bool recolourPens(std::span<const Byte> keep, const std::function<bool()>& stop = {});
    // Gives each of `pens` on line y the CPC colour (not shown by another pen of the line)
    // that lowers the cost most, the pixels kept. With pensPerLine only. Returns whether a
    // colour changed.
    bool recolourLine(int y, std::span<const Byte> pens);

    // The CPC colour, shown by no pen, whose pen would lower the cost most if every pixel
    // that gains by taking it alone took it; -1 when none would. Without pensPerLine only.
    int mostHelpfulNewColour() const;
    // A new pen of the given colour, shown by no pixel yet. Without pensPerLine only.
    void addPen(Byte colour);

    const std::vector<Byte>& penOfPixel() const { return pens_; }
    // The pens' colours; with pensPerLine, each line's.
    const std::vector<Byte>& penColours() const { return colours_; }

private:
    void setColours(std::span<const Byte> colours);
    void addError(std::size_t pixel, const std::array<float, 3>& delta);
    // Adds a change of line y's weighted error in one channel (one value a pixel of the line).
    void addLineError(int y, std::size_t channel, std::span<const float> delta);
    double swapCost(std::size_t first, std::size_t second) const;
    // The opponent value of a pen at a pixel (on the pixel's line).
    const std::array<float, 3>& shown(std::size_t pixel, Byte pen) const {
        return pen_[stride_ == 0 ? pen : pixel / static_cast<std::size_t>(width_) * stride_ + pen];
    }

    int width_ = 0;
    int height_ = 0;
    std::vector<bool> fixed_;                        // border pixels keep their pen
    std::size_t stride_ = 0;                         // pens a line, when they change from line to line
    std::vector<Byte> colours_;                      // CPC colour of each pen (of each line)
    std::vector<std::array<float, 3>> pen_;          // opponent value of each pen (of each line)
    std::vector<std::array<float, 3>> target_;       // opponent value of each pixel of the picture
    std::vector<std::array<float, 3>> sensitivity_;  // CIEDE2000 for one unit of each channel there
    std::vector<std::array<float, 3>> scale_;        // the same times the root of the emphasis
    std::vector<Byte> pens_;
    std::array<DitherKernel, 3> kernels_;         // the filtered plane's autocorrelation, by channel
    std::vector<std::array<float, 3>> filtered_;  // the error correlated with the kernels, weighted
    std::vector<std::array<float, 3>> offset_;    // what the slope adds to it (the cost's linear term)
    double cost_ = 0;
};

struct OptimiseOptions {
    // How long the search may take; zero: until no change helps.
    std::chrono::milliseconds budget{0};
    // How many sweeps it may make; zero: no limit. Ended by sweeps rather than by time, a
    // search gives the same result however busy the machine is.
    int sweeps = 0;
    // Called now and then with the share of the budget spent (0 to 1); returning false
    // cancels the search.
    std::function<bool(double)> progress;
    // CPC colours whose pens keep their colour.
    std::vector<Byte> fixedColours;
    // Keep a sweep only when the quality measure confirms it; without, the search follows
    // its own cost alone to where no change lowers it.
    bool confirmByMeasure = true;
    // Pens whose colours change from line to line: penColours (and the result's) holds
    // line y's colour of pen p at y × pensPerLine + p, and between rounds each line's
    // colours of `linePens` are chosen again (the other pens keep theirs).
    std::size_t pensPerLine = 0;
    std::vector<Byte> linePens;
    // How many pens the result may have: the pens that the start leaves free are filled
    // before the first round and kept if the measure confirms them (0: none added).
    // Without pensPerLine only.
    std::size_t mostPens = 0;
};

struct OptimisedDither {
    std::vector<Byte> penColours;
    std::vector<Byte> penOfPixel;
};

// The time the search takes by default in a mode, so that a whole import stays within
// 2 s in mode 0 and 4 s in modes 1 and 2 on a 2-core machine.
std::chrono::milliseconds defaultOptimiseBudget(Byte cpcMode);

// How many sweeps the search makes over line pens in a mode, in place of a time budget:
// the line pens' own search has taken up to a second already, and a count of sweeps gives
// the same bytes however busy the machine is, so that the window and the converter agree.
// About a second in modes 0 and 1, where the targets of the import lie; mode 2's sweeps
// cover four times the pixels of mode 0's, and its first rounds gain the most.
int linePenSweeps(Byte cpcMode);

// Searches from `start` (a result in the given pens), weighted at it: the pens it leaves
// free filled (OptimiseOptions::mostPens) and black tried in the darkest pen, each kept if
// the measure confirms it; then sweeps until no change helps, then the pens' colours
// chosen again, alternately, while that helps and the quality measure confirms it; then
// rounds of a few sweeps, each from the best result so far with the cost's slope and
// weights set by the measure there, until none helps or the budget is spent. The result
// is the sweep that the measure finds closest, never further from the picture than
// `start`. Nothing when cancelled.
std::optional<OptimisedDither> optimiseDither(const GridPicture& picture, std::span<const Byte> penColours,
                                              std::vector<Byte> start, const OptimiseOptions& options);

}  // namespace varnoke
