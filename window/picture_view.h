// The window's picture area: shows the core's PictureArea buffer. At its first size,
// 640 × 400, a standard picture's buffer is shown as it is; a larger view shows the part
// of the buffer that the picture fills, enlarged by a whole factor and centred. An
// overscan picture's buffer, 768 × 544, is shrunk to fit a view too small for it.
#pragma once

#include "display/picture_display.h"

#include <QImage>
#include <QWidget>

namespace varnoke {

class PictureView : public QWidget {
    Q_OBJECT

public:
    PictureView(const PictureArea& area, QWidget* parent);

    // The area as it is drawn: a copy of the buffer, one screen pixel per pixel.
    QImage image() const;

    // The part of the buffer that holds the picture, shown enlarged in a larger view.
    void setPicturePart(AreaPart part);
    // Where that part lies in the view now.
    WholeScaling scaling() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage view() const;
    bool atFirstSize() const;

    const PictureArea& area_;
    AreaPart part_;
};

}  // namespace varnoke
