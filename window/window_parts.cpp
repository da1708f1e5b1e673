#include "window/window_parts.h"

#include "extras/disc_name.h"
#include "main/cpc_colors.h"

#include <qdrawutil.h>
#include <QGroupBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QPainter>
#include <QRegularExpressionValidator>
#include <QStyleOption>

namespace varnoke {

QRect GroupBoxStyle::subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl part,
                                    const QWidget* widget) const {
    QRect rect = QProxyStyle::subControlRect(control, option, part, widget);
    if (control != CC_GroupBox) return rect;
    const int captionHeight = option->fontMetrics.height();
    if (part == SC_GroupBoxLabel) rect.moveTo(6, 0);
    if (part == SC_GroupBoxFrame) rect.setTop(captionHeight / 2);
    return rect;
}

void GroupBoxStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                                  const QWidget* widget) const {
    if (element == PE_FrameGroupBox) {
        painter->save();
        if (const auto* group = qobject_cast<const QGroupBox*>(widget); group && !group->title().isEmpty()) {
            const QFontMetrics& metrics = option->fontMetrics;
            const QRect caption(4, 0, metrics.horizontalAdvance(group->title()) + 6, metrics.height());
            painter->setClipRegion(QRegion(group->rect()) - QRegion(caption), Qt::IntersectClip);
        }
        qDrawShadeRect(painter, option->rect, option->palette, true, 1, 0, nullptr);
        painter->restore();
        return;
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

const QString kLowBarTip = QStringLiteral(
    "Low threshold (0 to 62): where a colour component turns from off to half.\n"
    "Drag, use the mouse wheel or the arrow keys, or type a number in the box and press Return.");
const QString kHighBarTip = QStringLiteral(
    "High threshold (0 to 62): where a colour component turns from half to full.\n"
    "Drag, use the mouse wheel or the arrow keys, or type a number in the box and press Return.");
const QString kEditTip = QStringLiteral("Type a threshold from 0 to 62 and press Return to move the bar.");

QString cpcColourTip(int color) {
    const ColorLevels levels = cpcColorLevels(static_cast<Byte>(color));
    return QStringLiteral("CPC colour %1: %2 (green %3, red %4, blue %5)\nClick to show the picked pen in this colour.")
        .arg(color)
        .arg(QString::fromLatin1(cpcColorName(static_cast<Byte>(color))))
        .arg(levels.green)
        .arg(levels.red)
        .arg(levels.blue);
}

QString penTip(const ProgramState& state, int pen) {
    const Byte filter = state.inkBoxes[static_cast<std::size_t>(pen)].filterColor;
    const QString role =
        pen < pensPerMode(state) ? QStringLiteral("a pen of the mode") : QStringLiteral("beyond the mode's pens");
    if (filter == kEmptyPen) return QStringLiteral("Pen %1 (%2): no colour").arg(pen).arg(role);
    const Byte shown = state.colorSubstitution[filter];
    return QStringLiteral("Pen %1 (%2): CPC colour %3, %4\nClick to pick it, then click a CPC colour to change it.")
        .arg(pen)
        .arg(role)
        .arg(shown)
        .arg(QString::fromLatin1(cpcColorName(shown)));
}

const QString kLinePenThresholdTip = QStringLiteral(
    "The picture's pens change colour on every line: the thresholds, which give each pen one colour, do not "
    "apply to it. Import the picture without line pens to use them.");
const QString kLinePenPaletteTip = QStringLiteral(
    "The picture's pens change colour on every line: they cannot be given one colour each. Import the picture "
    "without line pens to change its colours.");
const QString kLinePenOcpTip = QStringLiteral(
    "The picture's pens change colour on every line: it is saved with its raster file (NAME.ras), which holds "
    "every line's colours, and without a palette file.");

QString linePenTip(int pen, Byte colourOnLine0) {
    return QStringLiteral("Pen %1 takes a new colour on every line; on line 0 CPC colour %2, %3")
        .arg(pen)
        .arg(colourOnLine0)
        .arg(QString::fromLatin1(cpcColorName(colourOnLine0)));
}

std::optional<QString> askDiscName(QWidget* parent, const QString& proposal, bool linePens) {
    QInputDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("DiscNameDialog"));
    dialog.setWindowTitle(QStringLiteral("Save to disc image"));
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setLabelText(QStringLiteral("Name of the files on the disc (NAME.SCR, NAME.%1 and the loader NAME.BAS,\n"
                                       "which RUN\"NAME runs): up to 8 letters, digits, - or _")
                            .arg(linePens ? QStringLiteral("RAS") : QStringLiteral("PAL")));
    dialog.setTextValue(proposal);
    if (auto* edit = dialog.findChild<QLineEdit*>()) {
        edit->setMaxLength(8);
        edit->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[A-Za-z0-9_-]{1,8}")), edit));
    }
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QString name = dialog.textValue().toUpper();
    if (!isDiscName(name.toStdString())) return std::nullopt;
    return name;
}

}  // namespace varnoke
