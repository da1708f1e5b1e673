#include "window/color_box.h"

#include <qdrawutil.h>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>

namespace varnoke {

ColorBox::ColorBox(int number, QWidget* parent) : QWidget(parent), number_(number), color_(Qt::white) {
    setCursor(Qt::ArrowCursor);
    setFocusPolicy(Qt::TabFocus);
}

void ColorBox::setColor(const QColor& color) {
    if (color == color_) return;
    color_ = color;
    update();
}

void ColorBox::setText(const QString& text) {
    if (text == text_) return;
    text_ = text;
    update();
}

void ColorBox::setThreeD(bool threeD) {
    if (threeD == threeD_) return;
    threeD_ = threeD;
    update();
}

QColor ColorBox::textColor() const {
    // Perceived brightness, 0 to 255: black, the dark blues, reds and greens of the CPC
    // would hide a dark number.
    const int brightness = (299 * color_.red() + 587 * color_.green() + 114 * color_.blue()) / 1000;
    return brightness < 128 ? QColor(Qt::white) : palette().color(QPalette::WindowText);
}

void ColorBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect box = rect();
    if (threeD_) {
        // Two-pixel sunken edge, as an edit box of the selected pen.
        qDrawWinPanel(&painter, box, palette(), true, nullptr);
        painter.fillRect(box.adjusted(2, 2, -2, -2), color_);
    } else {
        painter.fillRect(box, color_);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawRect(box.adjusted(0, 0, -1, -1));
    }
    painter.setPen(textColor());
    painter.setFont(font());
    painter.drawText(box, Qt::AlignCenter, text_);
    if (hasFocus()) {
        painter.setPen(QPen(textColor(), 1, Qt::DotLine));
        painter.drawRect(box.adjusted(2, 2, -3, -3));
    }
}

void ColorBox::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) pressed_ = true;
    QWidget::mousePressEvent(event);
}

void ColorBox::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    pressed_ = false;
    if (click) emit clicked(number_);
    QWidget::mouseReleaseEvent(event);
}

void ColorBox::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        emit clicked(number_);
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace varnoke
