// The converter's road for pictures that the Open command does not take (or any picture,
// when an import option is given): decode, put on the mode's grid, choose the pens,
// dither, and install the result in the program state as Open would.
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
    ResizeRule resize = ResizeRule::Fill;
    std::optional<DitherMethod> dither;             // none given: the best method for the mode
    int ditherStrength = DitherOptions{}.strength;  // none given: the best strength
    int colours = 0;                                // 0: all of the mode's pens
    std::vector<Byte> pens;
    Rgb background{0, 0, 0};
    std::string savePcx;
    bool score = false;
};

// The session's settings for these options.
ImportSettings importSettings(const ImportOptions& options);

// Decodes the file and installs the imported picture in `state`, logging the file name
// and the import's lines. Returns the session, whose measure --score asks.
Expected<ImportSession> importPicture(ProgramState& state, std::span<const Byte> file, const std::string& fileName,
                                      const ImportOptions& options, const Log& log);

// The measure of what the CPC will show for the picture in `state` (after thresholds,
// substitutions and fitting) against the imported picture.
double scoreOfState(const ImportSession& session, const ImportOptions& options, const ProgramState& state);

// Option values: "fill", "floyd-steinberg", "0,26,13", "FF8000".
std::optional<ResizeRule> resizeRuleNamed(const std::string& name);
std::optional<DitherMethod> ditherMethodNamed(const std::string& name);
std::optional<std::vector<Byte>> cpcColourList(const std::string& text);
std::optional<Rgb> rgbFromHex(const std::string& text);

}  // namespace varnoke
