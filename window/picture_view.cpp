#include "window/picture_view.h"

#include <QPaintEvent>
#include <QPainter>

namespace varnoke {

PictureView::PictureView(const PictureArea& area, QWidget* parent) : QWidget(parent), area_(area) {
    setCursor(Qt::CrossCursor);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QImage PictureView::view() const {
    // The buffer's 0xFFRRGGBB pixels are exactly QImage's 32-bit RGB layout.
    return QImage(reinterpret_cast<const uchar*>(area_.pixels.data()), kPictureAreaWidth, kPictureAreaHeight,
                  kPictureAreaWidth * 4, QImage::Format_RGB32);
}

QImage PictureView::image() const { return view().copy(); }

void PictureView::setPicturePart(AreaPart part) {
    if (part.width == part_.width && part.height == part_.height) return;
    part_ = part;
    update();
}

bool PictureView::atFirstSize() const { return width() == kPictureAreaWidth && height() == kPictureAreaHeight; }

WholeScaling PictureView::scaling() const {
    if (atFirstSize()) return {};
    return scaleIntoView(part_, width(), height());
}

void PictureView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    if (atFirstSize()) {
        painter.drawImage(event->rect().topLeft(), view(), event->rect());
        return;
    }
    const WholeScaling placed = scaling();
    const QRect target(placed.left, placed.top, placed.factor * part_.width, placed.factor * part_.height);
    painter.save();
    painter.setClipRegion(QRegion(event->rect()) - QRegion(target));
    painter.fillRect(event->rect(), palette().color(QPalette::Button));
    painter.restore();
    // Whole factors and no smoothing: every CPC pixel becomes a block of equal pixels.
    painter.drawImage(target, view(), QRect(0, 0, part_.width, part_.height));
}

}  // namespace varnoke
