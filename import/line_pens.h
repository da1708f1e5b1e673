// Choosing pens whose colours change on every line: the fixed pens, each line's colours
// of the line pens, and the dithering, together, so that the picture after dithering is
// closest to the source.
#pragma once

#include "import/optimised_dither.h"
#include "import/pen_choice.h"

#include <optional>

#include <vector>

namespace varnoke {

struct LinePenChoice {
    // CPC colour number of each pen: the fixed pens first (darkest first), then the line
    // pens with their colours on line 0.
    std::vector<Byte> penColours;
    std::vector<Byte> linePens;     // the pen numbers of the line pens (the last ones)
    std::vector<Byte> lineColours;  // line y's colour of linePens[k] at y × K + k
    std::vector<Byte> penOfPixel;   // on the mode's grid
    DitherOptions dither{};         // what the lines were dithered with
};

// The colours each pen shows on each line: line y's colour of pen p at y × pens + p.
std::vector<Byte> penColoursOfLines(const LinePenChoice& choice);

// Gives `linePens` of the options' pens (at least one pen stays fixed) a colour of its
// own on every line. The error diffusion runs down the picture as usual, and each line's
// colours are chosen for the line as it stands with the error carried into it. Several
// sets of fixed pens are tried, and the one whose whole result the quality measure finds
// closest is kept. The options' colours that must be among the pens are fixed pens.
// For the best dithering the lines take the mode's default method here, and
// optimiseLinePens searches from that.
LinePenChoice chooseLinePens(const GridPicture& picture, const PenOptions& options, int linePens);

// The optimising dither from a choice of line pens: pixels change as over a whole picture,
// each pixel judged with its line's colours, and between rounds each line's colours of
// the line pens are chosen again. The fixed pens keep theirs. Nothing when cancelled.
std::optional<LinePenChoice> optimiseLinePens(const GridPicture& picture, const LinePenChoice& start,
                                              OptimiseOptions options);

// A first answer within a preview's time: the fixed pens show the colours that most lines
// want, and for each line the colours that bring its pixels nearest to some pen, chosen
// without trying how they dither.
LinePenChoice chooseLinePensQuickly(const GridPicture& picture, const PenOptions& options, int linePens);

}  // namespace varnoke
