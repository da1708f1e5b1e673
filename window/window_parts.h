// The parts of the main window that hold no command: the style of its group boxes, the
// tooltips of its bars and boxes, and the dialog that asks for a name on a disc.
#pragma once

#include "main/program_state.h"

#include <QProxyStyle>
#include <QString>

#include <optional>

class QWidget;

namespace varnoke {

// Group boxes draw their caption on the frame's top line, so that the frame begins
// half a caption down and the controls placed from top 13 or 16 lie inside it.
class GroupBoxStyle : public QProxyStyle {
public:
    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl part,
                         const QWidget* widget) const override;
    // An etched line, interrupted by the caption.
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override;
};

extern const QString kLowBarTip;
extern const QString kHighBarTip;
extern const QString kEditTip;
QString cpcColourTip(int color);
QString penTip(const ProgramState& state, int pen);

// Why a control is disabled while the picture's pens change colour on every line: the
// thresholds, the colour changes (CPC colours, Fit Palette, Reset Colours) and the OCP
// palette byte; and what a pen that changes colour shows.
extern const QString kLinePenThresholdTip;
extern const QString kLinePenPaletteTip;
extern const QString kLinePenOcpTip;
QString linePenTip(int pen, Byte colourOnLine0);

// The name of the files on a disc: up to 8 letters, digits, '-' or '_', in upper case;
// nothing when the user cancels. `linePens`: the picture's files are NAME.SCR and NAME.RAS.
std::optional<QString> askDiscName(QWidget* parent, const QString& proposal, bool linePens = false);

}  // namespace varnoke
