#include "display/line_control.h"

#include <QEvent>
#include <QFrame>
#include <QPainter>

#include <cmath>

namespace velmoran {

LineControl::LineControl(QWidget* container, double unitsPerPixel)
    : QWidget(container), unitsPerPixel_(unitsPerPixel) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    container->installEventFilter(this);
    fitContainer();
}

void LineControl::fitContainer() {
    // Covers the container's client area, so that its coordinates are the container's scale.
    auto* frame = qobject_cast<QFrame*>(parentWidget());
    setGeometry(frame ? frame->contentsRect() : parentWidget()->rect());
}

bool LineControl::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && event->type() == QEvent::Resize) {
        fitContainer();
    }
    return QWidget::eventFilter(watched, event);
}

QRect LineControl::bounds() const {
    const double k = 1.0 / unitsPerPixel_;
    QRectF r(QPointF(x1_ * k, y1_ * k), QPointF(x2_ * k, y2_ * k));
    const double pad = borderWidth_ / 2.0 + 2;
    return r.normalized().adjusted(-pad, -pad, pad, pad).toAlignedRect();
}

void LineControl::setPoints(double x1, double y1, double x2, double y2) {
    const QRect before = bounds();
    x1_ = x1;
    y1_ = y1;
    x2_ = x2;
    y2_ = y2;
    update(before.united(bounds()));
}

void LineControl::setBorderColor(QRgb color) {
    color_ = color;
    update(bounds());
}

void LineControl::setBorderWidth(int pixels) {
    const int width = pixels < 1 ? 1 : pixels;
    if (width == borderWidth_) {
        return; // the progress bar is set on every monitor tick, mostly to its present width
    }
    const QRect before = bounds();
    borderWidth_ = width;
    update(before.united(bounds()));
}

void LineControl::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const double k = 1.0 / unitsPerPixel_;
    if (borderWidth_ <= 1) {
        // Whole device pixels, mapped the way the container's drawing maps them, so that the
        // line covers exactly the pixels a segment drawn on the container at its place covers.
        const double dpr = devicePixelRatioF();
        const auto device = [&](double units) {
            return static_cast<int>(std::floor(units * k * dpr + 0.5));
        };
        p.scale(1.0 / dpr, 1.0 / dpr);
        p.setPen(QPen(QColor(color_), 0));
        p.drawLine(QPoint(device(x1_), device(y1_)), QPoint(device(x2_), device(y2_)));
        return;
    }
    p.setPen(QPen(QColor(color_), borderWidth_, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(x1_ * k, y1_ * k), QPointF(x2_ * k, y2_ * k));
}

} // namespace velmoran
