#include "convert/command_line.h"

#include "cpc/raster_routine.h"
#include "main/file_access.h"
#include "main/version.h"
#include "palette/palette_fit.h"
#include "pcx/open_command.h"
#include "workflow/choices.h"
#include "workflow/picture_road.h"
#include "workflow/saving.h"

#include <CLI/CLI.hpp>

#include <array>
#include <charconv>
#include <ostream>
#include <string_view>

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

// --show: draws an existing screen file.
int runShow(const ConvertOptions& options, const Log& log, std::ostream& err) {
    if (const Expected<void> shown = showScreenFile(options.showFile, options.layout, options.output, log); !shown) {
        err << kProgram << ": " << (shown.kind() == FailureKind::CannotWrite ? "nothing written: " : "")
            << shown.reason() << '\n';
        return 1;
    }
    return 0;
}

// The converter's options. Each row is one option: its name (a CLI11 name list, the
// first name is the one shown and named in messages), the name of its value (none for
// a flag), its help text ('\n' starts a continuation line), whether --show accepts it,
// and how its value is stored. Adding an option is adding a row.
enum class WithShow { Accepted, Refused };

using OptionSetter = Expected<void> (*)(ConvertOptions& options, std::string_view name, const std::string& value);

struct OptionRow {
    const char* names;
    const char* valueName;
    std::string help;
    WithShow withShow;
    OptionSetter set;
};

template <bool ConvertOptions::*Field>
Expected<void> setFlag(ConvertOptions& options, std::string_view, const std::string&) {
    options.*Field = true;
    return {};
}

Expected<void> setC000(ConvertOptions& options, std::string_view, const std::string&) {
    options.layout = ScreenLayout::AtC000;
    return {};
}

Expected<void> setOcpPalette(ConvertOptions& options, std::string_view, const std::string&) {
    options.paletteModeByte = PaletteModeByte::PictureMode;
    return {};
}

template <int ConvertOptions::*Field>
Expected<void> setThreshold(ConvertOptions& options, std::string_view name, const std::string& value) {
    const std::optional<int> number = parseNumber(value, kThresholdMin, kThresholdMax);
    if (!number) return Failure{std::string(name) + " takes a whole number from 0 to 62, not '" + value + "'"};
    options.*Field = *number;
    return {};
}

template <std::string ConvertOptions::*Field>
Expected<void> setFileName(ConvertOptions& options, std::string_view name, const std::string& value) {
    if (value.empty()) return Failure{std::string(name) + " needs a file name"};
    options.*Field = value;
    return {};
}

Expected<void> addSubstitution(ConvertOptions& options, std::string_view, const std::string& map) {
    const std::size_t equals = map.find('=');
    const std::optional<int> from =
        equals == std::string::npos ? std::nullopt : parseNumber(map.substr(0, equals), 0, kCpcColorCount - 1);
    const std::optional<int> to =
        equals == std::string::npos ? std::nullopt : parseNumber(map.substr(equals + 1), 0, kCpcColorCount - 1);
    if (!from || !to) return Failure{"--map takes F=H with two colour numbers from 0 to 26, not '" + map + "'"};
    options.substitutions.emplace_back(static_cast<Byte>(*from), static_cast<Byte>(*to));
    return {};
}

Expected<void> setMode(ConvertOptions& options, std::string_view name, const std::string& value) {
    const std::optional<int> mode = parseNumber(value, 0, 2);
    if (!mode) return Failure{std::string(name) + " takes 0, 1 or 2, not '" + value + "'"};
    options.import.mode = static_cast<Byte>(*mode);
    options.import.requested = true;
    return {};
}

Expected<void> setScreen(ConvertOptions& options, std::string_view name, const std::string& value) {
    const std::optional<ScreenFormat> screen = screenNamed(value);
    if (!screen) return Failure{std::string(name) + " takes " + screenWordList() + ", not '" + value + "'"};
    options.import.screen = *screen;
    options.import.requested = true;
    return {};
}

