// The frame list's view after rows came or went: what the screen shows is what a whole repaint
// shows (rows added below the rows in sight paint nothing of them), its row numbers are as wide
// as a plain table's, and its scroll bar draws as a plain one without painting again when only
// its range or steps are set again. The list itself follows its frames model row by row.

#include <QApplication>
#include <QItemSelectionModel>
#include <QPainter>
#include <QScreen>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>

#include "interchange/frames_model.h"
#include "navigator/frame_list.h"
#include "navigator/frame_table.h"

using namespace velmoran::navigator;

namespace {

constexpr int kRows = 200;
constexpr int kColumns = 3;
constexpr QSize kTableSize{360, 220};

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* watched) { watched->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        paints += event->type() == QEvent::Paint ? 1 : 0;
        return QObject::eventFilter(watched, event);
    }
};

QList<QStandardItem*> rowItems(const QString& tag) {
    QList<QStandardItem*> items;
    for (int c = 0; c < kColumns; ++c) {
        items << new QStandardItem(QStringLiteral("%1 %2").arg(tag).arg(c));
    }
    return items;
}

void fill(QStandardItemModel& model, int rows) {
    model.clear();
    for (int r = 0; r < rows; ++r) {
        model.appendRow(rowItems(QString::number(r)));
    }
}

// What the table's window shows on the screen (its backing store), not a fresh rendering.
QImage onScreen(QWidget& window) {
    QCoreApplication::processEvents();
    QTest::qWait(20); // the view's own delayed layout
    QCoreApplication::processEvents();
    return window.screen()->grabWindow(window.winId()).toImage();
}

struct Change {
    const char* name;
    std::function<void(QStandardItemModel&)> apply;
    bool paintsRows; // whether any row in sight is painted again
};

TEST(FrameTable, TheScreenShowsWhatAWholeRepaintShowsAfterRowsCameOrWent) {
    const Change changes[] = {
        {"rows appended below the rows in sight",
         [](QStandardItemModel& m) {
             for (int i = 0; i < 5; ++i) {
                 m.appendRow(rowItems(QStringLiteral("new %1").arg(i)));
             }
         },
         false},
        {"rows inserted at the top",
         [](QStandardItemModel& m) { m.insertRow(0, rowItems(QStringLiteral("top"))); }, true},
        {"rows inserted among the rows in sight",
         [](QStandardItemModel& m) {
             m.insertRow(3, rowItems(QStringLiteral("mid a")));
             m.insertRow(4, rowItems(QStringLiteral("mid b")));
         },
         true},
        {"a row removed among the rows in sight", [](QStandardItemModel& m) { m.removeRow(2); },
         true},
        {"a row inserted, then one removed above it",
         [](QStandardItemModel& m) {
             m.insertRow(6, rowItems(QStringLiteral("later")));
             m.removeRow(1);
         },
         true},
        {"the model refilled with fewer rows", [](QStandardItemModel& m) { fill(m, 4); }, true},
    };
    for (const Change& change : changes) {
        SCOPED_TRACE(change.name);
        QStandardItemModel model;
        fill(model, kRows);
        FrameTable table;
        table.setModel(&model);
        table.setAlternatingRowColors(true);
        table.resize(kTableSize);
        table.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&table));
        table.selectRow(5); // rows below an insertion move, their selection with them
        onScreen(table);

        PaintCounter counter(table.viewport());
        change.apply(model);
        table.doItemsLayout(); // as the navigator does after a look at a capture
        const QImage shown = onScreen(table);
        EXPECT_EQ(counter.paints > 0, change.paintsRows);

        table.viewport()->update();
        table.verticalHeader()->viewport()->update();
        EXPECT_EQ(onScreen(table), shown);
    }
}

