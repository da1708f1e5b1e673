// A threshold bar: a horizontal scroll bar over 0 to 62 that moves one step for each
// notch of the mouse wheel and each arrow key, up and right meaning higher.
#pragma once

#include <QScrollBar>

namespace varnoke {

class ThresholdBar : public QScrollBar {
    Q_OBJECT

public:
    explicit ThresholdBar(QWidget* parent);

protected:
    void wheelEvent(QWheelEvent* event) override;

private:
    // Wheel movement not yet turned into steps, in eighths of a degree (120 a notch).
    int pendingWheel_ = 0;
};

}  // namespace varnoke
