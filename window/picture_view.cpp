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
    return QImage(reinterpret_cast<const uchar*>(area_.pixels.data()), area_.width, area_.height, area_.width * 4,
                  QImage::Format_RGB32);
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
    if (atFirstSize() && area_.width == kPictureAreaWidth && area_.height == kPictureAreaHeight) {
        painter.drawImage(event->rect().topLeft(), view(), event->rect());
        return;
    }
    // An overscan area is larger than the first view: it is shrunk to fit until the view
    // holds it whole, and enlarged by whole factors beyond.
    const ViewRect placed = placeInView(part_, width(), height());
    const QRect target(placed.left, placed.top, placed.width, placed.height);
    painter.save();
    painter.setClipRegion(QRegion(event->rect()) - QRegion(target));
    painter.fillRect(event->rect(), palette().color(QPalette::Button));
    painter.restore();
    // No smoothing: every CPC pixel becomes a block of equal pixels (of nearly equal ones
    // when shrunk).
    painter.drawImage(target, view(), QRect(0, 0, part_.width, part_.height));
}

}  // namespace varnoke
