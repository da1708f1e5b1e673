// The command-line converter: opens a PCX picture as the window's Open command does, or
// imports any other picture, and saves it as the window's Save command does, without a
// window. It can also fit the
// palette into the mode's pens, draw what the CPC will show as a PNG picture, put the
// files on a CPC disc image, and draw an existing screen file.
#pragma once

#include "convert/picture_import.h"
#include "cpc/save_command.h"
#include "main/expected.h"
#include "main/program_state.h"

#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

namespace varnoke {

struct ConvertOptions {
    bool help = false;
    bool version = false;
    ScreenLayout layout = ScreenLayout::At4000;
    int low = kDefaultThresholdLow;
    int high = kDefaultThresholdHigh;
    // --map F=H: filter colour F is shown and saved as CPC colour H.
    std::vector<std::pair<Byte, Byte>> substitutions;
    // --fit: after the --map options, give every surplus colour the nearest colour of
    // the mode's pens.
    bool fit = false;
    // --preview FILE.png: also draw what the CPC will show.
    std::string previewFile;
    // --dsk DISC.dsk: also put the two files on this CPC data disc image.
    std::string discImage;
    // --show FILE.scr: draw this screen file instead of converting (output is the PNG).
    std::string showFile;
    // --ocp-pal: the palette block's first byte holds the picture's mode.
    PaletteModeByte paletteModeByte = PaletteModeByte::Zero;
    bool printLog = false;
    // --mode, --resize, --dither, --dither-strength, --colours, --pens, --background,
    // --save-pcx, --score: how a picture is imported.
    ImportOptions import;
    std::string input;
    std::string output;
};

// Parses the arguments after the program name; a usage error (FailureKind::Usage) gives
// the reason.
Expected<ConvertOptions> parseCommandLine(const std::vector<std::string>& arguments);

// The text of --help.
std::string usageText();

// The line that --version prints: the program's name and version.
std::string versionText();

// Converts (or, with --show, draws a screen file) as the options say. Returns the exit
// status: 0 done, 1 input rejected, palette refused or output not written. With
// printLog, `out` receives the log lines; `err` receives one line on failure.
int runConverter(const ConvertOptions& options, std::ostream& out, std::ostream& err);

}  // namespace varnoke
