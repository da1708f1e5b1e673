// Putting a picture on the grid into the chosen pens: error diffusion (serpentine, in
// linear light, nearest pen by OKLab distance, neighbours weighed by their true distance
// in the mode's pixel shape), ordered dithering, or none.
#pragma once

#include "import/colour_science.h"
#include "import/linear_image.h"

#include <span>
#include <vector>

namespace varnoke {

// Best: the mode's default error diffusion, then the optimising search of
// import/optimised_dither.h over the quality measure's filtered picture.
enum class DitherMethod { None, FloydSteinberg, Atkinson, Jarvis, Stucki, Sierra, Bayer4, Bayer8, Pattern, Best };

// The defaults are what gives the best pictures by the quality measure: carrying three
// quarters of the error beats full strength on every picture of the quality benchmark,
// in every mode (full error scatters light dots over dark areas). The best method of a
// mode is defaultDither(mode).
struct DitherOptions {
    DitherMethod method = DitherMethod::FloydSteinberg;
    int strength = 75;  // 0..100
};

// The method that gives the best pictures in a mode, for when the user names none (at
// the default strength): Floyd-Steinberg in modes 0 and 1, Sierra in mode 2.
DitherMethod defaultDither(Byte cpcMode);

// The pens' colours in the forms that dithering works with.
class PenPalette {
public:
    explicit PenPalette(std::span<const Byte> penColours);

    std::size_t size() const { return linear_.size(); }
    Vec3 linear(Byte pen) const { return linear_[pen]; }
    Byte colour(Byte pen) const { return colours_[pen]; }
    // The pen nearest to a linear colour by OKLab distance; the lower pen on a tie.
    Byte nearest(Vec3 linearColour) const;
    // The pen nearest by distance in linear light.
    Byte nearestLinear(Vec3 linearColour) const;
    // The pen of least luminance, for the border of a letterboxed picture.
    Byte darkest() const { return darkest_; }

private:
    std::vector<Byte> colours_;
    std::vector<Vec3> linear_;
    std::vector<Vec3> oklab_;
    Byte darkest_ = 0;
};

// The pen (index into `penColours`, CPC colour numbers) of every pixel of the grid.
// Border pixels take the darkest pen. Strength 0 is the same as no dithering. Best keeps
// the pens' colours here and searches for its default time (the import session also
// chooses the pens' colours again, and reports progress).
std::vector<Byte> ditherToPens(const GridPicture& picture, std::span<const Byte> penColours,
                               const DitherOptions& options);
std::vector<Byte> ditherToPens(const GridPicture& picture, const PenPalette& pens, const DitherOptions& options);

}  // namespace varnoke
