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

void PictureView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.drawImage(event->rect().topLeft(), view(), event->rect());
}

}  // namespace varnoke
