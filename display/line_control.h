#pragma once

// A line object: a movable, recolourable segment that floats above its container's drawing.

#include <QRgb>
#include <QWidget>

namespace velmoran {

class LineControl : public QWidget {
    Q_OBJECT
public:
    // `unitsPerPixel`: 15 where the container's scale is twips, 1 where it is pixels.
    LineControl(QWidget* container, double unitsPerPixel);

    void setPoints(double x1, double y1, double x2, double y2);
    double X1() const { return x1_; }
    double Y1() const { return y1_; }
    double X2() const { return x2_; }
    double Y2() const { return y2_; }
    void setBorderColor(QRgb color);
    QRgb BorderColor() const { return color_; }
    // Pen width in pixels; the pen is centred on the line.
    void setBorderWidth(int pixels);
    int BorderWidth() const { return borderWidth_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QRect bounds() const;
    void fitContainer();

    double unitsPerPixel_;
    double x1_ = 0, y1_ = 0, x2_ = 0, y2_ = 0;
    QRgb color_ = qRgb(0, 0, 0);
    int borderWidth_ = 1;
};

} // namespace velmoran