Expected<void> setResize(ConvertOptions& options, std::string_view name, const std::string& value) {
    const std::optional<ResizeRule> rule = resizeRuleNamed(value);
    if (!rule) return Failure{std::string(name) + " takes " + resizeWordList() + ", not '" + value + "'"};
    options.import.resize = *rule;
    options.import.requested = true;
    return {};
}

Expected<void> setDither(ConvertOptions& options, std::string_view name, const std::string& value) {
    const std::optional<DitherMethod> method = ditherMethodNamed(value);
    if (!method) return Failure{std::string(name) + " takes " + ditherWordList() + ", not '" + value + "'"};
    options.import.dither = *method;
    options.import.requested = true;
    return {};
}

template <int ImportOptions::*Field, int Min, int Max>
Expected<void> setImportNumber(ConvertOptions& options, std::string_view name, const std::string& value) {
    const std::optional<int> number = parseNumber(value, Min, Max);
    if (!number)
        return Failure{std::string(name) + " takes a whole number from " + std::to_string(Min) + " to " +
                       std::to_string(Max) + ", not '" + value + "'"};
    options.import.*Field = *number;
    options.import.requested = true;
    return {};
}

Expected<void> setDitherStrength(ConvertOptions& options, std::string_view name, const std::string& value) {
    const std::optional<int> number = parseNumber(value, 0, 100);
    if (!number) return Failure{std::string(name) + " takes a whole number from 0 to 100, not '" + value + "'"};
    options.import.ditherStrength = *number;
    options.import.requested = true;
    return {};
}

Expected<void> setPens(ConvertOptions& options, std::string_view name, const std::string& value) {
    const std::optional<std::vector<Byte>> colours = cpcColourList(value);
    if (!colours)
        return Failure{std::string(name) +
                       " takes CPC colour numbers from 0 to 26 separated by commas, each once, not '" + value + "'"};
    options.import.pens = *colours;
    options.import.requested = true;
    return {};
}

Expected<void> setBackground(ConvertOptions& options, std::string_view name, const std::string& value) {
    const std::optional<Rgb> colour = rgbFromHex(value);
    if (!colour)
        return Failure{std::string(name) + " takes a colour as six hexadecimal digits RRGGBB, not '" + value + "'"};
    options.import.background = *colour;
    options.import.requested = true;
    return {};
}

Expected<void> setSavePcx(ConvertOptions& options, std::string_view name, const std::string& value) {
    if (value.empty()) return Failure{std::string(name) + " needs a file name"};
    options.import.savePcx = value;
    options.import.requested = true;
    return {};
}

Expected<void> setScore(ConvertOptions& options, std::string_view, const std::string&) {
    options.import.score = true;
    options.import.requested = true;
    return {};
}

// A help text of the tables' words, cut into lines of at most 62 characters.
std::string wrapped(const std::string& text) {
    constexpr std::size_t kWidth = 62;
    std::string lines;
    std::size_t lineStart = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find(' ', at);
        if (end == std::string::npos) end = text.size();
        if (end - lineStart > kWidth && at > lineStart) {
            lines.back() = '\n';
            lineStart = lines.size();
        }
        lines += text.substr(at, end - at + 1);
        at = end + 1;
    }
    return lines;
}

std::string modeHelp() {
    std::string text = "import the picture for CPC mode M:";
    for (std::size_t i = 0; i < kModeChoices.size(); ++i)
        text += std::string(i == 0                         ? " "
                            : i + 1 == kModeChoices.size() ? " or "
                                                           : ", ") +
                kModeChoices[i].word + " (" + kModeChoices[i].shape + (i == 0 ? ", the default)" : ")");
    return wrapped(text);
}

std::string screenHelp() {
    std::string text;
    for (std::size_t i = 0; i < kScreenChoices.size(); ++i)
        text += std::string(i == 0                           ? ""
                            : i + 1 == kScreenChoices.size() ? " or "
                                                             : ", ") +
                kScreenChoices[i].word + " (" + kScreenChoices[i].help + ")";
    return wrapped(text);
}

