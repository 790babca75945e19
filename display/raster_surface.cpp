#include "display/raster_surface.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <utility>

#include "core/twips.h"

namespace velmoran {

namespace {

// Format_RGB32 keeps the alpha byte at 0xff.
constexpr QRgb kOpaque = 0xff000000u;

} // namespace

RasterSurface::RasterSurface() : image_(1, 1, QImage::Format_RGB32) {
    image_.fill(backColor_);
}

void RasterSurface::resize(QSize clientPixels, double devicePixelRatio, float outerWidth,
                           float outerHeight) {
    outerWidth_ = outerWidth;
    outerHeight_ = outerHeight;
    const QSize size = (clientPixels * devicePixelRatio).expandedTo(QSize(1, 1));
    if (image_.size() == size && devicePixelRatio == dpr_) {
        return;
    }
    QImage fresh(size, QImage::Format_RGB32);
    fresh.fill(backColor_);
    {
        QPainter p(&fresh);
        const double scale = devicePixelRatio / dpr_;
        p.drawImage(QRectF(0, 0, image_.width() * scale, image_.height() * scale), image_);
    }
    image_ = std::move(fresh);
    dpr_ = devicePixelRatio;
    forgetRecent();
}

void RasterSurface::setBackColor(QRgb color) {
    backColor_ = color;
    image_.fill(backColor_);
}

int RasterSurface::toDevice(float twips) const {
    return twipsToDevicePixels(twips, dpr_);
}

int RasterSurface::toDeviceRecent(float twips) {
    for (int i = 0; i < recentCount_; ++i) {
        if (recent_[i].twips == twips) {
            return recent_[i].device;
        }
    }
    const int device = toDevice(twips);
    recent_[recentNext_] = {twips, device};
    recentNext_ = (recentNext_ + 1) % kRecent;
    recentCount_ = std::max(recentCount_, recentNext_ == 0 ? kRecent : recentNext_);
    return device;
}

void RasterSurface::forgetRecent() {
    recentCount_ = 0;
    recentNext_ = 0;
}

void RasterSurface::Line(float x1, float y1, float x2, float y2, QRgb color) {
    const int dx1 = toDeviceRecent(x1);
    const int dy1 = toDeviceRecent(y1);
    const int dx2 = toDeviceRecent(x2);
    const int dy2 = toDeviceRecent(y2);
    if (rasteriser_ == LineRasteriser::Runs && dy1 == dy2) {
        horizontalRun(dx1, dx2, dy1, color);
    } else if (rasteriser_ == LineRasteriser::Runs && dx1 == dx2) {
        verticalRun(dx1, dy1, dy2, color);
    } else {
        paintLine(dx1, dy1, dx2, dy2, color);
    }
    currentX_ = x2;
    currentY_ = y2;
}

void RasterSurface::LineTo(float x2, float y2, QRgb color) {
    Line(currentX_, currentY_, x2, y2, color);
}

void RasterSurface::paintLine(int x1, int y1, int x2, int y2, QRgb color) {
    QPainter p(&image_);
    p.setPen(QPen(QColor(color), 0)); // cosmetic: one device pixel wide, square cap
    p.drawLine(x1, y1, x2, y2);
}

// QPainter's one-pixel cosmetic pen with its square cap covers both end points of an
// axis-parallel segment (a single pixel when they coincide); the runs below do the same.
void RasterSurface::horizontalRun(int x1, int x2, int y, QRgb color) {
    if (y < 0 || y >= image_.height()) {
        return;
    }
    const int left = std::max(std::min(x1, x2), 0);
    const int right = std::min(std::max(x1, x2), image_.width() - 1);
    if (left > right) {
        return;
    }
    auto* line = reinterpret_cast<QRgb*>(image_.scanLine(y));
    std::fill(line + left, line + right + 1, color | kOpaque);
}

void RasterSurface::verticalRun(int x, int y1, int y2, QRgb color) {
    if (x < 0 || x >= image_.width()) {
        return;
    }
    const int top = std::max(std::min(y1, y2), 0);
    const int bottom = std::min(std::max(y1, y2), image_.height() - 1);
    if (top > bottom) {
        return;
    }
    // bits() rather than scanLine(): one detach check for the whole run.
    uchar* bits = image_.bits();
    const qsizetype stride = image_.bytesPerLine();
    const QRgb pixel = color | kOpaque;
    for (int y = top; y <= bottom; ++y) {
        reinterpret_cast<QRgb*>(bits + y * stride)[x] = pixel;
    }
}

void RasterSurface::Cls() {
    image_.fill(backColor_);
    currentX_ = 0.0f;
    currentY_ = 0.0f;
}

void RasterSurface::Print(const QString& text) {
    QFont f = font_;
    if (f.pixelSize() > 0) {
        f.setPixelSize(qRound(f.pixelSize() * dpr_));
    } else {
        f.setPointSizeF(f.pointSizeF() * dpr_);
    }
    const QFontMetrics fm(f, &image_);
    {
        QPainter p(&image_);
        p.setFont(f);
        p.setPen(QColor(foreColor_));
        p.drawText(QPoint(toDevice(currentX_), toDevice(currentY_) + fm.ascent()), text);
    }
    // The pen goes to the start of the next text line.
    currentY_ += pixelsToTwips(fm.height() / dpr_);
    currentX_ = 0.0f;
}

} // namespace velmoran
