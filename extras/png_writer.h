// PNG files of the picture area, through libpng.
#pragma once

#include "display/picture_display.h"
#include "main/expected.h"
#include "main/program_state.h"

#include <vector>

namespace varnoke {

// The area as an 8-bit RGB PNG file of its size (640 × 400 for a standard picture), in memory.
Expected<std::vector<Byte>> encodePng(const PictureArea& area);

}  // namespace varnoke
