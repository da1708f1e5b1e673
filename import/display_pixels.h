// A picture in linear light made ready to be shown on screen.
#pragma once

#include "import/linear_image.h"

#include <cstdint>
#include <vector>

namespace varnoke {

// The picture in sRGB, 0xFFRRGGBB pixels, rows from the top, shrunk to fit within
// maxWidth × maxHeight with its shape kept (each shown pixel is the source pixel at its
// centre); a picture that fits already is not enlarged.
struct DisplayPixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
};
DisplayPixels displayPixels(const LinearImage& picture, int maxWidth, int maxHeight);

}  // namespace varnoke