std::string resizeHelp() {
    std::string text;
    for (std::size_t i = 0; i < kResizeChoices.size(); ++i)
        text += std::string(i == 0                           ? ""
                            : i + 1 == kResizeChoices.size() ? " or "
                                                             : ", ") +
                kResizeChoices[i].word + " (" + kResizeChoices[i].help + ")";
    return wrapped(text);
}

const std::array kOptionTable{
    OptionRow{"--mode", "M", modeHelp(), WithShow::Refused, setMode},
    OptionRow{"--screen", "SCREEN", screenHelp(), WithShow::Refused, setScreen},
    OptionRow{"--resize", "RULE", resizeHelp(), WithShow::Refused, setResize},
    OptionRow{"--dither", "METHOD",
              wrapped(ditherWordList() +
                      " (default: floyd-steinberg or sierra, whichever brings the picture closest, starting from " +
                      ditherDefaultsText() + ")"),
              WithShow::Refused, setDither},
    OptionRow{"--dither-strength", "N",
              "how strongly to dither, 0 to 100 (default: 40, 60, 75, 90 or\n"
              "100, whichever brings the picture closest)",
              WithShow::Refused, setDitherStrength},
    OptionRow{"--colours", "N", "use only N of the mode's pens (default: all of them)", WithShow::Refused,
              setImportNumber<&ImportOptions::colours, 1, 16>},
    OptionRow{"--pens", "C1,C2,...", "CPC colours (0 to 26) that must be among the pens; the rest are chosen",
              WithShow::Refused, setPens},
    OptionRow{"--line-pens", "K",
              "give K pens a new colour on every line, at most 3 in modes 0\n"
              "and 1, 1 in mode 2 (one pen at least stays fixed), dithered\n"
              "as by best unless --dither names a method; also writes\n"
              "OUTPUT.ras, whose routine shows the picture (CALL &8000)",
              WithShow::Refused, setImportNumber<&ImportOptions::linePens, 1, 3>},
    OptionRow{"--background", "RRGGBB", "the colour that transparent pixels show (default 000000, black)",
              WithShow::Refused, setBackground},
    OptionRow{"--save-pcx", "FILE.pcx",
              "also write the imported picture as a 256-colour PCX file that\n"
              "opens as it is and gives the same screen files",
              WithShow::Refused, setSavePcx},
    OptionRow{"--score", nullptr,
              "print how far the result is from the picture: the mean S-CIELAB\n"
              "CIEDE2000 difference (lower is closer)",
              WithShow::Refused, setScore},
    OptionRow{"--c000", nullptr,
              "write a screen file that loads at &C000 (the displayed screen);\n"
              "by default it loads at &4000 and CALL &4FD0 shows it (the\n"
              "overscan file has one form only, loaded at &0170)",
              WithShow::Accepted, setC000},
    OptionRow{"--low", "N", "low threshold, 0 to 62 (default 21)", WithShow::Refused,
              setThreshold<&ConvertOptions::low>},
    OptionRow{"--high", "N",
              "high threshold, 0 to 62 (default 41); each colour component (0-63)\n"
              "above High is full, above Low half, otherwise off",
              WithShow::Refused, setThreshold<&ConvertOptions::high>},
    OptionRow{"--map", "F=H",
              "show and save filter colour F as CPC colour H (both 0 to 26);\n"
              "repeat as needed to fit a picture into the mode's pens",
              WithShow::Refused, addSubstitution},
    OptionRow{"--fit", nullptr,
              "after the --map options, give every colour that the mode's pens\n"
              "do not show the nearest colour that one of them shows",
              WithShow::Refused, setFlag<&ConvertOptions::fit>},
    OptionRow{"--preview", "FILE.png",
              "also write a PNG picture of what the CPC will show: 640 x 400,\n"
              "or the whole 832 x 576 display for an overscan picture",
              WithShow::Refused, setFileName<&ConvertOptions::previewFile>},
    OptionRow{"--dsk", "DISC.dsk",
              "also put OUTPUT.scr and OUTPUT.pal on this CPC data disc image,\n"
              "named NAME.SCR and NAME.PAL after OUTPUT, with the BASIC loader\n"
              "NAME.BAS (RUN\"NAME shows the picture); the image is created\n"
              "if missing, and files of the same name on it are replaced",
              WithShow::Refused, setFileName<&ConvertOptions::discImage>},
    OptionRow{"--show", "FILE.scr",
              "draw a screen file written by this program as OUTPUT.png (its\n"
              "mode and pens come from the file); --c000 says it loads at &C000",
              WithShow::Accepted, setFileName<&ConvertOptions::showFile>},
    OptionRow{"--ocp-pal", nullptr,
              "write the picture's mode into the palette file's first byte, where\n"
              "readers of the OCP palette format look for it (by default it is 0)",
              WithShow::Refused, setOcpPalette},
    OptionRow{"--log", nullptr, "print the conversion log, one line per step", WithShow::Accepted,
              setFlag<&ConvertOptions::printLog>},
    OptionRow{"--version", nullptr, "print the program's version", WithShow::Accepted,
              setFlag<&ConvertOptions::version>},
    OptionRow{"--help,-h", nullptr, "show this text", WithShow::Accepted, setFlag<&ConvertOptions::help>},
};

