// Saving with what goes beside the screen files, for both fronts: a PNG picture of what
// the CPC will show, the picture as a PCX file, and the files on a CPC disc image.
// Everything is built in memory before anything is written, so that a problem with any
// output leaves every file as it was.
#pragma once

#include "cpc/save_command.h"
#include "import/import_session.h"
#include "main/expected.h"
#include "main/program_state.h"

#include <string>

namespace varnoke {

struct SaveRequest {
    // The screen file's name; a final ".scr" is dropped before ".scr" and ".pal" are added.
    std::string output;
    ScreenLayout layout = ScreenLayout::At4000;
    PaletteModeByte paletteModeByte = PaletteModeByte::Zero;
    // Each, when not empty: also write a PNG picture of what the CPC will show, the
    // picture as a 256-colour PCX file that Open takes, or put the files on this disc
    // image (named after `output`; created if missing, files of the same name replaced).
    std::string previewFile;
    std::string pcxFile;
    std::string discImage;
};

// The Save command with its extras: logs the output's name, refuses as the Save command
// does (no picture, palette check), then writes every file or none.
Expected<SavedFiles> saveWithExtras(const ProgramState& state, const SaveRequest& request, const Log& log);

// Saves an imported picture whose line pens change colour on every line: OUTPUT.scr
// (loaded at &4000, with line 0's colours) and OUTPUT.ras (the raster routine and its
// colour table, loaded at &8000: CALL &8000 shows the picture), with the request's
// preview (what the raster routine shows) and disc image (NAME.SCR and NAME.RAS). The
// layout must be &4000; there is no palette file nor PCX file. Every file or none.
Expected<void> saveLinePenPicture(const ImportResult& result, const SaveRequest& request, const Log& log);

// The same aimed at a disc image only: NAME.SCR, NAME.RAS and the loader NAME.BAS on
// `disc`, named after `name` as saveLinePenPicture names them after its output. Logs the
// disc's name first. The disc is changed completely or not at all.
Expected<void> saveLinePenPictureOnDisc(const ImportResult& result, const std::string& name, const std::string& disc,
                                        const Log& log);

// The Save command aimed at a disc image only: the files NAME.SCR and NAME.PAL on `disc`.
Expected<SavedFiles> saveOnDisc(const ProgramState& state, ScreenLayout layout, const std::string& name,
                                const std::string& disc, const Log& log, PaletteModeByte modeByte);

// Draws a screen file written by this program, as the CPC shows it, into a PNG file:
// logs its name, its mode and its pens, then "Preview written: " and the PNG's name.
// When a raster file of the same name (NAME.ras) lies beside it, each line is drawn with
// the colours that file gives its pens.
// Refuses a file of another layout than `layout`, saying which option gives its own; an
// overscan file (drawn as the whole display) has no &C000 form.
Expected<void> showScreenFile(const std::string& screenFile, ScreenLayout layout, const std::string& png,
                              const Log& log);

// A save refused because a pen shows a colour that none of the mode's pens shows: which
// pen, and what it shows. Nothing when the palette fits.
struct PaletteProblem {
    int pen = 0;
    int filterColor = 0;
    int shownColor = 0;
    int modePens = 0;
    // The colours the mode's pens show, as "0, 26, 6 and 9".
    std::string modeColours;
};
std::optional<PaletteProblem> paletteProblem(const ProgramState& state);

}  // namespace varnoke
