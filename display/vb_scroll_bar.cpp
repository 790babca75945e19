#include "display/vb_scroll_bar.h"

#include "core/constants.h"

namespace velmoran {

VbScrollBar::VbScrollBar(QWidget* parent) : QScrollBar(Qt::Horizontal, parent) {
    // Without tracking, a drag changes the value only when the thumb is released.
    setTracking(false);
    setSingleStep(kScrollSmallChange);
    setPageStep(kScrollLargeChange);
    connect(this, &QScrollBar::valueChanged, this, &VbScrollBar::Change);
}

} // namespace velmoran
