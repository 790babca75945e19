#pragma once

// The frame list's view. A running capture adds rows once a second, mostly below the rows in
// sight: the table then lays itself out again without painting the rows that stayed where they
// were, each row number's text is measured once, and its scroll bar is not painted again while
// what it shows stays where it was.

#include <QHash>
#include <QHeaderView>
#include <QPixmap>
#include <QScrollBar>
#include <QTableView>

#include <limits>
#include <optional>

namespace velmoran::navigator {

// Row numbers that measure each number's text once: a plain header measures its first and last
// hundred sections again each time rows are added.
class RowNumbers : public QHeaderView {
    Q_OBJECT
public:
    explicit RowNumbers(QWidget* parent = nullptr);

protected:
    QSize sectionSizeFromContents(int logicalIndex) const override;
    void changeEvent(QEvent* event) override;

private:
    mutable QHash<QString, QSize> sizeForText_;
};

// A scroll bar that asks for no painting when a change of its range, value or steps leaves it
// drawn as it was, and that paints again from a copy of its last drawing while the pointer is
// elsewhere (a table's layout raises its bars, which paints them again whole).
class SteadyScrollBar : public QScrollBar {
    Q_OBJECT
public:
    explicit SteadyScrollBar(Qt::Orientation orientation, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void sliderChange(SliderChange change) override;

private:
    // What a drawing of the bar depends on, as long as the pointer is elsewhere.
    struct Look {
        QRect slider;
        bool atMinimum = false;
        bool atMaximum = false;
        QSize size;
        int state = 0;
        qint64 palette = 0;
        qreal pixelRatio = 1.0;
        const QStyle* style = nullptr;
        friend bool operator==(const Look&, const Look&) = default;
    };
    Look look() const;
    std::optional<Look> painted_;
    QPixmap drawing_;
    Look drawingLook_;
};

class FrameTable : public QTableView {
    Q_OBJECT
public:
    explicit FrameTable(QWidget* parent = nullptr);

    void setModel(QAbstractItemModel* model) override;
    void reset() override;
    // After rows were only inserted since the last layout: the geometry again, and a painting of
    // the rows in sight from the first one inserted down; else as any table.
    void doItemsLayout() override;

protected:
    void rowsInserted(const QModelIndex& parent, int start, int end) override;
    void rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) override;

private:
    static constexpr int kNoRow = std::numeric_limits<int>::max();
    // Whether, since the last whole layout, rows were inserted and nothing else changed.
    bool onlyInserted_ = false;
    // The first row inserted and not yet painted (kNoRow: none).
    int repaintFrom_ = kNoRow;
    void needWholeLayout();
};

} // namespace velmoran::navigator
