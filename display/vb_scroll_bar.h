#pragma once

// HScroll1: a horizontal scroll bar that reports a change once a move is complete: after an
// arrow or track click, when the thumb is released, and when lowering Max pulls Value down.

#include <QScrollBar>

namespace velmoran {

class VbScrollBar : public QScrollBar {
    Q_OBJECT
public:
    explicit VbScrollBar(QWidget* parent = nullptr);

    int Value() const { return value(); }
    void setValue_(int v) { setValue(v); }
    int Max() const { return maximum(); }
    void setMax(int max) { setMaximum(max); }
    int SmallChange() const { return singleStep(); }
    int LargeChange() const { return pageStep(); }

Q_SIGNALS:
    void Change();
};

} // namespace velmoran
