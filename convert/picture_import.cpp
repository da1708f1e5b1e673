#include "convert/picture_import.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace varnoke {
ImportSettings importSettings(const ImportOptions& options) {
    ImportSettings settings;
    settings.cpcMode = options.mode;
    settings.screen = options.screen;
    settings.resize = options.resize;
    settings.dither.method = options.dither.value_or(defaultImportDither(options.mode, options.linePens));
    settings.dither.strength = options.ditherStrength.value_or(settings.dither.strength);
    settings.dither.chooseStrength = !options.ditherStrength.has_value();
    settings.dither.chooseMethod = !options.dither.has_value();
    settings.colours = options.colours;
    settings.fixedColours = options.pens;
    settings.linePens = options.linePens;
    return settings;
}

std::optional<std::vector<Byte>> cpcColourList(const std::string& text) {
    std::vector<Byte> colours;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        int value = -1;
        const char* end = text.data() + comma;
        const auto [stop, error] = std::from_chars(text.data() + start, end, value);
        if (error != std::errc{} || stop != end || value < 0 || value >= kCpcColorCount) return std::nullopt;
        if (std::find(colours.begin(), colours.end(), value) != colours.end()) return std::nullopt;
        colours.push_back(static_cast<Byte>(value));
        start = comma + 1;
    }
    return colours;
}

std::optional<Rgb> rgbFromHex(const std::string& text) {
    std::string_view digits = text;
    if (digits.starts_with('#')) digits.remove_prefix(1);
    unsigned value = 0;
    const auto [stop, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
    if (digits.size() != 6 || error != std::errc{} || stop != digits.data() + digits.size()) return std::nullopt;
    return Rgb{static_cast<Byte>(value >> 16), static_cast<Byte>((value >> 8) & 0xFF), static_cast<Byte>(value & 0xFF)};
}

}  // namespace varnoke
