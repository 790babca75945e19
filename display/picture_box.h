#pragma once

// Picture1: a framed drawing surface that keeps what is drawn on it until the next Cls, and a
// container for child controls that float above the drawing.

#include <QFrame>
#include <QImage>

#include "display/raster_surface.h"
#include "display/surface.h"

namespace velmoran {

class PictureBox : public QFrame, public Surface {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr);

    void setBackColor(QRgb color);
    QRgb BackColor() const { return canvas_.BackColor(); }

    void Line(float x1, float y1, float x2, float y2, QRgb color) override;
    void LineTo(float x2, float y2, QRgb color) override;
    void Cls() override;
    void Print(const QString& text) override;

    float CurrentX() const override { return canvas_.CurrentX(); }
    float CurrentY() const override { return canvas_.CurrentY(); }
    void setCurrentX(float x) override;
    void setCurrentY(float y) override;
    QRgb ForeColor() const override { return canvas_.ForeColor(); }
    void setForeColor(QRgb color) override;

    float Width() const override;
    float Height() const override;
    // Inner (client) width in twips.
    float ScaleWidth() const;

    // The retained drawing, in device pixels of the client area.
    const QImage& image() const { return canvas_.image(); }
    QImage& image() { return canvas_.image(); }
    double imageDevicePixelRatio() const { return canvas_.devicePixelRatio(); }
    // Marks the whole drawing as changed after a direct write into image().
    void imageChanged() { update(contentsRect()); }

    // How segments reach the image (the scanline runs unless told otherwise).
    void setRasteriser(LineRasteriser rasteriser) { canvas_.setRasteriser(rasteriser); }

    // Every drawing operation is also handed to `mirror` (nullptr for none), so that what the
    // handlers draw can be read back as numbers.
    void setMirror(Surface* mirror) { mirror_ = mirror; }

    // Client-area position in twips of a widget-relative point in logical pixels.
    QPointF toTwips(QPointF widgetPos) const;

Q_SIGNALS:
    // Mouse events with the button, the shift state and the position in client twips.
    void MouseDown(int button, int shift, float x, float y);
    void MouseMove(int button, int shift, float x, float y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    // Matches the image to the client area and the screen's device pixel ratio.
    void fitCanvas();
    // Asks for one repaint however many segments are drawn before it happens.
    void drawingChanged();

    RasterSurface canvas_;
    Surface* mirror_ = nullptr;
    bool repaintPending_ = false;
};

} // namespace velmoran
