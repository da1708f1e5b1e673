#include "import/display_pixels.h"

#include "import/colour_science.h"

#include <algorithm>
#include <cmath>

namespace varnoke {
namespace {

std::uint32_t srgbByte(float linear) {
    const float value = std::clamp(linearToSrgb(std::clamp(linear, 0.0f, 1.0f)), 0.0f, 1.0f);
    return static_cast<std::uint32_t>(std::lround(value * 255.0f));
}

}  // namespace

DisplayPixels displayPixels(const LinearImage& picture, int maxWidth, int maxHeight) {
    DisplayPixels shown;
    if (picture.width <= 0 || picture.height <= 0 || maxWidth <= 0 || maxHeight <= 0) return shown;
    const double scale =
        std::min({1.0, static_cast<double>(maxWidth) / picture.width, static_cast<double>(maxHeight) / picture.height});
    shown.width = std::max(1, static_cast<int>(picture.width * scale));
    shown.height = std::max(1, static_cast<int>(picture.height * scale));
    shown.pixels.resize(static_cast<std::size_t>(shown.width) * static_cast<std::size_t>(shown.height));
    for (int y = 0; y < shown.height; ++y) {
        const int sourceY = std::min(picture.height - 1, static_cast<int>((y + 0.5) / scale));
        for (int x = 0; x < shown.width; ++x) {
            const int sourceX = std::min(picture.width - 1, static_cast<int>((x + 0.5) / scale));
            const float* rgb = picture.pixel(sourceX, sourceY);
            shown.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(shown.width) +
                         static_cast<std::size_t>(x)] =
                0xFF000000u | (srgbByte(rgb[0]) << 16) | (srgbByte(rgb[1]) << 8) | srgbByte(rgb[2]);
        }
    }
    return shown;
}

}  // namespace varnoke
