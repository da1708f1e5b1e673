// The window's 640 × 400 picture area: shows the core's PictureArea buffer as it is.
#pragma once

#include "display/picture_display.h"

#include <QImage>
#include <QWidget>

namespace varnoke {

class PictureView : public QWidget {
    Q_OBJECT

public:
    PictureView(const PictureArea& area, QWidget* parent);

    // The area as it is shown: a copy of the buffer, one screen pixel per pixel.
    QImage image() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage view() const;

    const PictureArea& area_;
};

}  // namespace varnoke
