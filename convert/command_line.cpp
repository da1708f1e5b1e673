#include "convert/command_line.h"

#include "extras/disc_image.h"
#include "cpc/save_command.h"
#include "cpc/screen_file_reader.h"
#include "extras/cpc_preview.h"
#include "extras/png_writer.h"
#include "main/file_access.h"
#include "palette/palette_check.h"
#include "palette/palette_fit.h"
#include "pcx/open_command.h"

#include <array>
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

// Draws the screen image as the CPC shows it and writes it as a PNG file.
std::optional<std::string> writePreview(std::span<const Byte, kScreenImageSize> image, const std::string& path,
                                        const Log& log) {
    Expected<PictureArea> area = previewScreenImage(image);
    if (!area) return area.reason();
    Expected<std::vector<Byte>> png = encodePng(area.value());
    if (!png) return png.reason();
    const std::array<FileToWrite, 1> write{{{path, png.value()}}};
    if (std::optional<std::string> failure = writeFilesAtomically(write)) return failure;
    log.DEBUG("Preview written: " + path);
    return std::nullopt;
}

// --show: draws an existing screen file.
int runShow(const ConvertOptions& options, const Log& log, std::ostream& err) {
    // Larger files are read only as far as needed to say they are too large.
    Expected<std::vector<Byte>> bytes = readWholeFile(options.showFile, 1u << 20);
    if (!bytes) {
        err << kProgram << ": " << bytes.reason() << '\n';
        return 1;
    }
    Expected<ScreenFile> screen = parseScreenFile(bytes.value());
    if (!screen) {
        err << kProgram << ": " << options.showFile << " is not a screen file of this program: " << screen.reason()
            << '\n';
        return 1;
    }
    const ScreenFile& file = screen.value();
    if (file.layout != options.layout) {
        err << kProgram << ": " << options.showFile << " loads at "
            << (file.layout == ScreenLayout::At4000 ? "&4000" : "&C000") << ", not at "
            << (options.layout == ScreenLayout::At4000 ? "&4000" : "&C000") << "; "
            << (options.layout == ScreenLayout::AtC000 ? "drop --c000" : "add --c000") << '\n';
        return 1;
    }
    log.DEBUG(options.showFile);
    log.DEBUG("Mode = ", file.inks.mode);
    for (int pen = 0; pen < pensOfMode(file.inks.mode); ++pen)
        log.DEBUG("Pen " + std::to_string(pen) + " = ", file.inks.colors[static_cast<std::size_t>(pen)]);
    if (std::optional<std::string> failure = writePreview(file.image, options.output, log)) {
        err << kProgram << ": nothing written: " << *failure << '\n';
        return 1;
    }
    return 0;
}

}  // namespace

std::string usageText() {
    return R"(Usage: varnoke-pcx-convert [options] INPUT.pcx OUTPUT[.scr]
       varnoke-pcx-convert --show FILE.scr [--c000] [--log] OUTPUT.png

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
  --fit         after the --map options, give every colour that the mode's pens
                do not show the nearest colour that one of them shows
  --preview FILE.png
                also write a 640 x 400 PNG picture of what the CPC will show
  --dsk DISC.dsk
                also put OUTPUT.scr and OUTPUT.pal on this CPC data disc image,
                named NAME.SCR and NAME.PAL after OUTPUT; the image is created
                if missing, and files of the same name on it are replaced
  --show FILE.scr
                draw a screen file written by this program as OUTPUT.png (its
                mode and pens come from the file); --c000 says it loads at &C000
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
        } else if (a == "--fit") {
            options.fit = true;
        } else if (a == "--preview" || a == "--dsk" || a == "--show") {
            Expected<std::string> text = valueOf(a.c_str());
            if (!text) return Failure{text.reason()};
            if (text.value().empty()) return Failure{a + " needs a file name"};
            (a == "--preview" ? options.previewFile : a == "--dsk" ? options.discImage : options.showFile) =
                text.value();
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
    if (!options.showFile.empty()) {
        const bool converting = options.fit || !options.previewFile.empty() || !options.discImage.empty() ||
                                !options.substitutions.empty() || options.low != 21 || options.high != 41;
        if (converting) return Failure{"--show draws a screen file; it takes only --c000 and --log"};
        if (files.size() != 1) return Failure{"--show FILE.scr expects one OUTPUT.png file name"};
        options.output = files[0];
        return options;
    }
    if (files.size() != 2) return Failure{"expected an INPUT and an OUTPUT file name"};
    options.input = files[0];
    options.output = files[1];
    return options;
}

namespace {

// --preview and --dsk, after the two files are saved: both work on the same bytes as
// the files just written.
int writeExtras(const ProgramState& state, const ConvertOptions& options, const SaveOutcome& saved, const Log& log,
                std::ostream& err) {
    if (options.previewFile.empty() && options.discImage.empty()) return 0;
    const OutputFiles files = buildOutputFiles(state, options.layout, Log());
    int status = 0;
    if (!options.previewFile.empty()) {
        const std::span<const Byte, kScreenImageSize> image(files.screenFile.data() + kAmsdosHeaderSize,
                                                            kScreenImageSize);
        if (std::optional<std::string> failure = writePreview(image, options.previewFile, log)) {
            err << kProgram << ": " << saved.screenFile.string() << " and " << saved.paletteFile.string()
                << " written, but no preview: " << *failure << '\n';
            status = 1;
        }
    }
    if (!options.discImage.empty()) {
        if (std::optional<std::string> failure = writeOutputToDiscImage(files, options.output, options.discImage, log)) {
            err << kProgram << ": " << saved.screenFile.string() << " and " << saved.paletteFile.string()
                << " written, but not put on the disc image: " << *failure << '\n';
            status = 1;
        }
    }
    return status;
}

}  // namespace

int runConverter(const ConvertOptions& options, std::ostream& out, std::ostream& err) {
    const Log log = options.printLog ? Log([&out](std::string_view line) { out << line << '\n'; }) : Log();
    if (!options.showFile.empty()) return runShow(options, log, err);

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

    if (options.fit) fitPalette(state, log);

    const SaveOutcome saved = saveFiles(state, options.layout, options.output, log);
    switch (saved.status) {
        case SaveStatus::Saved:
            return writeExtras(state, options, saved, log, err);
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
