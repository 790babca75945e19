#include "display/picture_box.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include "core/twips.h"

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
    canvas_.setFont(font());
    fitCanvas();
}

void PictureBox::setBackColor(QRgb color) {
    canvas_.setBackColor(color);
    drawingChanged();
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

void PictureBox::fitCanvas() {
    canvas_.resize(contentsRect().size(), devicePixelRatioF(), Width(), Height());
}

void PictureBox::drawingChanged() {
    // Hidden, the whole surface is painted when it is shown again.
    if (!repaintPending_ && isVisible()) {
        repaintPending_ = true;
        update(contentsRect());
    }
}

void PictureBox::Line(float x1, float y1, float x2, float y2, QRgb color) {
    canvas_.Line(x1, y1, x2, y2, color);
    if (mirror_ != nullptr) {
        mirror_->Line(x1, y1, x2, y2, color);
    }
    drawingChanged();
}

void PictureBox::LineTo(float x2, float y2, QRgb color) {
    Line(canvas_.CurrentX(), canvas_.CurrentY(), x2, y2, color);
}

void PictureBox::Cls() {
    fitCanvas();
    canvas_.Cls();
    if (mirror_ != nullptr) {
        mirror_->Cls();
    }
    drawingChanged();
}

void PictureBox::Print(const QString& text) {
    canvas_.Print(text);
    if (mirror_ != nullptr) {
        mirror_->Print(text);
    }
    drawingChanged();
}

void PictureBox::setCurrentX(float x) {
    canvas_.setCurrentX(x);
    if (mirror_ != nullptr) {
        mirror_->setCurrentX(x);
    }
}

void PictureBox::setCurrentY(float y) {
    canvas_.setCurrentY(y);
    if (mirror_ != nullptr) {
        mirror_->setCurrentY(y);
    }
}

void PictureBox::setForeColor(QRgb color) {
    canvas_.setForeColor(color);
    if (mirror_ != nullptr) {
        mirror_->setForeColor(color);
    }
}

void PictureBox::paintEvent(QPaintEvent* event) {
    repaintPending_ = false;
    fitCanvas();
    QPainter p(this);
    p.drawImage(QRectF(contentsRect()), canvas_.image());
    p.setClipRegion(event->region());
    drawFrame(&p);
}

void PictureBox::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    fitCanvas();
}

void PictureBox::showEvent(QShowEvent* event) {
    QFrame::showEvent(event);
    fitCanvas();
}

void PictureBox::changeEvent(QEvent* event) {
    QFrame::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        canvas_.setFont(font());
    }
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
