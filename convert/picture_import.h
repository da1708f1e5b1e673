// The converter's import options, as read from the command line, and the import
// session's settings they give.
#pragma once

#include "import/dithering.h"
#include "import/geometry.h"
#include "import/import_session.h"
#include "main/expected.h"
#include "main/program_state.h"

#include <optional>
#include <string>
#include <vector>

namespace varnoke {

struct ImportOptions {
    // True when any import option was given: the picture is imported even when Open takes it.
    bool requested = false;
    Byte mode = 0;
    ScreenFormat screen = ScreenFormat::Standard;
    ResizeRule resize = ResizeRule::Fill;
    std::optional<DitherMethod> dither;  // none given: chosen for each picture
    std::optional<int> ditherStrength;   // none given: chosen for each picture
    int colours = 0;                     // 0: all of the mode's pens
    std::vector<Byte> pens;
    int linePens = 0;  // pens that take a new colour on every line
    Rgb background{0, 0, 0};
    std::string savePcx;
    bool score = false;
};

// The session's settings for these options.
ImportSettings importSettings(const ImportOptions& options);

// Option values: "0,26,13", "FF8000".
std::optional<std::vector<Byte>> cpcColourList(const std::string& text);
std::optional<Rgb> rgbFromHex(const std::string& text);

}  // namespace varnoke
