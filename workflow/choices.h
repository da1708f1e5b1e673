// The choices an import offers, each written out once: the modes, the resize rules and
// the dithering methods, with the word the converter takes, the label the window shows
// and the line of help both give. The converter's parser and help, its manual page and
// completion, the import dialog's lists and the saved settings are all built from these
// tables, so a method added here appears everywhere at once.
#pragma once

#include "import/dithering.h"
#include "import/geometry.h"
#include "main/program_state.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace varnoke {

struct ModeChoice {
    Byte mode;
    const char* word;   // "0"
    const char* shape;  // "160 x 200, 16 pens"
};

struct ResizeChoice {
    ResizeRule rule;
    const char* word;   // "fill"
    const char* label;  // the window's words
    const char* help;   // what the rule does, after its word in the converter's help
};

struct ScreenChoice {
    ScreenFormat screen;
    const char* word;   // "overscan"
    const char* label;  // the window's words
    const char* help;   // what the screen is, after its word in the converter's help
};

struct DitherChoice {
    DitherMethod method;
    const char* word;   // "floyd-steinberg"
    const char* label;  // "Floyd-Steinberg"
};

inline constexpr std::array kModeChoices{
    ModeChoice{0, "0", "160 x 200, 16 pens"},
    ModeChoice{1, "1", "320 x 200, 4 pens"},
    ModeChoice{2, "2", "640 x 200, 2 pens"},
};

inline constexpr std::array kResizeChoices{
    ResizeChoice{ResizeRule::Fill, "fill", "Fill (crop to the screen's shape)",
                 "crop around the centre to the screen's 8:5 shape, the default"},
    ResizeChoice{ResizeRule::Fit, "fit", "Fit (add a border)", "the whole picture, bordered in the darkest pen"},
    ResizeChoice{ResizeRule::Stretch, "stretch", "Stretch", "the whole picture, stretched to the screen's shape"},
};

inline constexpr std::array kScreenChoices{
    ScreenChoice{ScreenFormat::Standard, "standard", "Standard (160/320/640 x 200 in a border)",
                 "the 16 KB screen inside the border, the default"},
    ScreenChoice{ScreenFormat::Overscan, "overscan", "Overscan (192/384/768 x 272, the whole display)",
                 "the 32 KB screen over the whole display, 96 bytes x 272 lines"},
};

inline constexpr std::array kDitherChoices{
    DitherChoice{DitherMethod::None, "none", "None"},
    DitherChoice{DitherMethod::FloydSteinberg, "floyd-steinberg", "Floyd-Steinberg"},
    DitherChoice{DitherMethod::Atkinson, "atkinson", "Atkinson"},
    DitherChoice{DitherMethod::Jarvis, "jarvis", "Jarvis, Judice and Ninke"},
    DitherChoice{DitherMethod::Stucki, "stucki", "Stucki"},
    DitherChoice{DitherMethod::Sierra, "sierra", "Sierra"},
    DitherChoice{DitherMethod::Bayer4, "bayer4", "Ordered, Bayer 4 x 4"},
    DitherChoice{DitherMethod::Bayer8, "bayer8", "Ordered, Bayer 8 x 8"},
    DitherChoice{DitherMethod::Pattern, "pattern", "Ordered, pattern"},
    DitherChoice{DitherMethod::Best, "best", "Best (searches up to 3 s)"},
};

// The window's words for a mode: "0: 160 x 200, 16 pens".
std::string modeLabel(const ModeChoice& choice);

// The row of a value, or of a word the converter was given; nothing for an unknown one.
const ResizeChoice& resizeChoice(ResizeRule rule);
const DitherChoice& ditherChoice(DitherMethod method);
std::optional<ResizeRule> resizeRuleNamed(std::string_view word);
std::optional<DitherMethod> ditherMethodNamed(std::string_view word);
std::optional<ScreenFormat> screenNamed(std::string_view word);

// A table's words as a sentence: "none, floyd-steinberg, ... or pattern".
std::string ditherWordList();
std::string resizeWordList();
std::string screenWordList();
// Which method each mode takes by default: "floyd-steinberg in modes 0 and 1, sierra in mode 2".
std::string ditherDefaultsText();

// The tables' words in the forms of the converter's manual page and bash completion:
// "{{dither-words}}" becomes "none floyd-steinberg ...", "{{dither-roff}}" the roff lines
// that list them, and likewise for resize, mode and screen. Other text is kept as it is.
std::string fillChoiceMarkers(std::string_view text);

}  // namespace varnoke