// "--help,-h" is shown and named as "--help".
std::string_view shownName(const OptionRow& row) {
    const std::string_view names = row.names;
    return names.substr(0, names.find(','));
}

// One option's lines of --help: the name and value, then the text from column 17.
std::string helpOf(const OptionRow& row) {
    constexpr std::size_t kTextColumn = 16;
    std::string head = "  " + std::string(shownName(row));
    if (row.valueName != nullptr) head += std::string(" ") + row.valueName;
    head += head.size() < kTextColumn - 1 ? std::string(kTextColumn - head.size(), ' ')
                                          : "\n" + std::string(kTextColumn, ' ');
    std::string text;
    for (const char c : std::string_view(row.help))
        text += c == '\n' ? "\n" + std::string(kTextColumn, ' ') : std::string(1, c);
    return head + text + "\n";
}

// Reads the arguments with CLI11 into raw values, in the order of the table.
struct RawCommandLine {
    std::vector<std::vector<std::string>> values;  // per row: one entry per use ("" for a flag)
    std::vector<std::string> files;
    std::vector<std::string> unknown;
};

// CLI11 reads "--low=" as "--low" and takes the next argument as its value; an empty
// value after '=' is refused instead, before any option takes the next argument.
Expected<void> checkEmptyValues(const std::vector<std::string>& arguments) {
    for (const std::string& argument : arguments) {
        if (argument == "--") break;
        if (argument.starts_with("--") && argument.find('=') == argument.size() - 1)
            return Failure{argument.substr(0, argument.size() - 1) + " needs a value"};
    }
    return {};
}

// CLI11's own words for a missing value or a value given to a flag, in this program's.
std::string describeParseError(const CLI::ParseError& error) {
    const std::string_view what = error.what();
    for (const OptionRow& row : kOptionTable) {
        const std::string name(shownName(row));
        if (what.starts_with(name + ":")) return name + " needs a value";
        if (what.starts_with(name.substr(2) + " was given")) return name + " takes no value";
    }
    return std::string(what);
}