TEST(FrameTable, RowNumbersAreAsWideAsAPlainTablesAndTheScrollBarDrawsAsAPlainOne) {
    QStandardItemModel model;
    FrameTable table;
    QTableView plain;
    table.setModel(&model);
    plain.setModel(&model);
    for (const int rows : {1, 9, 10, 99, 100, 101, 999, 1000, 1234}) {
        fill(model, rows);
        EXPECT_EQ(table.verticalHeader()->sizeHint().width(),
                  plain.verticalHeader()->sizeHint().width())
            << rows << " rows";
    }

    SteadyScrollBar steady(Qt::Vertical);
    QScrollBar bar(Qt::Vertical);
    for (QScrollBar* b : {static_cast<QScrollBar*>(&steady), &bar}) {
        b->resize(16, 200);
        b->setRange(0, 50);
        b->setPageStep(10);
    }
    // Drawn on the same background, as the bar's parent paints it.
    const auto drawn = [](QScrollBar& b) {
        QPixmap pixmap(b.size());
        pixmap.fill(b.palette().color(QPalette::Window));
        b.render(&pixmap, {}, {}, QWidget::DrawChildren);
        return pixmap.toImage();
    };
    for (const int value : {0, 20, 50}) {
        steady.setValue(value);
        bar.setValue(value);
        EXPECT_EQ(drawn(steady), drawn(bar)) << "at " << value;
        EXPECT_EQ(drawn(steady), drawn(bar)) << "at " << value << ", from its copy";
    }

    steady.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&steady));
    onScreen(steady);
    PaintCounter counter(&steady);
    steady.setRange(0, 50);
    steady.setPageStep(10);
    steady.setSingleStep(1);
    onScreen(steady);
    EXPECT_EQ(counter.paints, 0) << "set again as it was";
    steady.setPageStep(25); // a longer slider
    onScreen(steady);
    EXPECT_GT(counter.paints, 0);
}

} // namespace

// The frame list follows its frames model change by change: after each, it reads as a list made
// afresh from the model, and a row whose frame was decoded anew in its place (a running
// capture's last frame, grown by the blocks since) is told as changed, not removed and inserted,
// so that it stays selected.
TEST(FrameListFollowing, EachChangeReadsAsAFreshListAndRowsInPlaceStay) {
    const auto nec = [](int channel, int64_t start, uint32_t command) {
        velmoran::infrared::IrFrame f;
        f.channel = channel;
        f.protocol = velmoran::infrared::IrProtocol::Nec;
        f.address = 0x10;
        f.command = command;
        f.startSample = start;
        f.endSample = start + 50;
        return f;
    };
    velmoran::interchange::FramesModel frames(velmoran::ChannelBuffers{});
    frames.setFrames(1, {nec(1, 100, 1), nec(1, 300, 2)});
    frames.setFrames(2, {nec(2, 200, 3)});
    FrameListModel list;
    list.setSource(&frames);
    QItemSelectionModel selection(&list);
    selection.select(list.index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QSignalSpy removed(&list, &QAbstractItemModel::rowsRemoved);
    QSignalSpy inserted(&list, &QAbstractItemModel::rowsInserted);
    QSignalSpy changed(&list, &QAbstractItemModel::dataChanged);

    const struct {
        const char* name;
        std::vector<velmoran::infrared::IrFrame> channel1;
        int removedRows;
        int insertedRows;
        bool lastRowStaysSelected;
    } steps[] = {
        {"the last frame decoded anew in its place", {nec(1, 100, 1), nec(1, 300, 9)}, 0, 0, true},
        {"a frame added after the others",
         {nec(1, 100, 1), nec(1, 300, 9), nec(1, 400, 4)},
         0,
         1,
         true},
        {"the last frame gone", {nec(1, 100, 1), nec(1, 300, 9)}, 1, 0, true},
        {"a frame now before the other channel's", {nec(1, 100, 1), nec(1, 150, 5)}, 2, 2, false},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        removed.clear();
        inserted.clear();
        changed.clear();
        frames.setFrames(1, step.channel1);
        FrameListModel fresh;
        fresh.setSource(&frames);
        ASSERT_EQ(list.rowCount(), fresh.rowCount());
        for (int row = 0; row < fresh.rowCount(); ++row) {
            for (int column = 0; column < FrameListModel::ColumnCount; ++column) {
                EXPECT_EQ(list.index(row, column).data(), fresh.index(row, column).data())
                    << row << ", " << column;
            }
        }
        int removedRows = 0;
        for (const QList<QVariant>& r : removed) {
            removedRows += r.at(2).toInt() - r.at(1).toInt() + 1;
        }
        int insertedRows = 0;
        for (const QList<QVariant>& r : inserted) {
            insertedRows += r.at(2).toInt() - r.at(1).toInt() + 1;
        }
        EXPECT_EQ(removedRows, step.removedRows);
        EXPECT_EQ(insertedRows, step.insertedRows);
        EXPECT_EQ(selection.isRowSelected(2), step.lastRowStaysSelected);
        EXPECT_FALSE(changed.empty()); // the first frame, decoded anew in its place
    }
}
