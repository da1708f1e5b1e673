#include "window/threshold_bar.h"

#include "main/program_state.h"

#include <QWheelEvent>

namespace varnoke {

ThresholdBar::ThresholdBar(QWidget* parent) : QScrollBar(Qt::Horizontal, parent) {
    setRange(kThresholdMin, kThresholdMax);
    setSingleStep(1);
    // Without a page the bar's own wheel handling moves nothing, hence wheelEvent.
    setPageStep(0);
    setInvertedControls(false);
    setFocusPolicy(Qt::StrongFocus);
}

void ThresholdBar::wheelEvent(QWheelEvent* event) {
    constexpr int kNotch = 120;
    const QPoint delta = event->angleDelta();
    pendingWheel_ += delta.y() != 0 ? delta.y() : delta.x();
    const int steps = pendingWheel_ / kNotch;
    pendingWheel_ -= steps * kNotch;
    // One change, so one rebuild of the palette, however many notches came at once.
    if (steps != 0) setValue(value() + steps);
    event->accept();
}

}  // namespace varnoke