Expected<RawCommandLine> readArguments(const std::vector<std::string>& arguments) {
    CLI::App app;
    app.set_help_flag();
    app.allow_extras();
    std::vector<CLI::Option*> options;
    for (const OptionRow& row : kOptionTable) {
        if (row.valueName == nullptr)
            options.push_back(app.add_flag(row.names)->disable_flag_override());
        else
            options.push_back(app.add_option(row.names)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll));
    }
    RawCommandLine raw;
    app.add_option("files", raw.files);
    if (Expected<void> values = checkEmptyValues(arguments); !values) return Failure{values.reason()};
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& error) {
        return Failure{describeParseError(error)};
    }
    for (const CLI::Option* option : options)
        raw.values.push_back(option->get_expected_min() == 0 ? std::vector<std::string>(option->count(), "")
                                                             : option->results());
    // The end of options "--" is kept among the arguments that no option took.
    for (std::string& argument : app.remaining())
        if (argument != "--") raw.unknown.push_back(std::move(argument));
    return raw;
}

Expected<void> checkShowOptions(const RawCommandLine& raw) {
    for (std::size_t row = 0; row < kOptionTable.size(); ++row)
        if (kOptionTable[row].withShow == WithShow::Refused && !raw.values[row].empty())
            return Failure{"--show draws a screen file; it takes only --c000 and --log, not " +
                           std::string(shownName(kOptionTable[row]))};
    return {};
}

// Which files the options need: --show FILE.scr OUTPUT.png, or INPUT and OUTPUT.
Expected<void> takeFileNames(ConvertOptions& options, const RawCommandLine& raw) {
    for (const std::string& file : raw.files)
        if (file.empty()) return Failure{"a file name is empty"};
    if (!options.showFile.empty()) {
        if (Expected<void> checked = checkShowOptions(raw); !checked) return checked;
        if (raw.files.size() != 1) return Failure{"--show FILE.scr expects one OUTPUT.png file name"};
        options.output = raw.files[0];
        return {};
    }
    if (raw.files.size() != 2) return Failure{"expected an INPUT and an OUTPUT file name"};
    options.input = raw.files[0];
    options.output = raw.files[1];
    return {};
}

// --colours and --pens within the mode's pens.
Expected<void> checkPenCounts(const ImportOptions& options) {
    const int pens = pensOfMode(options.mode);
    const std::string mode = "mode " + std::to_string(options.mode) + " has " + std::to_string(pens) + " pens";
    if (options.colours > pens) return Failure{"--colours " + std::to_string(options.colours) + ": " + mode};
    const std::size_t allowed = static_cast<std::size_t>(options.colours > 0 ? options.colours : pens);
    if (options.pens.size() > allowed)
        return Failure{"--pens names " + std::to_string(options.pens.size()) + " colours, but " +
                       (options.colours > 0 ? "--colours asks for " + std::to_string(options.colours) : mode)};
    return {};
}

// --line-pens within what the raster routine can change, with a fixed pen left, and
// without the options that work on a picture's one colour per pen.
Expected<void> checkLinePens(const ConvertOptions& options) {
    const ImportOptions& import = options.import;
    if (import.linePens == 0) return {};
    const int k = import.linePens;
    const std::string asked = "--line-pens " + std::to_string(k);
    if (import.screen == ScreenFormat::Overscan)
        return Failure{asked +
                       " and --screen overscan do not go together: an overscan line leaves too little "
                       "undrawn time to change pens in"};
    if (k > maxLinePens(import.mode))
        return Failure{asked + ": mode " + std::to_string(import.mode) + " can change at most " +
                       std::to_string(maxLinePens(import.mode)) + " pen" + (maxLinePens(import.mode) > 1 ? "s" : "") +
                       " a line"};
    const int pens = import.colours > 0 ? import.colours : pensOfMode(import.mode);
    if (k >= pens)
        return Failure{asked + " leaves no fixed pen of the " + std::to_string(pens) + " pens; use fewer line pens" +
                       (import.colours > 0 ? " or more --colours" : "")};
    if (import.pens.size() > static_cast<std::size_t>(pens - k))
        return Failure{"--pens names " + std::to_string(import.pens.size()) + " colours, but " + asked + " leaves " +
                       std::to_string(pens - k) + " fixed pen" + (pens - k > 1 ? "s" : "")};
    if (options.layout == ScreenLayout::AtC000)
        return Failure{asked + " shows the picture from &4000, not with --c000"};
    if (!options.substitutions.empty() || options.fit || options.low != kDefaultThresholdLow ||
        options.high != kDefaultThresholdHigh || options.paletteModeByte != PaletteModeByte::Zero ||
        !import.savePcx.empty())
        return Failure{asked +
                       " writes the pens' colours line by line; --low, --high, --map, --fit, --ocp-pal and "
                       "--save-pcx work on one colour a pen and do not apply"};
    return {};
}

}  // namespace

