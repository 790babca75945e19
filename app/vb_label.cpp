#include "app/vb_label.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QStyleOption>
#include <QtMath>

namespace velmoran {

namespace {

// Texts remembered before the memory starts afresh: more than the rates a capture shows.
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

void VbLabel::paintEvent(QPaintEvent* event) {
    const Qt::Alignment topLeft = Qt::AlignLeft | Qt::AlignTop;
    if (!isEnabled() || text().isEmpty() || frameShape() != QFrame::NoFrame || margin() != 0 ||
        indent() != 0 || alignment() != topLeft || textFormat() != Qt::PlainText || wordWrap() ||
        layoutDirection() != Qt::LeftToRight || buddy() != nullptr) {
        QLabel::paintEvent(event);
        return;
    }
    if (laidOutFont_ != font() || laidOut_.size() >= kRememberedSizes) {
        laidOut_.clear();
        laidOutFont_ = font();
    }
    auto caption = laidOut_.find(text());
    if (caption == laidOut_.end()) {
        QStaticText laid(text());
        laid.setTextFormat(Qt::PlainText);
        caption = laidOut_.insert(text(), laid);
    }
    QPainter painter(this);
    QStyleOption option;
    option.initFrom(this);
    // The pen the style gives a label's text, and its first line where a drawn text puts it:
    // below the font's leading.
    painter.setPen(QPen(option.palette.brush(foregroundRole()), painter.pen().widthF()));
    const int leading = QFontMetrics(font(), this).leading();
    painter.drawStaticText(QPointF(contentsRect().topLeft()) + QPointF(0, qCeil(leading)),
                           *caption);
}

void VbLabel::changeEvent(QEvent* event) {
    // What a text measures depends on the font and the style.
    switch (event->type()) {
    case QEvent::FontChange:
    case QEvent::ApplicationFontChange:
    case QEvent::StyleChange:
        sizeForText_.clear();
        laidOut_.clear();
        break;
    default:
        break;
    }
    QLabel::changeEvent(event);
}

} // namespace velmoran
