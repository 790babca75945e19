#include "display/picture_box.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWindow>

#include "app/twips.h"

namespace velmoran {

namespace {

int vbButton(Qt::MouseButtons buttons) {
    int b = 0;
    if (buttons & Qt::LeftButton) {
        b |= 1;
    }
    if (buttons & Qt::RightButton) {
        b |= 2;
    }
    if (buttons & Qt::MiddleButton) {
        b |= 4;
    }
    return b;
}

int vbShift(Qt::KeyboardModifiers mods) {
    int s = 0;
    if (mods & Qt::ShiftModifier) {
        s |= 1;
    }
    if (mods & Qt::ControlModifier) {
        s |= 2;
    }
    if (mods & Qt::AltModifier) {
        s |= 4;
    }
    return s;
}

} // namespace

PictureBox::PictureBox(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureBox::setBackColor(QRgb color) {
    backColor_ = color;
    ensureImage();
    image_.fill(backColor_);
    update();
}

float PictureBox::Width() const {
    return pixelsToTwips(width());
}
float PictureBox::Height() const {
    return pixelsToTwips(height());
}
float PictureBox::ScaleWidth() const {
    return pixelsToTwips(contentsRect().width());
}

QPointF PictureBox::toTwips(QPointF widgetPos) const {
    return pixelsToTwips(widgetPos - QPointF(contentsRect().topLeft()));
}

int PictureBox::devX(float twips) const {
    return twipsToDevicePixels(twips, dpr_);
}
int PictureBox::devY(float twips) const {
    return twipsToDevicePixels(twips, dpr_);
}

void PictureBox::ensureImage() {
    const double dpr = devicePixelRatioF();
    const QSize size = contentsRect().size() * dpr;
    if (image_.size() == size && dpr == dpr_) {
        return;
    }
    QImage fresh(size.expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    fresh.fill(backColor_);
    if (!image_.isNull()) {
        QPainter p(&fresh);
        p.drawImage(0, 0, image_);
    }
    image_ = std::move(fresh);
    dpr_ = dpr;
}

void PictureBox::Line(float x1, float y1, float x2, float y2, QRgb color) {
    ensureImage();
    QPainter p(&image_);
    p.setPen(QPen(QColor(color), 0)); // cosmetic: one device pixel wide
    p.drawLine(devX(x1), devY(y1), devX(x2), devY(y2));
    currentX_ = x2;
    currentY_ = y2;
    update(contentsRect());
}

void PictureBox::LineTo(float x2, float y2, QRgb color) {
    Line(currentX_, currentY_, x2, y2, color);
}

void PictureBox::Cls() {
    ensureImage();
    image_.fill(backColor_);
    currentX_ = 0.0f;
    currentY_ = 0.0f;
    update(contentsRect());
}

void PictureBox::Print(const QString& text) {
    ensureImage();
    QPainter p(&image_);
    QFont f = font();
    f.setPointSizeF(f.pointSizeF() * dpr_);
    p.setFont(f);
    p.setPen(QColor(foreColor_));
    const QFontMetrics fm(f);
    p.drawText(QPoint(devX(currentX_), devY(currentY_) + fm.ascent()), text);
    // Like the old surface, the pen goes to the start of the next line.
    currentY_ += static_cast<float>(fm.height() / dpr_ * kTwipsPerPixel);
    currentX_ = 0.0f;
    update(contentsRect());
}

void PictureBox::paintEvent(QPaintEvent* event) {
    ensureImage();
    QPainter p(this);
    const QRect client = contentsRect();
    p.drawImage(client, image_);
    p.setClipRegion(event->region());
    drawFrame(&p);
}

void PictureBox::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    ensureImage();
}

void PictureBox::mousePressEvent(QMouseEvent* event) {
    const QPointF t = toTwips(event->position());
    Q_EMIT MouseDown(vbButton(event->button()), vbShift(event->modifiers()),
                     static_cast<float>(t.x()), static_cast<float>(t.y()));
}

void PictureBox::mouseMoveEvent(QMouseEvent* event) {
    const QPointF t = toTwips(event->position());
    Q_EMIT MouseMove(vbButton(event->buttons()), vbShift(event->modifiers()),
                     static_cast<float>(t.x()), static_cast<float>(t.y()));
}

} // namespace velmoran
