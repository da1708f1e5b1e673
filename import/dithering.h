// Putting a picture on the grid into the chosen pens: error diffusion (serpentine, in
// linear light, nearest pen by OKLab distance, neighbours weighed by their true distance
// in the mode's pixel shape), ordered dithering, or none.
#pragma once

#include "import/colour_science.h"
#include "import/linear_image.h"

#include <array>
#include <span>
#include <vector>

namespace varnoke {

// Best: the mode's default error diffusion, then the optimising search of
// import/optimised_dither.h over the quality measure's filtered picture.
enum class DitherMethod { None, FloydSteinberg, Atkinson, Jarvis, Stucki, Sierra, Bayer4, Bayer8, Pattern, Best };

// The defaults are what gives the best pictures by the quality measure: as one fixed
// strength, carrying three quarters of the error beats full strength on every picture of
// the quality benchmark, in every mode (full error scatters light dots over dark areas);
// chosen for each picture, smooth photos take full strength and dark or flat pictures
// less. The best method of a mode is defaultDither(mode).
struct DitherOptions {
    DitherMethod method = DitherMethod::FloydSteinberg;
    int strength = 75;  // 0..100
    // The strength is chosen for each picture, with its pens, by the quality measure
    // (choosePensAndStrength): `strength` is where the choice starts. Only error diffusion
    // has a strength to choose.
    bool chooseStrength = false;
    // The same for the method, between Floyd-Steinberg and Sierra (from `method`, one of them),
    // with withinPens.
    bool chooseMethod = false;
    // Error diffusion carries each pixel's error from its colour brought within the colours
    // that the pens can mix (for two pens, only the part along the line between them): no
    // mix can show the rest, which otherwise only sways the choice of the next pixels'
    // pens. It helps where a picture's colours lie far outside the pens' (a photo in few
    // pens), not always: the measure chooses it with the method (choosePensAndStrength).
    bool withinPens = false;
};

// The strengths that a chosen strength is one of: from dithering little, where it only
// adds noise (dark and flat pictures), to full strength, where the eye sees the mix more
// than the pattern.
inline constexpr std::array<int, 5> kChoosableStrengths{40, 60, 75, 90, 100};

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
    // The pen nearest to a linear colour by OKLab distance; the lower pen on a tie. Gives
    // the squared distance too when asked.
    Byte nearest(Vec3 linearColour, float* squaredOklabDistance = nullptr) const;
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

// One neighbour of an error-diffusion kernel: dx along the scan (forward is positive),
// dy lines down, and its share of the error.
struct DiffusionTap {
    int dx;
    int dy;
    float weight;
};

// Dithering one line at a time, each line with pens of its own (pens whose colours change
// from line to line). Error diffusion carries the error of each line into the lines below
// as it does over a whole picture; the other methods treat each pixel on its own.
class LineDithering {
public:
    LineDithering(const GridPicture& picture, const DitherOptions& options);

    // How well `pens` would show line y, keeping nothing (lower is better): the OKLab
    // distance of the line's local means (5 pixels wide) from those of the line with the
    // error carried into it, and a quarter of the distance of each pixel from its pen.
    float trial(int y, const PenPalette& pens);
    // Dithers line y into `pens` (one pen a pixel of the line); its error carries on.
    void dither(int y, const PenPalette& pens, std::span<Byte> linePens);

private:
    const GridPicture& picture_;
    DitherOptions options_;
    std::vector<DiffusionTap> taps_;  // empty: a method without diffusion
    float strength_ = 0;
    std::vector<float> work_;  // the picture with the error carried so far
    std::vector<float> scratch_;
    std::vector<Byte> scratchPens_;
    std::vector<Vec3> wanted_;  // the OKLab of the local means of line wantedLine_'s target
    int wantedLine_ = -1;
};

// The pen (index into `penColours`, CPC colour numbers) of every pixel of the grid.
// Border pixels take the darkest pen. Strength 0 is the same as no dithering. Best keeps
// the pens' colours here and searches for its default time (the import session also
// chooses the pens' colours again, and reports progress).
std::vector<Byte> ditherToPens(const GridPicture& picture, std::span<const Byte> penColours,
                               const DitherOptions& options);
std::vector<Byte> ditherToPens(const GridPicture& picture, const PenPalette& pens, const DitherOptions& options);

}  // namespace varnoke
