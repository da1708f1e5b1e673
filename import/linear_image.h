// Pictures inside the import: linear-light RGB, the form in which every step of the
// import (resampling, pen choice, dithering, the quality measure) does its colour work.
// The sRGB transfer curve is undone once, after decoding, and put back only to show or
// write a picture.
#pragma once

#include "main/program_state.h"

#include <cstddef>
#include <vector>

namespace varnoke {

// A picture in linear light: for each pixel, rows from the top, each row from the left,
// red, green and blue between 0 and 1 (sRGB primaries, D65 white).
struct LinearImage {
    int width = 0;
    int height = 0;
    std::vector<float> rgb;  // 3 × width × height values

    std::size_t pixelCount() const { return static_cast<std::size_t>(width) * static_cast<std::size_t>(height); }
    const float* pixel(int x, int y) const {
        return rgb.data() +
               3 * (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x));
    }
    float* pixel(int x, int y) {
        return rgb.data() +
               3 * (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x));
    }
};

// A picture on the grid of a CPC mode (160, 320 or 640 × 200, or the overscan grid),
// ready for pen choice and dithering. `border` marks the letterbox pixels that --resize fit adds: they take the
// darkest pen and play no part in choosing the pens.
struct GridPicture {
    Byte cpcMode = 0;
    LinearImage image;
    std::vector<bool> border;  // empty, or one flag per pixel
    ScreenFormat screen = ScreenFormat::Standard;
};

}  // namespace varnoke
