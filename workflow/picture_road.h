// Which way a picture file comes in, decided once for both fronts: the Open command
// takes the 256-colour PCX pictures it reads whole; every other picture is imported.
// Both fronts read files with one size limit and log a refusal in the same words.
#pragma once

#include "display/picture_display.h"
#include "import/import_session.h"
#include "main/expected.h"
#include "main/program_state.h"

#include <filesystem>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace varnoke {

// The largest picture file either front reads: a 100-megapixel picture stored with
// little compression.
inline constexpr std::size_t kMaximumPictureFileBytes = 512u << 20;

enum class PictureRoad { Open, Import };

// Open when the Open command takes these bytes whole (its header check passes and the
// picture decodes, within Open's own size limit), Import otherwise.
PictureRoad roadOf(std::span<const Byte> file);

// Reads a picture file within the one limit.
Expected<std::vector<Byte>> readPictureFile(const std::filesystem::path& path);

// Logs that a picture was not imported: its name, then "Picture not imported: " with the
// reason (and that the picture already loaded is kept, when there is one).
void logImportRefused(const std::string& fileName, const std::string& reason, const ProgramState& state,
                      const Log& log);

// Decodes a picture for import; when it cannot be imported, logs why (logImportRefused).
Expected<ImportSession> startImport(std::span<const Byte> file, const std::string& fileName, Rgb background,
                                    const ProgramState& state, const Log& log);

// What the user changed on purpose in the palette: the thresholds and the colours shown
// as others ("filter colour F shows as CPC colour H").
struct PaletteEdits {
    int low = kDefaultThresholdLow;
    int high = kDefaultThresholdHigh;
    std::vector<std::pair<Byte, Byte>> substitutions;
};

// Puts the edits in place in the state, before the palette is built.
void applyPaletteEdits(ProgramState& state, const PaletteEdits& edits);

// Puts an import's result into the state so that it shows exactly what the import
// showed. Logs the file name; the thresholds go back to their start values and every
// colour shows as itself (logged), then `edits` apply as they would to an opened PCX,
// then the import is installed and its palette built. Pens that change colour on every
// line hold their colour on line 0 there; each is logged ("Line pen 3").
void installImportedPicture(ProgramState& state, const ImportResult& result, const std::string& fileName,
                            const Log& log, const PaletteEdits& edits = {});

// What the CPC shows for an import's result, as the import dialog previews it and Save's
// PNG draws it: a picture whose line pens change colour is drawn line by line with that
// line's colours (what the raster routine shows).
PictureArea cpcViewOf(const ImportResult& result);

// The measure of what the CPC will show for the picture in `state` (after thresholds,
// substitutions and fitting) against the imported picture, under the import's settings.
double scoreOfState(const ImportSession& session, const ImportSettings& settings, const ProgramState& state);

}  // namespace varnoke
