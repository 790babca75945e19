#pragma once

// A drawing kept as an image in device pixels: the retained picture behind Picture1. Positions
// arrive in twips and are mapped to whole device pixels; lines are one device pixel wide, solid,
// and clipped at the edges of the image.

#include <QFont>
#include <QImage>

#include "display/surface.h"

namespace velmoran {

// How a straight segment reaches the image.
enum class LineRasteriser {
    // Horizontal and vertical segments are written straight into the scanlines; only slanted
    // segments go through QPainter. Same pixels as Painter, many times faster.
    Runs,
    // Every segment through its own QPainter, as the old surface drew them.
    Painter,
};

class RasterSurface : public Surface {
public:
    RasterSurface();

    // Sets the size: the client area in logical pixels, the screen's device pixel ratio and
    // the outer size in twips that Width and Height report. Keeps the drawing (scaled when the
    // ratio changes) and clears what is new.
    void resize(QSize clientPixels, double devicePixelRatio, float outerWidth, float outerHeight);

    void setBackColor(QRgb color);
    QRgb BackColor() const { return backColor_; }
    // The font that Print uses, at its logical size.
    void setFont(const QFont& font) { font_ = font; }
    void setRasteriser(LineRasteriser rasteriser) { rasteriser_ = rasteriser; }
    LineRasteriser rasteriser() const { return rasteriser_; }

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

    float Width() const override { return outerWidth_; }
    float Height() const override { return outerHeight_; }

    // The drawing, in device pixels of the client area.
    const QImage& image() const { return image_; }
    QImage& image() { return image_; }
    double devicePixelRatio() const { return dpr_; }

    // A position in twips as a whole device pixel of the image.
    int toDevice(float twips) const;

private:
    // toDevice through a few recently mapped positions: a wave chain keeps returning to its
    // pen, its two levels and the edge it just drew.
    int toDeviceRecent(float twips);
    void forgetRecent();
    void paintLine(int x1, int y1, int x2, int y2, QRgb color);
    void horizontalRun(int x1, int x2, int y, QRgb color);
    void verticalRun(int x, int y1, int y2, QRgb color);

    QImage image_;
    double dpr_ = 1.0;
    float outerWidth_ = 0.0f;
    float outerHeight_ = 0.0f;
    QFont font_;
    QRgb backColor_ = qRgb(255, 255, 255);
    QRgb foreColor_ = qRgb(0, 0, 0);
    float currentX_ = 0.0f;
    float currentY_ = 0.0f;
    LineRasteriser rasteriser_ = LineRasteriser::Runs;

    struct Mapped {
        float twips;
        int device;
    };
    static constexpr int kRecent = 4;
    Mapped recent_[kRecent]{};
    int recentCount_ = 0;
    int recentNext_ = 0;
};

} // namespace velmoran
