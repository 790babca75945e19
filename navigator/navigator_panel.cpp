#include "navigator/navigator_panel.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTableView>

#include "core/texts.h"
#include "infrared/ir_analysis.h"
#include "interchange/frames_model.h"
#include "navigator/frame_list.h"
#include "navigator/overview.h"

namespace velmoran::navigator {

namespace {

constexpr const char* kChannelNames[kChannelCount] = {texts::kChannelOne, texts::kChannelTwo,
                                                      texts::kChannelThree};
constexpr int kMargin = 4;
constexpr int kRowHeight = 18;
// Columns fit the texts of this many rows around the visible ones, not of every row.
constexpr int kRowsMeasured = 200;

// The bits that differ between frames of one inferred coding; the same frames' sameness.
QString differingBitsLine(const std::vector<infrared::IrFrame>& frames) {
    const QString text = infrared::differingBitsText(frames);
    return text.isEmpty() ? QStringLiteral("所选帧各位相同") : text;
}

} // namespace

NavigatorPanel::NavigatorPanel(const ChannelBuffers& buffers, QWidget* parent)
    : QWidget(parent), buffers_(buffers) {
    setObjectName(QStringLiteral("NavigatorPanel"));
    setFixedHeight(kPanelHeight);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    grid->setHorizontalSpacing(kMargin);
    grid->setVerticalSpacing(kMargin);

    // The names sit in a column of their own, each level with its strip.
    auto* names = new QWidget(this);
    names->setFixedHeight(Overview::fixedHeight());
    for (int ch = 1; ch <= kChannelCount; ++ch) {
        auto* name = new QLabel(QString::fromUtf8(kChannelNames[ch - 1]), names);
        name->adjustSize();
        name->move(0, Overview::stripTop(ch) + (Overview::kStripHeight - name->height()) / 2);
    }
    names->setFixedWidth(names->childrenRect().width());
    overview_ = new Overview(this);
    overview_->setBuffers(buffers_);

    model_ = new FrameListModel(this);
    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("FrameTable"));
    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    table_->setAlternatingRowColors(true);
    table_->verticalHeader()->setDefaultSectionSize(kRowHeight);
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setWordWrap(false);
    table_->horizontalHeader()->setResizeContentsPrecision(kRowsMeasured);

    grid->addWidget(names, 0, 0);
    grid->addWidget(overview_, 0, 1);
    bits_ = new QLabel(this);
    bits_->setObjectName(QStringLiteral("FrameBits"));
    bits_->setFixedHeight(kRowHeight);

    grid->addWidget(table_, 1, 0, 1, 2);
    grid->addWidget(bits_, 2, 0, 1, 2);

    connect(overview_, &Overview::fractionChosen, this, &NavigatorPanel::fractionChosen);
    connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid()) {
                    Q_EMIT frameChosen(current.row());
                }
            });
    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &NavigatorPanel::showDifferingBits);
    // A click on the row that is already current moves the chart back to it too.
    // A double-click on a row (its key cell apart, which it edits) fits the frame to the chart.
    connect(table_, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid() && index.column() != FrameListModel::Key) {
            Q_EMIT frameActivated(index.row());
        }
    });
    connect(table_, &QTableView::clicked, this, [this](const QModelIndex& index) {
        if (index.isValid() && index.row() == table_->currentIndex().row()) {
            Q_EMIT frameChosen(index.row());
        }
    });
}

void NavigatorPanel::setFramesModel(const interchange::FramesModel* frames) {
    model_->setSource(frames);
    bits_->clear();
    table_->resizeColumnsToContents();
    overview_->refresh();
    connect(frames, &interchange::FramesModel::changed, this, [this, frames](int channel) {
        overview_->refreshChannel(channel, frames->changedFromSample(channel),
                                  frames->reachedSample(channel));
        if (frames->changedFromSample(channel) == 0 &&
            frames->reachedSample(channel) == kCaptureSamples) {
            table_->resizeColumnsToContents(); // a whole channel anew: a load, a capture's end
        }
    });
}

int NavigatorPanel::refresh() {
    return showFrames(decodeChannels(buffers_));
}

int NavigatorPanel::showFrames(std::vector<infrared::IrFrame> frames) {
    model_->setFrames(std::move(frames));
    bits_->clear();
    table_->resizeColumnsToContents();
    overview_->refresh();
    return model_->rowCount();
}

void NavigatorPanel::showDifferingBits() {
    const QModelIndexList rows = table_->selectionModel()->selectedRows();
    std::vector<infrared::IrFrame> chosen;
    for (const QModelIndex& index : rows) {
        chosen.push_back(model_->frame(index.row()));
    }
    bits_->setText(chosen.size() < 2 ? QString() : differingBitsLine(chosen));
}

int NavigatorPanel::currentFrame() const {
    return table_->currentIndex().isValid() ? table_->currentIndex().row() : -1;
}

void NavigatorPanel::selectFrame(int row) {
    const QModelIndex index = model_->index(row, 0);
    if (!index.isValid()) {
        return;
    }
    if (table_->currentIndex().row() == row) {
        Q_EMIT frameChosen(row);
    }
    // The row alone, whatever keys are held (Ctrl+→ moves the selection, it does not extend it).
    table_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                         QItemSelectionModel::Rows);
    table_->scrollTo(index);
}

} // namespace velmoran::navigator
