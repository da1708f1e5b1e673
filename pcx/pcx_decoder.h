// Decoding a PCX file whose header has been accepted.
//
//  offset        size      content
//  ------------  --------  ----------------------------------------------------------
//  0             128       header (checked beforehand, not read again)
//  128           S - 896   body: run-length-encoded pixel stream
//  S - 768       768       palette: 256 × (red, green, blue)
//
// The byte just before the palette (where a PCX file keeps its marker, 12) counts as the
// last byte of the body and is not checked.
//
// Body encoding: a byte b above 192 (0xC1..0xFF) starts a run of b - 192 pixels (1..63)
// whose value is the next byte; any other byte, 192 (0xC0) included, is one pixel.
// Pixels are appended in stream order regardless of line boundaries, and decoding stops
// after the run that reaches the mode's target count, so up to 62 extra pixels remain.
#pragma once

#include "main/expected.h"
#include "main/program_state.h"

#include <array>
#include <span>
#include <vector>

namespace varnoke {

inline constexpr std::size_t kPcxPaletteSize = 768;
// Header, palette, and no body at all.
inline constexpr std::size_t kPcxMinimumFileSize = 128 + kPcxPaletteSize;

struct DecodedPicture {
    std::array<Byte, 768> pcxPalette{};
    std::vector<Byte> pixelData;
    std::array<std::uint32_t, 256> colorUsage{};
};

// Decodes a whole PCX file for a picture of mode `cpcMode`. Fails, without reading
// past the end of the body, when the file is shorter than 896 bytes or its body ends
// before the picture is complete.
Expected<DecodedPicture> decodePCX(std::span<const Byte> file, Byte cpcMode);

}  // namespace varnoke
