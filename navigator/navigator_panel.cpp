#include "navigator/navigator_panel.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QSettings>
#include <QSplitter>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include "core/channel_levels.h"
#include "core/texts.h"
#include "infrared/ir_analysis.h"
#include "interchange/frames_model.h"
#include "navigator/detail_chart.h"
#include "navigator/frame_list.h"
#include "navigator/frame_table.h"
#include "navigator/overview.h"

namespace velmoran::navigator {

namespace {

constexpr const char* kChannelNames[kChannelCount] = {texts::kChannelOne, texts::kChannelTwo,
                                                      texts::kChannelThree};
constexpr int kMargin = 4;
constexpr int kRowHeight = 18;
// An unknown burst's notes column is kept this narrow so that the key column beside it shows
// (the whole note is in its tooltip).
constexpr int kNotesWidth = 260;
constexpr int kListShare = 2;
constexpr int kLeastListRows = 3;
constexpr int kMinimumShareUnit = 100;
constexpr int kChartShare = 3;
const QString kSplitterKey = QStringLiteral("navigator/splitter");
const QString kSyncKey = QStringLiteral("navigator/sync");
// The longest text the chart's readout shows (a measured interval across the whole capture).
const QString kWidestReadout = QStringLiteral("Δt = 20391.025ms");
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
    setMinimumHeight(kLeastPanelHeight);

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
    table_ = new FrameTable(this);
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
    // Docked on a short screen, the list may shrink to a few rows so that the chart still fits.
    table_->setMinimumHeight(kLeastListRows * kRowHeight);
    table_->horizontalHeader()->setResizeContentsPrecision(kRowsMeasured);

    grid->addWidget(names, 0, 0);
    grid->addWidget(overview_, 0, 1);
    bits_ = new QLabel(this);
    bits_->setObjectName(QStringLiteral("FrameBits"));
    bits_->setFixedHeight(kRowHeight);

    auto* listBox = new QWidget(this);
    auto* listLayout = new QVBoxLayout(listBox);
    listLayout->setContentsMargins(0, 0, 0, 0);
    listLayout->setSpacing(kMargin);
    listLayout->addWidget(table_);
    listLayout->addWidget(bits_);

    splitter_ = new QSplitter(Qt::Vertical, this);
    splitter_->setObjectName(QStringLiteral("NavigatorSplitter"));
    splitter_->setChildrenCollapsible(false);
    splitter_->addWidget(listBox);
    splitter_->addWidget(makeChartBox());
    // The chart takes the larger share of the room until the user moves the splitter.
    splitter_->setStretchFactor(0, kListShare);
    splitter_->setStretchFactor(1, kChartShare);
    if (!splitter_->restoreState(QSettings().value(kSplitterKey).toByteArray())) {
        // Scaled to the splitter's height when it is laid out.
        splitter_->setSizes({kListShare * kMinimumShareUnit, kChartShare * kMinimumShareUnit});
    }
    connect(splitter_, &QSplitter::splitterMoved, this,
            [this] { QSettings().setValue(kSplitterKey, splitter_->saveState()); });
    grid->addWidget(splitter_, 1, 0, 1, 2);
    grid->setRowStretch(1, 1);

    connect(overview_, &Overview::fractionChosen, this, &NavigatorPanel::fractionChosen);
    connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid()) {
                    Q_EMIT frameChosen(current.row());
                }
            });
    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &NavigatorPanel::showDifferingBits);
    connect(this, &NavigatorPanel::frameChosen, chart_, &DetailChart::followFrame);
    connect(this, &NavigatorPanel::frameActivated, chart_, &DetailChart::fitFrame);
    connect(chart_, &DetailChart::frameClicked, this, &NavigatorPanel::selectFrame);
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
            if (table_->columnWidth(FrameListModel::Notes) > kNotesWidth) {
                table_->setColumnWidth(FrameListModel::Notes, kNotesWidth);
            }
        }
        // Rows came or went: laid out now rather than on the list's own timer a moment later,
        // so that they are painted with the rest of the change, in one repaint of the window.
        if (model_->rowCount() != laidOutRows_) {
            laidOutRows_ = model_->rowCount();
            table_->doItemsLayout();
        }
        feedChartLine(channel);
        // A look at a running capture that found no new frame leaves the chart's frames as they
        // were (handing them all over again is the longest part of a look at a busy capture).
        const std::size_t count = frames->frames(channel).size();
        std::size_t& shown = chartFrameCounts_[static_cast<std::size_t>(channel - 1)];
        if (frames->firstChanged(channel) < count || count != shown) {
            shown = count;
            feedChartFrames();
        }
    });
    connect(frames, &interchange::FramesModel::keysChanged, this, &NavigatorPanel::passKeyNames);
    for (int ch = 1; ch <= kChannelCount; ++ch) {
        feedChartLine(ch);
        chartFrameCounts_[static_cast<std::size_t>(ch - 1)] = frames->frames(ch).size();
    }
    feedChartFrames();
}

