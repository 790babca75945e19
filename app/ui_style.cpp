#include "app/ui_style.h"

#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QLineEdit>
#include <QPainter>
#include <QRegion>

#include <cmath>

namespace velmoran {

namespace {

// Dark blue: at least 4.5:1 against the window grey, the white fields and the chart's cream.
constexpr QRgb kFocusRingColour = qRgb(0, 70, 160);

// The control a focus ring goes around: the combo box rather than its text field.
QWidget* ringTarget(QWidget* focused) {
    if (auto* combo = qobject_cast<QComboBox*>(focused->parentWidget())) {
        return combo;
    }
    return focused;
}

// Follows the keyboard focus of every window of the application.
class FocusRingKeeper : public QObject {
public:
    using QObject::QObject;
    ~FocusRingKeeper() override {
        if (ring_ != nullptr) {
            ring_->setOnGone({});
        }
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::FocusIn && watched->isWidgetType()) {
            focusIn(static_cast<QWidget*>(watched), static_cast<QFocusEvent*>(event)->reason());
        } else if (ring_ != nullptr && watched == ring_->target()) {
            switch (event->type()) {
            case QEvent::Move:
            case QEvent::Resize:
            case QEvent::Show:
                ring_->surround(ring_->target());
                break;
            case QEvent::Hide:
                ring_->hide();
                break;
            default:
                break;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void focusIn(QWidget* focused, Qt::FocusReason reason) {
        switch (reason) {
        case Qt::TabFocusReason:
        case Qt::BacktabFocusReason:
        case Qt::ShortcutFocusReason:
            keyboard_ = true;
            break;
        case Qt::MouseFocusReason:
            keyboard_ = false;
            break;
        default: // the window activated again, a popup closed: the cue stays as it was
            break;
        }
        QWidget* target = ringTarget(focused);
        QWidget* parent = target->parentWidget();
        if (!keyboard_ || parent == nullptr || target->isWindow() ||
            target->window()->windowType() == Qt::Popup) {
            if (ring_ != nullptr) {
                ring_->hide();
            }
            return;
        }
        if (ring_ == nullptr) {
            ring_ = new FocusRing(parent);
            ring_->setOnGone([this] { ring_ = nullptr; });
        } else if (ring_->parentWidget() != parent) {
            ring_->setParent(parent);
        }
        ring_->surround(target);
    }

    FocusRing* ring_ = nullptr; // lives in the window of the control it last surrounded
    bool keyboard_ = false;
};

} // namespace

ReadableStyle::ReadableStyle() : QProxyStyle(nullptr) {}

QRect ReadableStyle::subElementRect(SubElement element, const QStyleOption* option,
                                    const QWidget* widget) const {
    QRect rect = QProxyStyle::subElementRect(element, option, widget);
    const auto* edit = qobject_cast<const QLineEdit*>(widget);
    const auto* combo = edit ? qobject_cast<const QComboBox*>(edit->parentWidget()) : nullptr;
    if (element != SE_LineEditContents || combo == nullptr) {
        return rect;
    }
    // The field draws the line box in the middle of this rectangle, the baseline one ascent
    // below its top. With the rectangle exactly one line high, its top decides the baseline:
    // put it half a capital's height below the middle of the combo box.
    const QFontMetrics fm = edit->fontMetrics();
    const qreal middle = combo->height() / 2.0 - edit->y();
    const int baseline = static_cast<int>(std::lround(middle + fm.capHeight() / 2.0));
    rect.setTop(baseline - fm.ascent());
    rect.setHeight(fm.height());
    return rect;
}

FocusRing::FocusRing(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("FocusRing"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    hide();
}

FocusRing::~FocusRing() {
    if (onGone_) {
        onGone_();
    }
}

void FocusRing::surround(QWidget* target) {
    target_ = target;
    if (!target_ || !target_->isVisible()) {
        hide();
        return;
    }
    const QRect outer = target_->geometry().adjusted(-kFocusRingWidth, -kFocusRingWidth,
                                                     kFocusRingWidth, kFocusRingWidth);
    setGeometry(outer);
    // Only the band is the ring's: the control inside keeps painting and showing itself.
    const QRect band(QPoint(0, 0), outer.size());
    setMask(QRegion(band).subtracted(QRegion(
        band.adjusted(kFocusRingWidth, kFocusRingWidth, -kFocusRingWidth, -kFocusRingWidth))));
    raise();
    show();
    update();
}

void FocusRing::paintEvent(QPaintEvent* event) {
    Q_UNUSED(event);
    QPainter p(this);
    p.fillRect(rect(), QColor(kFocusRingColour));
}

void installReadableStyle(QApplication& app) {
    QApplication::setStyle(new ReadableStyle);
    app.installEventFilter(new FocusRingKeeper(&app));
}

} // namespace velmoran
