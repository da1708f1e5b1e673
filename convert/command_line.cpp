#include "convert/command_line.h"

#include "cpc/save_command.h"
#include "palette/palette_check.h"
#include "pcx/open_command.h"

#include <charconv>
#include <ostream>

namespace varnoke {
namespace {

constexpr const char* kProgram = "varnoke-pcx-convert";

std::optional<int> parseNumber(const std::string& text, int min, int max) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc{} || stop != end || value < min || value > max) return std::nullopt;
    return value;
}

// "pens 0 to 3 show colours 0, 26, 6 and 9": what a --map can aim at.
std::string colorsOfModePens(const ProgramState& state) {
    std::string text;
    const Byte pens = pensPerMode(state);
    for (Byte pen = 0; pen < pens; ++pen) {
        const Byte filter = state.inkBoxes[pen].filterColor;
        if (filter == kEmptyPen) continue;
        if (!text.empty()) text += ", ";
        text += std::to_string(state.colorSubstitution[filter]);
    }
    return text;
}

}  // namespace

std::string usageText() {
    return R"(Usage: varnoke-pcx-convert [options] INPUT.pcx OUTPUT[.scr]

Converts a 256-colour PCX picture of 160, 320 or 640 x 200 pixels into Amstrad CPC
files: OUTPUT.scr (screen memory with its palette and a viewer routine) and OUTPUT.pal.
A final lower-case ".scr" of OUTPUT is dropped before the two extensions are added.
The picture width gives the CPC mode: 160 -> mode 0 (16 pens), 320 -> mode 1 (4 pens),
640 -> mode 2 (2 pens).

Options:
  --c000        write a screen file that loads at &C000 (the displayed screen);
                by default it loads at &4000 and CALL &4FD0 shows it
  --low N       low threshold, 0 to 62 (default 21)
  --high N      high threshold, 0 to 62 (default 41); each colour component (0-63)
                above High is full, above Low half, otherwise off
  --map F=H     show and save filter colour F as CPC colour H (both 0 to 26);
                repeat as needed to fit a picture into the mode's pens
  --log         print the conversion log, one line per step
  --help        show this text

Exit status: 0 converted, 1 input rejected, palette does not fit or output not
written, 2 usage error.
)";
}

Expected<ConvertOptions> parseCommandLine(const std::vector<std::string>& arguments) {
    ConvertOptions options;
    std::vector<std::string> files;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        auto valueOf = [&](const char* name) -> Expected<std::string> {
            if (i + 1 >= arguments.size()) return Failure{std::string(name) + " needs a value"};
            return arguments[++i];
        };
        if (a == "--help" || a == "-h") {
            options.help = true;
        } else if (a == "--c000") {
            options.layout = ScreenLayout::AtC000;
        } else if (a == "--log") {
            options.printLog = true;
        } else if (a == "--low" || a == "--high") {
            Expected<std::string> text = valueOf(a.c_str());
            if (!text) return Failure{text.reason()};
            const std::optional<int> value = parseNumber(text.value(), kThresholdMin, kThresholdMax);
            if (!value) return Failure{a + " takes a whole number from 0 to 62, not '" + text.value() + "'"};
            (a == "--low" ? options.low : options.high) = *value;
        } else if (a == "--map") {
            Expected<std::string> text = valueOf("--map");
            if (!text) return Failure{text.reason()};
            const std::string& map = text.value();
            const std::size_t equals = map.find('=');
            const std::optional<int> from =
                equals == std::string::npos ? std::nullopt : parseNumber(map.substr(0, equals), 0, 26);
            const std::optional<int> to =
                equals == std::string::npos ? std::nullopt : parseNumber(map.substr(equals + 1), 0, 26);
            if (!from || !to) return Failure{"--map takes F=H with two colour numbers from 0 to 26, not '" + map + "'"};
            options.substitutions.emplace_back(static_cast<Byte>(*from), static_cast<Byte>(*to));
        } else if (a.size() > 1 && a[0] == '-') {
            return Failure{"unknown option " + a};
        } else {
            files.push_back(a);
        }
    }
    if (options.help) return options;
    if (files.size() != 2) return Failure{"expected an INPUT and an OUTPUT file name"};
    options.input = files[0];
    options.output = files[1];
    return options;
}

int runConverter(const ConvertOptions& options, std::ostream& out, std::ostream& err) {
    const Log log = options.printLog ? Log([&out](std::string_view line) { out << line << '\n'; }) : Log();

    ProgramState state;
    state.thresholdLow = options.low;
    state.thresholdHigh = options.high;
    // Substitutions are in place before the palette is first built, which gives the
    // same pens and colours as rebuilding it after the edits.
    for (const auto& [filter, cpcColor] : options.substitutions) state.colorSubstitution[filter] = cpcColor;

    const OpenOutcome opened = openPictureFile(state, options.input, options.input, log);
    if (!opened.accepted) {
        err << kProgram << ": " << options.input << ": " << opened.reason << '\n';
        return 1;
    }

    const SaveOutcome saved = saveFiles(state, options.layout, options.output, log);
    switch (saved.status) {
        case SaveStatus::Saved:
            return 0;
        case SaveStatus::PaletteRefused: {
            const PenOutsideMode& problem = *saved.penOutsideMode;
            const Byte pens = pensPerMode(state);
            err << kProgram << ": nothing written: mode " << int{state.cpcMode} << " has " << int{pens}
                << " pens, but pen " << int{problem.pen} << " shows filter colour " << int{problem.filterColor}
                << " as CPC colour " << int{state.colorSubstitution[problem.filterColor]}
                << ", which none of pens 0 to " << pens - 1 << " shows; give it one of their colours ("
                << colorsOfModePens(state) << ") with --map " << int{problem.filterColor} << "=H\n";
            return 1;
        }
        case SaveStatus::NoPicture:
        case SaveStatus::WriteFailed:
            break;
    }
    err << kProgram << ": nothing written: " << saved.reason << '\n';
    return 1;
}

}  // namespace varnoke
