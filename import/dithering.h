// Putting a picture on the grid into the chosen pens: error diffusion (serpentine, in
// linear light, nearest pen by OKLab distance, neighbours weighed by their true distance
// in the mode's pixel shape), ordered dithering, or none.
#pragma once

#include "import/linear_image.h"

#include <span>
#include <vector>

namespace varnoke {

enum class DitherMethod { None, FloydSteinberg, Atkinson, Jarvis, Stucki, Sierra, Bayer4, Bayer8, Pattern };

struct DitherOptions {
    DitherMethod method = DitherMethod::FloydSteinberg;
    int strength = 100;  // 0..100
};

// The pen (index into `penColours`, CPC colour numbers) of every pixel of the grid.
// Border pixels take the darkest pen.
std::vector<Byte> ditherToPens(const GridPicture& picture, std::span<const Byte> penColours, const DitherOptions& options);

}  // namespace varnoke
