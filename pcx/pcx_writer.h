// Writing the loaded picture as a PCX file that the Open command accepts: the header of
// pcx_header.h with Manufacturer 10, Version 5, Encoding 1, 8 bits in 1 plane, the
// picture window (0, 0)-(width - 1, 199), BytesPerLine = width (which gives the mode back)
// and PaletteInfo 1; then each line run-length encoded on its own; then the marker 12 and
// the 256 palette entries. Opening the file gives back the same pixels, palette and
// pixel counts, and so the same screen files.
#pragma once

#include "main/program_state.h"

#include <vector>

namespace varnoke {

// The file's bytes for the picture in `state` (its mode's width × 200 pixels of pixelData,
// and pcxPalette).
std::vector<Byte> encodePcx(const ProgramState& state);

}  // namespace varnoke
