// Small tools shared by the core tests: a log that keeps its lines, and a PCX writer
// that is independent of the decoder under test.
#pragma once

#include "main/program_state.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace varnoke::test {

// A Log whose lines land in a vector.
struct CapturedLog {
    std::vector<std::string> lines;
    Log log{[this](std::string_view line) { lines.emplace_back(line); }};
};

struct PcxFields {
    std::uint16_t width = 160;
    std::uint16_t height = 200;
    std::uint16_t bytesPerLine = 160;
    std::uint16_t xmin = 0;
    std::uint16_t ymin = 0;
};

// A header with every field valid for the given geometry.
std::array<Byte, 128> pcxHeader(const PcxFields& fields);

// A whole PCX file: header, pixels run-length encoded line by line (runs of up to 63,
// single bytes below 0xC0 stored plain), the 0x0C marker and a 768-byte palette.
std::vector<Byte> pcxFile(const PcxFields& fields, const std::vector<Byte>& pixels,
                          const std::array<Byte, 768>& palette);

// A palette whose entry i is `colors[i]` (R, G, B), the rest black.
std::array<Byte, 768> paletteOf(const std::vector<std::array<Byte, 3>>& colors);

}  // namespace varnoke::test
