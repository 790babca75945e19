#include "app/vb_label.h"

namespace velmoran {

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
    setText(caption);
    if (autoSize_) {
        adjustSize();
    }
}

} // namespace velmoran
