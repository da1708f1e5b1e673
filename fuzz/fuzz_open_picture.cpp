// libFuzzer target: any bytes, taken as a picture file, go through the whole chain that a
// user's Open and Save run: header check, decoding and palette building, then (when the
// file is accepted) a few palette edits, drawing, the palette check and both output files.
//
// The file's own bytes also steer the edits (thresholds and one colour substitution), so
// that the fuzzer explores them without a separate input format.
//
// A file that Open refuses goes the import's way, as in the converter: decoding (PNG,
// JPEG, GIF, BMP, WebP, any PCX), the mode's grid, the pens, dithering, installing the
// result, and the PCX that --save-pcx writes, which Open must take.
#include "cpc/save_command.h"
#include "display/picture_display.h"
#include "import/import_session.h"
#include "palette/palette_check.h"
#include "palette/palette_editing.h"
#include "pcx/open_command.h"
#include "pcx/pcx_writer.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace {

// The area is 1 MB; drawing never reads it, so one area serves every run.
varnoke::PictureArea& sharedArea() {
    static varnoke::PictureArea area;
    return area;
}

// The import of a file that Open refused. Pictures are shrunk to 64 pixels a side while
// decoding, and the pens are fixed (black and white in mode 2) instead of searched, so
// that each input stays quick; the pen search has tests of its own.
void importPicture(std::span<const varnoke::Byte> file) {
    using namespace varnoke;
    DecodeOptions decode;
    decode.minimumSide = 64;
    Expected<ImportSession> session = ImportSession::open(file, decode);
    if (!session) {
        if (session.reason().empty()) __builtin_trap();  // every refusal must say why
        return;
    }
    const ResizeRule rule = file.back() % 2 == 0 ? ResizeRule::Fill : ResizeRule::Fit;
    const GridPicture grid = toModeGrid(session.value().source(), 2, rule);
    ImportResult result;
    result.cpcMode = 2;
    result.penColours = {0, 26};
    result.penOfPixel = ditherToPens(grid, result.penColours, DitherOptions{DitherMethod::FloydSteinberg, 100});
    ProgramState state;
    installImport(state, result, Log());
    if (!hasPictureOfMode(state)) __builtin_trap();  // an imported picture is complete
    buildOutputFiles(state, ScreenLayout::At4000, Log());
    ProgramState reopened;
    if (!openPicture(reopened, "saved.pcx", encodePcx(state), Log()).ok()) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace varnoke;
    const std::span<const Byte> file(data, size);
    const Log log;  // no sink: the lines are built but go nowhere

    ProgramState state;
    const Expected<void> outcome = openPicture(state, "fuzz.pcx", file, log);
    if (!outcome.ok()) {
        if (outcome.reason().empty()) __builtin_trap();  // every rejection must say why
        if (size > 0) importPicture(file);
        return 0;
    }
    if (!hasPictureOfMode(state)) __builtin_trap();  // an accepted picture is complete

    drawPicture(state, sharedArea(), log);
    Palette_Ok(state, log);
    buildOutputFiles(state, ScreenLayout::At4000, log);

    // Edits steered by the palette's last bytes, then everything that follows an edit.
    const Byte a = file[size - 1];
    const Byte b = file[size - 2];
    const Byte c = file[size - 3];
    moveLowThreshold(state, a % 70 - 4, log);
    moveHighThreshold(state, b % 70 - 4, log);
    selectPen(state, static_cast<Byte>(c % 32));
    substituteColor(state, static_cast<Byte>(c / 8), log);
    drawPicture(state, sharedArea(), log);
    Palette_Ok(state, log);
    buildOutputFiles(state, ScreenLayout::AtC000, log);
    return 0;
}
