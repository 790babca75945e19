#include "app/vb_label.h"

#include <QEvent>

namespace velmoran {

namespace {

// Texts remembered before the memory starts afresh: more than the different rates one capture
// shows, so that it does not start afresh in the middle of one.
constexpr qsizetype kRememberedSizes = 256;

} // namespace

VbLabel::VbLabel(const QString& caption, bool autoSize, QWidget* parent)
    : QLabel(caption, parent), autoSize_(autoSize) {
    setAutoFillBackground(false);
    setAttribute(Qt::WA_TranslucentBackground);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setTextFormat(Qt::PlainText);
    setMargin(0);
    setIndent(0);
}

void VbLabel::setCaption(const QString& caption) {
    // The monitor sets its captions five times a second, mostly to the text they already show.
    if (caption == text()) {
        return;
    }
    setText(caption);
    if (autoSize_) {
        adjustSize();
    }
}

QSize VbLabel::sizeHint() const {
    if (!autoSize_) {
        return QLabel::sizeHint();
    }
    // Texts measure differently on a screen of another resolution.
    if (logicalDpiY() != sizesDpi_) {
        sizeForText_.clear();
        sizesDpi_ = logicalDpiY();
    }
    const auto known = sizeForText_.constFind(text());
    if (known != sizeForText_.cend()) {
        return *known;
    }
    const QSize size = QLabel::sizeHint();
    if (sizeForText_.size() >= kRememberedSizes) {
        sizeForText_.clear();
    }
    sizeForText_.insert(text(), size);
    return size;
}

void VbLabel::changeEvent(QEvent* event) {
    // What a text measures depends on the font and the style.
    switch (event->type()) {
    case QEvent::FontChange:
    case QEvent::ApplicationFontChange:
    case QEvent::StyleChange:
        sizeForText_.clear();
        break;
    default:
        break;
    }
    QLabel::changeEvent(event);
}

} // namespace velmoran
