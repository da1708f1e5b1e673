// One imported picture and the settings it is converted with. The converter runs it once;
// the window's import dialog runs it again on every change of a setting, so each step's
// result is kept and only the steps after the changed setting run again.
#pragma once

#include "cpc/raster_routine.h"
#include "import/dithering.h"
#include "import/geometry.h"
#include "import/linear_image.h"
#include "import/picture_decoding.h"
#include "main/expected.h"
#include "main/program_state.h"

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace varnoke {

struct ImportSettings {
    Byte cpcMode = 0;
    ScreenFormat screen = ScreenFormat::Standard;
    ResizeRule resize = ResizeRule::Fill;
    DitherOptions dither;
    // 0: all of the mode's pens.
    int colours = 0;
    std::vector<Byte> fixedColours;
    // How many of the pens take a new colour on every line (0: none); at most
    // mostLinePens of the settings.
    int linePens = 0;
    // Also compute the quality measure (it costs more than the rest of a run).
    bool score = false;
};

// The method an import takes when the user names none: the mode's default (defaultDither);
// with line pens, the optimising dither from it (DitherMethod::Best), since the lines'
// colours and the pixels are best chosen together by the measure and error diffusion in
// colours that change from line to line gains little.
DitherMethod defaultImportDither(Byte cpcMode, int linePens);

// The most line pens the settings allow: the mode's maxLinePens, with one pen at least
// left fixed and a fixed pen for each colour the pens must show; none on an overscan
// screen. Runs give the settings at most this many.
int mostLinePens(const ImportSettings& settings);

struct ImportResult {
    Byte cpcMode = 0;
    ScreenFormat screen = ScreenFormat::Standard;
    std::vector<Byte> penColours;  // CPC colour number of each pen
    std::vector<Byte> penOfPixel;  // on the mode's grid
    double score = 0;              // the quality measure against the source, when asked for
    // With line pens: their pen numbers (the last pens), and line y's colour of linePens[k]
    // at y × K + k; penColours then holds the line pens' colours on line 0.
    std::vector<Byte> linePens;
    std::vector<Byte> lineColours;
    bool quick = false;  // a first answer that the full one will replace
    // The dithering the picture was given, when its strength or method was left to choose.
    std::optional<DitherOptions> chosenDither{};
};

// The colours every pen shows on every line: line y's colour of pen p at y × pens + p.
std::vector<Byte> penColoursOfLines(const ImportResult& result);

// What the raster routine needs of a result with line pens (a pen beyond the result's
// colours shows black).
LinePenColours linePenColoursOf(const ImportResult& result);

// How large the picture is kept after decoding: big pictures are shrunk to at least this
// many pixels on their shorter side, more than any mode's grid and the measure's canvas need.
inline constexpr int kImportMinimumSide = 800;

class ImportSession {
public:
    // Decodes the picture; the reason says why a file cannot be imported.
    static Expected<ImportSession> open(std::span<const Byte> file, const DecodeOptions& options);
    // Starts from a picture already decoded.
    explicit ImportSession(LinearImage source);

    // Safe to call from several threads at once (the window runs it off its own thread).
    // The grid of each (mode, resize), the pens of each (grid, colours, fixed colours,
    // dithering) and the result of each dithering are kept, so a change of one setting
    // runs only the steps after it. A picture of exactly the mode's grid size that uses
    // only CPC display colours, no more than the pens allowed, comes back as it is. A
    // strength left to choose (DitherOptions::chooseStrength) is chosen with the pens.
    ImportResult run(const ImportSettings& settings) const;

    // The same, for settings whose dithering may take long (DitherMethod::Best): `progress`
    // is called now and then with the share done (0 to 1) and cancels the run by returning
    // false, which gives nothing and keeps nothing. The best dithering searches for the
    // mode's default time from the default dithering's result (over line pens, for
    // linePenSweeps sweeps), chooses the pens' colours again (the fixed colours stay), and
    // is kept only where the measure finds it closer.
    std::optional<ImportResult> run(const ImportSettings& settings, const std::function<bool(double)>& progress) const;

    // A first answer within a preview's time for a change that needs a new pen search:
    // the pens that the search's quick score finds (no candidate dithered and measured),
    // dithered, with `quick` set; with line pens, chooseLinePensQuickly's answer for any
    // settings not run before. Settings whose answer is known already give run()'s answer.
    // Nothing is kept; run() then gives the full answer that replaces it.
    ImportResult quickRun(const ImportSettings& settings) const;

    const LinearImage& source() const;

    // The quality measure of a picture on the mode's grid (penOfPixel indexes penColours,
    // CPC colour numbers) against the source after the settings' geometry.
    double measure(const ImportSettings& settings, std::span<const Byte> penOfPixel,
                   std::span<const Byte> penColours) const;
    // The same for a result, whose colours may change from line to line.
    double measure(const ImportSettings& settings, const ImportResult& result) const;

private:
    // The measure of what the CPC shows, a canvas of the screen's size, under the settings.
    double measureCanvas(const ImportSettings& settings, const LinearImage& shown) const;

    struct Cache;
    std::shared_ptr<Cache> cache_;
};

// Puts the result into the program state as the Open command puts a decoded picture: an
// indexed picture of the mode's size on the result's screen (palette index i is pen i) whose palette entries are
// the display colours of their CPC colours, so that with the default thresholds the pens
// show exactly the chosen colours; then palette building. Logs the import's lines first.
void installImport(ProgramState& state, const ImportResult& result, const Log& log);

}  // namespace varnoke
