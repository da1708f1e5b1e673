// One imported picture and the settings it is converted with. The converter runs it once;
// the window's import dialog runs it again on every change of a setting, so each step's
// result is kept and only the steps after the changed setting run again.
#pragma once

#include "import/dithering.h"
#include "import/geometry.h"
#include "import/linear_image.h"
#include "import/picture_decoding.h"
#include "main/expected.h"
#include "main/program_state.h"

#include <memory>
#include <span>
#include <vector>

namespace varnoke {

struct ImportSettings {
    Byte cpcMode = 0;
    ResizeRule resize = ResizeRule::Fill;
    DitherOptions dither;
    // 0: all of the mode's pens.
    int colours = 0;
    std::vector<Byte> fixedColours;
};

struct ImportResult {
    Byte cpcMode = 0;
    std::vector<Byte> penColours;  // CPC colour number of each pen
    std::vector<Byte> penOfPixel;  // on the mode's grid
    double score = 0;              // the quality measure against the source
};

class ImportSession {
public:
    // Decodes the picture; the reason says why a file cannot be imported.
    static Expected<ImportSession> open(std::span<const Byte> file, const DecodeOptions& options);

    // Safe to call from several threads at once (the window runs it off its own thread).
    ImportResult run(const ImportSettings& settings) const;

    const LinearImage& source() const;

private:
    struct Cache;
    std::shared_ptr<Cache> cache_;
};

// Puts the result into the program state as the Open command puts a decoded picture: an
// indexed picture of the mode's size whose palette entries sit on the levels of their CPC
// colours, then palette building. Logs the import's lines.
void installImport(ProgramState& state, const ImportResult& result, const Log& log);

}  // namespace varnoke
