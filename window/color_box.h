// One of the small colour boxes of the window's two rows (the CPC colours and the
// picture's pens): a 15 × 17 box that shows a background colour and a number, and
// reports a click with its number, which is also its place in its row's tab order.
#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

namespace varnoke {

class ColorBox : public QWidget {
    Q_OBJECT

public:
    ColorBox(int number, QWidget* parent);

    int number() const { return number_; }

    QColor color() const { return color_; }
    void setColor(const QColor& color);

    QString text() const { return text_; }
    void setText(const QString& text);

    // The sunken border of the selected pen; every box starts flat.
    bool isThreeD() const { return threeD_; }
    void setThreeD(bool threeD);

    // The colour the number is written in: the window's text colour, or white on a
    // background too dark to read that on.
    QColor textColor() const;

signals:
    void clicked(int number);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    int number_;
    QColor color_;
    QString text_;
    bool threeD_ = false;
    bool pressed_ = false;
};

}  // namespace varnoke
