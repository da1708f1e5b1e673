// The Z80 routine that the screen file carries in the gaps of screen memory, so that
// the CPC can show the picture with its own mode and pens. For the converter it is
// constant data copied into the screen image at fixed offsets; it finds the mode and
// the pens' gate-array codes in the ink table (image offsets 0x07F1 and 0x07E0).
#pragma once

#include "cpc/screen_encoding.h"
#include "main/program_state.h"

#include <span>
#include <vector>

namespace varnoke {

struct ViewerBlock {
    std::size_t imageOffset;
    std::span<const Byte> bytes;
};

// The blocks of a layout, in the order they are copied: four 48-byte blocks at 0x0FD0,
// 0x17D0, 0x1FD0 and 0x27D0 for the &4000 file; one 32-byte block at 0x0FD0 for the
// &C000 file.
std::span<const ViewerBlock> viewerBlocks(ScreenLayout layout);

// Copies the layout's blocks into the screen image.
void placeViewerRoutine(ScreenImage& image, ScreenLayout layout);

}  // namespace varnoke
