#include "convert/picture_import.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace varnoke {
namespace {

constexpr std::array<std::pair<const char*, DitherMethod>, 9> kDitherNames{{
    {"none", DitherMethod::None},
    {"floyd-steinberg", DitherMethod::FloydSteinberg},
    {"atkinson", DitherMethod::Atkinson},
    {"jarvis", DitherMethod::Jarvis},
    {"stucki", DitherMethod::Stucki},
    {"sierra", DitherMethod::Sierra},
    {"bayer4", DitherMethod::Bayer4},
    {"bayer8", DitherMethod::Bayer8},
    {"pattern", DitherMethod::Pattern},
}};

}  // namespace

ImportSettings importSettings(const ImportOptions& options) {
    ImportSettings settings;
    settings.cpcMode = options.mode;
    settings.resize = options.resize;
    settings.dither.method = options.dither.value_or(defaultDither(options.mode));
    settings.dither.strength = options.ditherStrength;
    settings.colours = options.colours;
    settings.fixedColours = options.pens;
    return settings;
}

Expected<ImportSession> importPicture(ProgramState& state, std::span<const Byte> file, const std::string& fileName,
                                      const ImportOptions& options, const Log& log) {
    log.DEBUG(fileName);
    DecodeOptions decode;
    decode.background = options.background;
    decode.minimumSide = kImportMinimumSide;
    Expected<ImportSession> session = ImportSession::open(file, decode);
    if (!session) {
        log.DEBUG("File rejected: " + session.reason() + "; the picture already loaded is kept");
        return session;
    }
    installImport(state, session.value().run(importSettings(options)), log);
    return session;
}

double scoreOfState(const ImportSession& session, const ImportOptions& options, const ProgramState& state) {
    // Each palette index shows the CPC colour of its filter colour's substitution.
    std::array<Byte, 256> shown{};
    for (std::size_t i = 0; i < shown.size(); ++i) shown[i] = state.colorSubstitution[state.cpcColorOfIndex[i]];
    const std::span<const Byte> pixels(state.pixelData.data(), targetPixelCount(state.cpcMode));
    return session.measure(importSettings(options), pixels, shown);
}

std::optional<ResizeRule> resizeRuleNamed(const std::string& name) {
    if (name == "fill") return ResizeRule::Fill;
    if (name == "fit") return ResizeRule::Fit;
    if (name == "stretch") return ResizeRule::Stretch;
    return std::nullopt;
}

std::optional<DitherMethod> ditherMethodNamed(const std::string& name) {
    for (const auto& [text, method] : kDitherNames)
        if (name == text) return method;
    return std::nullopt;
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
