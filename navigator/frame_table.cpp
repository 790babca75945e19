#include "navigator/frame_table.h"

#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>

#include <algorithm>

namespace velmoran::navigator {

namespace {

// Row numbers remembered before the memory starts afresh (a header measures the first and the
// last hundred).
constexpr qsizetype kRememberedSizes = 1024;

} // namespace

RowNumbers::RowNumbers(QWidget* parent) : QHeaderView(Qt::Vertical, parent) {
    // As a table's own vertical header.
    setSectionsClickable(true);
    setHighlightSections(true);
}

QSize RowNumbers::sectionSizeFromContents(int logicalIndex) const {
    if (model() == nullptr) {
        return QHeaderView::sectionSizeFromContents(logicalIndex);
    }
    const QString text = model()->headerData(logicalIndex, orientation()).toString();
    const auto known = sizeForText_.constFind(text);
    if (known != sizeForText_.cend()) {
        return *known;
    }
    const QSize size = QHeaderView::sectionSizeFromContents(logicalIndex);
    if (sizeForText_.size() >= kRememberedSizes) {
        sizeForText_.clear();
    }
    sizeForText_.insert(text, size);
    return size;
}

void RowNumbers::changeEvent(QEvent* event) {
    // What a text measures depends on the font and the style.
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        sizeForText_.clear();
    }
    QHeaderView::changeEvent(event);
}

SteadyScrollBar::SteadyScrollBar(Qt::Orientation orientation, QWidget* parent)
    : QScrollBar(orientation, parent) {}

SteadyScrollBar::Look SteadyScrollBar::look() const {
    QStyleOptionSlider option;
    initStyleOption(&option);
    return {
        style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this),
        value() == minimum(),
        value() == maximum(),
        size(),
        static_cast<int>(option.state),
        palette().cacheKey(),
        devicePixelRatioF(),
        style()};
}

void SteadyScrollBar::paintEvent(QPaintEvent* event) {
    const Look now = look();
    painted_ = now;
    if (underMouse() || isSliderDown() || QApplication::mouseButtons() != Qt::NoButton) {
        // A part under the pointer or pressed is drawn as the bar alone knows it.
        drawing_ = QPixmap();
        QScrollBar::paintEvent(event);
        return;
    }
    if (drawing_.isNull() || !(drawingLook_ == now)) {
        QStyleOptionSlider option;
        initStyleOption(&option);
        option.subControls = QStyle::SC_All;
        option.activeSubControls = QStyle::SC_None;
        drawing_ = QPixmap((QSizeF(size()) * now.pixelRatio).toSize());
        drawing_.setDevicePixelRatio(now.pixelRatio);
        drawing_.fill(Qt::transparent);
        QPainter p(&drawing_);
        style()->drawComplexControl(QStyle::CC_ScrollBar, &option, &p, this);
        drawingLook_ = now;
    }
    QPainter(this).drawPixmap(0, 0, drawing_);
}

void SteadyScrollBar::sliderChange(SliderChange change) {
    // A table sets its bars' steps again each time it lays its rows out, which alone would
    // paint them again.
    if (change != SliderOrientationChange && painted_ && look() == *painted_) {
        return;
    }
    QScrollBar::sliderChange(change);
}

FrameTable::FrameTable(QWidget* parent) : QTableView(parent) {
    setVerticalHeader(new RowNumbers(this));
    setVerticalScrollBar(new SteadyScrollBar(Qt::Vertical, this));
    setHorizontalScrollBar(new SteadyScrollBar(Qt::Horizontal, this));
}

void FrameTable::setModel(QAbstractItemModel* model) {
    if (this->model() != nullptr) {
        disconnect(this->model(), nullptr, this, nullptr);
    }
    QTableView::setModel(model);
    needWholeLayout();
    if (model == nullptr) {
        return;
    }
    // Whatever else a model may do moves rows that are in sight.
    connect(model, &QAbstractItemModel::layoutChanged, this, &FrameTable::needWholeLayout);
    connect(model, &QAbstractItemModel::rowsMoved, this, &FrameTable::needWholeLayout);
    connect(model, &QAbstractItemModel::columnsInserted, this, &FrameTable::needWholeLayout);
    connect(model, &QAbstractItemModel::columnsRemoved, this, &FrameTable::needWholeLayout);
    connect(model, &QAbstractItemModel::columnsMoved, this, &FrameTable::needWholeLayout);
}

void FrameTable::needWholeLayout() {
    onlyInserted_ = false;
}

void FrameTable::reset() {
    needWholeLayout();
    QTableView::reset();
}

void FrameTable::rowsInserted(const QModelIndex& parent, int start, int end) {
    repaintFrom_ = std::min(repaintFrom_, start);
    QTableView::rowsInserted(parent, start, end);
}

void FrameTable::rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) {
    needWholeLayout();
    QTableView::rowsAboutToBeRemoved(parent, start, end);
}

void FrameTable::doItemsLayout() {
    if (!onlyInserted_ || model() == nullptr) {
        QTableView::doItemsLayout();
        onlyInserted_ = true;
        repaintFrom_ = kNoRow;
        return;
    }
    updateGeometries();
    if (repaintFrom_ < model()->rowCount()) {
        // The rows from the first one inserted on moved down or are new; those above stay.
        const int top = std::max(0, rowViewportPosition(repaintFrom_));
        if (top < viewport()->height()) {
            viewport()->update(0, top, viewport()->width(), viewport()->height() - top);
        }
    }
    repaintFrom_ = kNoRow;
}

} // namespace velmoran::navigator