std::string usageText() {
    std::string text = R"(Usage: varnoke-pcx-convert [options] PICTURE OUTPUT[.scr]
       varnoke-pcx-convert --show FILE.scr [--c000] [--log] OUTPUT.png

Converts a picture into Amstrad CPC files: OUTPUT.scr (screen memory with its palette
and a viewer routine) and OUTPUT.pal. A final lower-case ".scr" of OUTPUT is dropped
before the two extensions are added.

A 256-colour PCX picture of 160, 320 or 640 x 200 pixels is taken as it is: its width
gives the CPC mode (160 -> mode 0, 16 pens; 320 -> mode 1, 4 pens; 640 -> mode 2, 2 pens).
Any other picture (PNG, JPEG, GIF, BMP, WebP or PCX, known by its content), or any
picture given with one of the options --mode to --score, is imported: put on the mode's
grid (or the overscan grid, 192, 384 or 768 x 272, with --screen overscan), given the
pens that show it best, and dithered into them. Then both go the same
way: thresholds, --map, --fit, the palette check and the files.

Options:
)";
    for (const OptionRow& row : kOptionTable) text += helpOf(row);
    return text + R"(  --            every argument after it is a file name, even one that starts with -

Exit status: 0 converted, 1 input rejected, palette does not fit or output not
written, 2 usage error.
)";
}

std::string versionText() { return std::string(kProgram) + " " + std::string(kVersion) + "\n"; }

Expected<ConvertOptions> parseCommandLine(const std::vector<std::string>& arguments) {
    Expected<RawCommandLine> raw = readArguments(arguments);
    if (!raw) return Failure{raw.reason(), FailureKind::Usage};
    if (!raw.value().unknown.empty())
        return Failure{"unknown option " + raw.value().unknown.front(), FailureKind::Usage};
    ConvertOptions options;
    for (std::size_t row = 0; row < kOptionTable.size(); ++row) {
        for (const std::string& value : raw.value().values[row]) {
            const Expected<void> set = kOptionTable[row].set(options, shownName(kOptionTable[row]), value);
            if (!set) return Failure{set.reason(), FailureKind::Usage};
        }
    }
    if (options.help || options.version) return options;
    if (Expected<void> files = takeFileNames(options, raw.value()); !files)
        return Failure{files.reason(), FailureKind::Usage};
    if (Expected<void> pens = checkPenCounts(options.import); !pens) return Failure{pens.reason(), FailureKind::Usage};
    if (options.import.screen == ScreenFormat::Overscan && options.layout == ScreenLayout::AtC000)
        return Failure{
            "--c000 and --screen overscan do not go together: the overscan file has one form, loaded at &0170",
            FailureKind::Usage};
    if (Expected<void> lines = checkLinePens(options); !lines) return Failure{lines.reason(), FailureKind::Usage};
    return options;
}