void NavigatorPanel::feedChartLine(int channel) {
    if (buffers_[channel - 1] != nullptr) {
        chart_->setLine(channel, channelLevels(*buffers_[channel - 1]));
    }
}

void NavigatorPanel::feedChartFrames() {
    chart_->setFrames(model_->frames(), keyNamesShown());
}

int NavigatorPanel::refresh() {
    return showFrames(decodeChannels(buffers_));
}

int NavigatorPanel::showFrames(std::vector<infrared::IrFrame> frames) {
    model_->setFrames(frames);
    chart_->setFrames(std::move(frames));
    for (int ch = 1; ch <= kChannelCount; ++ch) {
        if (buffers_[ch - 1] != nullptr) {
            chart_->setLine(ch, channelLevels(*buffers_[ch - 1]));
        }
    }
    bits_->clear();
    table_->resizeColumnsToContents();
    if (table_->columnWidth(FrameListModel::Notes) > kNotesWidth) {
        table_->setColumnWidth(FrameListModel::Notes, kNotesWidth);
    }
    overview_->refresh();
    return model_->rowCount();
}

QWidget* NavigatorPanel::makeChartBox() {
    auto* box = new QWidget(this);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(kMargin);
    auto* tools = new QHBoxLayout;
    auto* title = new QLabel(QStringLiteral("波形详图"), box);
    auto* all = new QToolButton(box);
    all->setObjectName(QStringLiteral("ShowAll"));
    all->setText(QStringLiteral("全部显示"));
    auto* fit = new QToolButton(box);
    fit->setObjectName(QStringLiteral("FitFrame"));
    fit->setText(QStringLiteral("适合所选帧"));
    sync_ = new QCheckBox(QStringLiteral("同步"), box);
    sync_->setObjectName(QStringLiteral("SyncCharts"));
    sync_->setToolTip(QStringLiteral("波形详图与主窗口的波形显示同一时刻"));
    sync_->setChecked(QSettings().value(kSyncKey, false).toBool());
    readout_ = new QLabel(box);
    readout_->setObjectName(QStringLiteral("ChartReadout"));
    readout_->setMinimumWidth(readout_->fontMetrics().horizontalAdvance(kWidestReadout));
    tools->addWidget(title);
    tools->addWidget(all);
    tools->addWidget(fit);
    tools->addWidget(sync_);
    tools->addStretch(1);
    tools->addWidget(readout_);
    layout->addLayout(tools);
    chart_ = new DetailChart(box);
    chart_->setToolTip(QString());
    layout->addWidget(chart_, 1);
    connect(all, &QToolButton::clicked, chart_, &DetailChart::showAll);
    connect(fit, &QToolButton::clicked, this, [this] { chart_->fitFrame(currentFrame()); });
    connect(chart_, &DetailChart::readoutChanged, readout_, &QLabel::setText);
    connect(sync_, &QCheckBox::toggled, this, [this](bool on) {
        QSettings().setValue(kSyncKey, on);
        Q_EMIT synchronisedChanged(on);
    });
    return box;
}

bool NavigatorPanel::synchronised() const {
    return sync_->isChecked();
}

std::vector<QString> NavigatorPanel::keyNamesShown() const {
    std::vector<QString> names;
    if (model_->source() == nullptr) {
        return names;
    }
    names.reserve(static_cast<std::size_t>(model_->rowCount()));
    for (int row = 0; row < model_->rowCount(); ++row) {
        names.push_back(model_->keyShown(row));
    }
    return names;
}

void NavigatorPanel::passKeyNames() {
    chart_->setKeyNames(keyNamesShown());
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
