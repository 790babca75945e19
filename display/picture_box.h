#pragma once

// Picture1: a framed drawing surface that keeps what is drawn on it until the next Cls, and a
// container for child controls that float above the drawing.

#include <QFrame>
#include <QImage>

#include "display/surface.h"

namespace velmoran {

class PictureBox : public QFrame, public Surface {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr);

    void setBackColor(QRgb color);
    QRgb BackColor() const { return backColor_; }

    void Line(float x1, float y1, float x2, float y2, QRgb color) override;
    void LineTo(float x2, float y2, QRgb color) override;
    void Cls() override;
    void Print(const QString& text) override;

    float CurrentX() const override { return currentX_; }
    float CurrentY() const override { return currentY_; }
    void setCurrentX(float x) override { currentX_ = x; }
    void setCurrentY(float y) override { currentY_ = y; }
    QRgb ForeColor() const override { return foreColor_; }
    void setForeColor(QRgb color) override { foreColor_ = color; }

    float Width() const override;
    float Height() const override;
    // Inner (client) width in twips.
    float ScaleWidth() const;

    // The retained drawing, in device pixels of the client area.
    const QImage& image() const { return image_; }
    QImage& image() { return image_; }
    double imageDevicePixelRatio() const { return dpr_; }
    // Marks the whole drawing as changed after a direct write into image().
    void imageChanged() { update(contentsRect()); }

    // Client-area position in twips of a widget-relative point in logical pixels.
    QPointF toTwips(QPointF widgetPos) const;

Q_SIGNALS:
    // Mouse events with the button, the shift state and the position in client twips.
    void MouseDown(int button, int shift, float x, float y);
    void MouseMove(int button, int shift, float x, float y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void ensureImage();
    int devX(float twips) const;
    int devY(float twips) const;

    QImage image_;
    double dpr_ = 1.0;
    QRgb backColor_ = qRgb(255, 255, 255);
    QRgb foreColor_ = qRgb(0, 0, 0);
    float currentX_ = 0.0f;
    float currentY_ = 0.0f;
};

} // namespace velmoran