namespace {

// The save refused before anything was written: no picture, the palette does not fit, or
// an output could not be built or written.
int reportRefusal(const ProgramState& state, const Failure& refused, std::ostream& err) {
    const std::optional<PaletteProblem> problem =
        refused.kind == FailureKind::PaletteRefused ? paletteProblem(state) : std::nullopt;
    if (!problem) {
        err << kProgram << ": nothing written: " << refused.reason << '\n';
        return 1;
    }
    err << kProgram << ": nothing written: mode " << int{state.cpcMode} << " has " << problem->modePens
        << " pens, but pen " << problem->pen << " shows filter colour " << problem->filterColor << " as CPC colour "
        << problem->shownColor << ", which none of pens 0 to " << problem->modePens - 1
        << " shows; give it one of their colours (" << problem->modeColours << ") with --map " << problem->filterColor
        << "=H\n";
    return 1;
}

// Opens the input as the Open command does, or imports it: when an import option is
// given, or when Open does not take the file. The file is read once. Returns the import
// session (none for a picture that Open took), or the reason why the input is rejected.
Expected<std::optional<ImportSession>> openOrImport(ProgramState& state, const ConvertOptions& options,
                                                    const PaletteEdits& edits, const Log& log) {
    Expected<std::vector<Byte>> file = readPictureFile(options.input);
    if (!file) {
        logImportRefused(options.input, file.reason(), state, log);
        return file.failure();
    }
    const std::vector<Byte>& bytes = file.value();
    if (!options.import.requested && roadOf(bytes) == PictureRoad::Open) {
        // The edits are in place before the palette is first built, which gives the same
        // pens and colours as rebuilding it after them.
        applyPaletteEdits(state, edits);
        if (Expected<void> opened = openPicture(state, options.input, bytes, log); !opened) return opened.failure();
        return std::optional<ImportSession>();
    }
    Expected<ImportSession> session = startImport(bytes, options.input, options.import.background, state, log);
    if (!session) return session.failure();
    installImportedPicture(state, session.value().run(importSettings(options.import)), options.input, log, edits);
    return std::optional<ImportSession>(std::move(session.value()));
}

SaveRequest saveRequest(const ConvertOptions& options) {
    SaveRequest request;
    request.output = options.output;
    request.layout = options.layout;
    request.paletteModeByte = options.paletteModeByte;
    request.previewFile = options.previewFile;
    request.pcxFile = options.import.savePcx;
    request.discImage = options.discImage;
    return request;
}

// A picture imported with line pens is saved from the import's result: its pens' colours
// change from line to line, which the program state does not hold. It is installed and
// logged as the window installs it (each pen with its colour on line 0).
int runLinePens(const ConvertOptions& options, const Log& log, std::ostream& out, std::ostream& err) {
    ProgramState state;
    Expected<std::vector<Byte>> file = readPictureFile(options.input);
    Expected<ImportSession> session =
        file ? startImport(file.value(), options.input, options.import.background, state, log)
             : Expected<ImportSession>(file.failure());
    if (!session) {
        err << kProgram << ": " << options.input << ": " << session.reason() << '\n';
        return 1;
    }
    const ImportSettings settings = importSettings(options.import);
    const ImportResult result = session.value().run(settings);
    installImportedPicture(state, result, options.input, log);
    if (const Expected<void> saved = saveLinePenPicture(result, saveRequest(options), log); !saved) {
        err << kProgram << ": nothing written: " << saved.reason() << '\n';
        return 1;
    }
    if (options.import.score) out << "Score = " << session.value().measure(settings, result) << '\n';
    return 0;
}

}  // namespace

int runConverter(const ConvertOptions& options, std::ostream& out, std::ostream& err) {
    const Log log = options.printLog ? Log([&out](std::string_view line) { out << line << '\n'; }) : Log();
    if (!options.showFile.empty()) return runShow(options, log, err);

    if (options.import.linePens > 0) return runLinePens(options, log, out, err);
    ProgramState state;
    const PaletteEdits edits{options.low, options.high, options.substitutions};
    Expected<std::optional<ImportSession>> session = openOrImport(state, options, edits, log);
    if (!session) {
        err << kProgram << ": " << options.input << ": " << session.reason() << '\n';
        return 1;
    }
    if (options.fit) fitPalette(state, log);
    if (Expected<SavedFiles> saved = saveWithExtras(state, saveRequest(options), log); !saved)
        return reportRefusal(state, saved.failure(), err);
    if (options.import.score && session.value())
        out << "Score = " << scoreOfState(*session.value(), importSettings(options.import), state) << '\n';
    return 0;
}

}  // namespace varnoke
