#include "pcx/pcx_writer.h"

#include "pcx/pcx_header.h"

#include <algorithm>

namespace varnoke {
namespace {

constexpr Byte kPaletteMarker = 12;
constexpr std::size_t kLongestRun = 63;
constexpr std::uint16_t kResolution = 72;

void put16(std::vector<Byte>& out, std::size_t at, std::uint16_t value) {
    out[at] = static_cast<Byte>(value & 0xFF);
    out[at + 1] = static_cast<Byte>(value >> 8);
}

// A run is a count byte (192 + length) and the value; a single pixel below 192 is itself.
// A single pixel of 192 or more is written as a run of one, which every reader takes.
void encodeLine(std::span<const Byte> line, std::vector<Byte>& out) {
    std::size_t x = 0;
    while (x < line.size()) {
        const Byte value = line[x];
        std::size_t length = 1;
        while (x + length < line.size() && line[x + length] == value && length < kLongestRun) ++length;
        if (length > 1 || value >= 192) out.push_back(static_cast<Byte>(192 + length));
        out.push_back(value);
        x += length;
    }
}

}  // namespace

std::vector<Byte> encodePcx(const ProgramState& state) {
    const int width = pictureWidth(state.cpcMode, state.screen);
    std::vector<Byte> out(kPcxHeaderSize, 0);
    out[0] = 10;                                                                  // Manufacturer
    out[1] = 5;                                                                   // Version
    out[2] = 1;                                                                   // Encoding: run-length
    out[3] = 8;                                                                   // BitsPerPixel
    put16(out, 8, static_cast<std::uint16_t>(width - 1));                         // Xmax
    put16(out, 10, static_cast<std::uint16_t>(pictureHeight(state.screen) - 1));  // Ymax
    put16(out, 12, kResolution);                                                  // HDpi
    put16(out, 14, kResolution);                                                  // VDpi
    out[65] = 1;                                                                  // NPlanes
    put16(out, 66, static_cast<std::uint16_t>(width));                            // BytesPerLine
    out[68] = 1;                                                                  // PaletteInfo: colour
    const std::size_t pixels = std::min(state.pixelData.size(), targetPixelCount(state.cpcMode, state.screen));
    const std::span<const Byte> data(state.pixelData.data(), pixels);
    for (std::size_t start = 0; start < pixels; start += static_cast<std::size_t>(width))
        encodeLine(data.subspan(start, std::min<std::size_t>(static_cast<std::size_t>(width), pixels - start)), out);
    out.push_back(kPaletteMarker);
    out.insert(out.end(), state.pcxPalette.begin(), state.pcxPalette.end());
    return out;
}

}  // namespace varnoke
