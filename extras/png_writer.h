// PNG files of the picture area, through libpng.
#pragma once

#include "display/picture_display.h"
#include "main/expected.h"
#include "main/program_state.h"

#include <vector>

namespace varnoke {

// The area as an 8-bit RGB PNG file of 640 × 400 pixels, in memory.
Expected<std::vector<Byte>> encodePng(const PictureArea& area);

}  // namespace varnoke
