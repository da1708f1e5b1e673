// Choosing which of the 27 CPC colours the mode's pens show, so that the picture after
// dithering is closest to the source.
#pragma once

#include "import/dithering.h"
#include "import/linear_image.h"

#include <span>
#include <vector>

namespace varnoke {

struct PenOptions {
    // How many pens to use: 0 means all of the mode's pens (16, 4, 2).
    int colours = 0;
    // CPC colours that must be among the pens; the rest are chosen.
    std::vector<Byte> fixedColours;
    // The dithering that will follow; the choice is made for it.
    DitherOptions dither;
};

// The CPC colour numbers (0..26) of the chosen pens, darkest first, no colour twice.
// A picture that needs fewer colours than it may have gets only those it needs.
std::vector<Byte> choosePens(const GridPicture& picture, const PenOptions& options);

// The pens, and the strength and method that the dithering takes with them.
struct PenChoice {
    std::vector<Byte> colours;
    int strength = DitherOptions{}.strength;
    DitherMethod method = DitherOptions{}.method;
    bool withinPens = false;  // DitherOptions::withinPens
};

// The same; when the options' dithering has its strength (or method) chosen, the pens and
// the strength (one of kChoosableStrengths) and method are chosen together: the search's
// closest candidate set is dithered at the strengths next to the given one, with the
// other method and with the other way of carrying the error (DitherOptions::withinPens,
// which every candidate is measured both ways for), and on from the closest while that
// lowers the measure; each colour tried
// in a pen left free is tried at the lowest strength too (a dark picture may need a colour
// that only a sparse dither shows well). Otherwise the strength and method are the options'.
PenChoice choosePensAndStrength(const GridPicture& picture, const PenOptions& options);

// The quick score that the search ranks colour sets by: the picture's colours (sampled
// into bins) each at its distance, in OKLab, from the nearest mix of two colours of the
// set that dithering can show (mixed in linear light), with a charge for the pattern
// that a mix of distant colours shows. Lower is better.
class PenProxy {
public:
    struct Sample {
        std::vector<Vec3> oklab;
        std::vector<float> weight;
    };

    explicit PenProxy(const GridPicture& picture);
    float operator()(std::span<const Byte> colours) const;

private:
    Sample sample_;
    std::vector<float> distances_;  // sample × pair of CPC colours
};

// The colours that the search finds best by the proxy alone (choosePens then measures
// the few best of them dithered).
std::vector<Byte> bestByProxy(const GridPicture& picture, const PenOptions& options);

// How many pens the options ask for in the picture's mode.
int penCount(const GridPicture& picture, const PenOptions& options);

// The colours without repeats, ordered by luminance (darkest first; equal luminance by
// colour number).
std::vector<Byte> darkestFirst(std::vector<Byte> colours);

}  // namespace varnoke
