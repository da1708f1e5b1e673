// libFuzzer target: any bytes, taken as a picture file, go through the whole chain that a
// user's Open and Save run: header check, decoding and palette building, then (when the
// file is accepted) a few palette edits, drawing, the palette check and both output files.
//
// The file's own bytes also steer the edits (thresholds and one colour substitution), so
// that the fuzzer explores them without a separate input format.
#include "cpc/save_command.h"
#include "display/picture_display.h"
#include "palette/palette_check.h"
#include "palette/palette_editing.h"
#include "pcx/open_command.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace {

// The area is 1 MB; drawing never reads it, so one area serves every run.
varnoke::PictureArea& sharedArea() {
    static varnoke::PictureArea area;
    return area;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace varnoke;
    const std::span<const Byte> file(data, size);
    const Log log;  // no sink: the lines are built but go nowhere

    ProgramState state;
    const OpenOutcome outcome = openPicture(state, "fuzz.pcx", file, log);
    if (!outcome.accepted) {
        if (outcome.reason.empty()) __builtin_trap();  // every rejection must say why
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
