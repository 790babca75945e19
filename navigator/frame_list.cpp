#include "navigator/frame_list.h"

#include "navigator/common_ends.h"
#include <algorithm>
#include <array>

#include "core/channel_levels.h"
#include "infrared/irp/irp_decode.h"
#include "interchange/frames_model.h"

namespace velmoran::navigator {

namespace {

constexpr double kMicrosecondsPerMs = 1000.0;
constexpr int kStartDecimals = 3;
// An unknown burst's notes carry its whole raw pulse list (a noisy line: thousands of values);
// the cell shows its start, the tooltip a good deal more.
constexpr qsizetype kNotesShown = 160;
constexpr qsizetype kNotesInTooltip = 2000;

QString elided(const QString& text, qsizetype length) {
    return text.size() <= length ? text : text.left(length) + QStringLiteral("…");
}

const char* const kHeaders[FrameListModel::ColumnCount] = {
    "通道", "开始 (ms)", "协议", "地址", "命令", "校验", "备注", "按键",
};

} // namespace

std::vector<infrared::IrFrame> decodeChannels(const ChannelBuffers& buffers) {
    std::vector<infrared::IrFrame> frames;
    for (int ch = 1; ch <= kChannelCount; ++ch) {
        const std::vector<infrared::IrFrame> found = infrared::decodeInfrared(
            channelLevels(*buffers[ch - 1]), ch, infrared::IrUnknownBursts::Listed);
        frames.insert(frames.end(), found.begin(), found.end());
    }
    std::stable_sort(frames.begin(), frames.end(),
                     [](const infrared::IrFrame& a, const infrared::IrFrame& b) {
                         return a.startSample != b.startSample ? a.startSample < b.startSample
                                                               : a.channel < b.channel;
                     });
    return frames;
}

QString frameStartMs(const infrared::IrFrame& frame) {
    const double ms =
        static_cast<double>(frame.startSample) * kSamplePeriodUsExact / kMicrosecondsPerMs;
    return QString::number(ms, 'f', kStartDecimals);
}

FrameListModel::FrameListModel(QObject* parent) : QAbstractTableModel(parent) {}

FrameListModel::~FrameListModel() = default;

void FrameListModel::setSource(const interchange::FramesModel* source) {
    if (source_ != nullptr) {
        disconnect(source_, nullptr, this, nullptr);
    }
    beginResetModel();
    source_ = source;
    rows_.clear();
    texts_.clear();
    if (source_ != nullptr) {
        rows_ = orderedRows();
        texts_.resize(rows_.size());
        connect(source_, &interchange::FramesModel::changed, this, &FrameListModel::follow);
        connect(source_, &interchange::FramesModel::keysChanged, this, &FrameListModel::showKeys);
    }
    endResetModel();
}

void FrameListModel::setFrames(std::vector<infrared::IrFrame> frames) {
    if (own_ == nullptr) {
        own_ = new interchange::FramesModel(ChannelBuffers{}, this);
    }
    setSource(own_);
    std::array<std::vector<infrared::IrFrame>, kChannelCount> byChannel;
    for (infrared::IrFrame& f : frames) {
        byChannel[static_cast<std::size_t>(std::clamp(f.channel, 1, kChannelCount) - 1)].push_back(
            std::move(f));
    }
    for (int ch = 1; ch <= kChannelCount; ++ch) {
        own_->setFrames(ch, std::move(byChannel[static_cast<std::size_t>(ch - 1)]));
    }
}

std::vector<FrameListModel::Row> FrameListModel::orderedRows() const {
    std::vector<Row> rows;
    if (source_ == nullptr) {
        return rows;
    }
    rows.reserve(source_->frameCount());
    for (int ch = 1; ch <= kChannelCount; ++ch) {
        for (std::size_t i = 0; i < source_->frames(ch).size(); ++i) {
            rows.push_back({ch, i});
        }
    }
    std::stable_sort(rows.begin(), rows.end(), [this](const Row& a, const Row& b) {
        const int64_t sa = source_->frames(a.channel)[a.index].startSample;
        const int64_t sb = source_->frames(b.channel)[b.index].startSample;
        return sa != sb ? sa < sb : a.channel < b.channel;
    });
    return rows;
}

void FrameListModel::follow(int channel) {
    const std::vector<Row> rows = orderedRows();
    const std::size_t firstChanged = source_->firstChanged(channel);
    // A row that stays in its place keeps its place even when its frame was decoded anew (the
    // last frame of a running capture, grown by the blocks since): its texts are made again and
    // the views told, but the rows around it do not move.
    const auto [head, tail] = commonEnds(rows_, rows);
    const auto at = [](std::size_t n) { return static_cast<std::ptrdiff_t>(n); };
    if (rows_.size() > head + tail) {
        beginRemoveRows({}, static_cast<int>(head), static_cast<int>(rows_.size() - tail - 1));
        rows_.erase(rows_.begin() + at(head), rows_.end() - at(tail));
        texts_.erase(texts_.begin() + at(head), texts_.end() - at(tail));
        endRemoveRows();
    }
    if (rows.size() > head + tail) {
        beginInsertRows({}, static_cast<int>(head), static_cast<int>(rows.size() - tail - 1));
        rows_.insert(rows_.begin() + at(head), rows.begin() + at(head), rows.end() - at(tail));
        texts_.insert(texts_.begin() + at(head), rows.size() - head - tail, std::nullopt);
        endInsertRows();
    }
    int firstRedone = -1;
    int lastRedone = -1;
    for (std::size_t r = 0; r < rows_.size(); ++r) {
        const bool kept = r < head || r >= rows_.size() - tail;
        if (kept && rows_[r].channel == channel && rows_[r].index >= firstChanged) {
            texts_[r].reset();
            firstRedone = firstRedone < 0 ? static_cast<int>(r) : firstRedone;
            lastRedone = static_cast<int>(r);
        }
    }
    if (firstRedone >= 0) {
        Q_EMIT dataChanged(index(firstRedone, 0), index(lastRedone, ColumnCount - 1));
    }
}

void FrameListModel::showKeys(int channel) {
    int first = -1;
    int last = -1;
    for (std::size_t r = 0; r < rows_.size(); ++r) {
        if (rows_[r].channel == channel) {
            first = first < 0 ? static_cast<int>(r) : first;
            last = static_cast<int>(r);
        }
    }
    if (first >= 0) {
        Q_EMIT dataChanged(index(first, Key), index(last, Key), {Qt::DisplayRole, Qt::EditRole});
    }
}

const infrared::IrFrame& FrameListModel::frame(int row) const {
    const Row& r = rows_[static_cast<std::size_t>(row)];
    return source_->frames(r.channel)[r.index];
}

QString FrameListModel::keyShown(int row) const {
    const Row& r = rows_[static_cast<std::size_t>(row)];
    return source_->keyShown(r.channel, r.index);
}

std::vector<infrared::IrFrame> FrameListModel::frames() const {
    std::vector<infrared::IrFrame> all;
    all.reserve(rows_.size());
    for (int row = 0; row < rowCount(); ++row) {
        all.push_back(frame(row));
    }
    return all;
}

std::vector<int64_t> FrameListModel::starts() const {
    std::vector<int64_t> s;
    s.reserve(rows_.size());
    for (int row = 0; row < rowCount(); ++row) {
        s.push_back(frame(row).startSample);
    }
    return s;
}

int FrameListModel::rowOf(int channel, std::size_t index) const {
    const auto at = std::find(rows_.begin(), rows_.end(), Row{channel, index});
    return at == rows_.end() ? -1 : static_cast<int>(at - rows_.begin());
}

const infrared::FrameText& FrameListModel::textOf(std::size_t row) const {
    if (!texts_[row]) {
        texts_[row] = infrared::irp::shownFrameText(frame(static_cast<int>(row)));
    }
    return *texts_[row];
}

int FrameListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int FrameListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant FrameListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const auto row = static_cast<std::size_t>(index.row());
    if (role == Qt::TextAlignmentRole) {
        return index.column() == StartMs ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                         : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    }
    if (index.column() == Key && (role == Qt::DisplayRole || role == Qt::EditRole)) {
        const Row& r = rows_[row];
        return role == Qt::DisplayRole ? source_->keyShown(r.channel, r.index)
                                       : source_->keyName(r.channel, r.index);
    }
    if (role == Qt::ToolTipRole && index.column() == Notes) {
        return elided(textOf(row).notes, kNotesInTooltip);
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    switch (index.column()) {
    case Channel:
        return rows_[row].channel;
    case StartMs:
        return frameStartMs(frame(index.row()));
    case Protocol:
        return textOf(row).protocol;
    case Address:
        return textOf(row).address;
    case Command:
        return textOf(row).command;
    case Check:
        return textOf(row).check;
    case Notes:
        return elided(textOf(row).notes, kNotesShown);
    default:
        return {};
    }
}

Qt::ItemFlags FrameListModel::flags(const QModelIndex& index) const {
    const Qt::ItemFlags base = QAbstractTableModel::flags(index);
    return index.isValid() && index.column() == Key ? base | Qt::ItemIsEditable : base;
}

bool FrameListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.column() != Key || role != Qt::EditRole ||
        index.row() >= rowCount()) {
        return false;
    }
    Q_EMIT keyNamed(index.row(), value.toString().trimmed());
    return true;
}

QVariant FrameListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) {
        return {};
    }
    if (orientation == Qt::Vertical) {
        return section + 1;
    }
    if (section < 0 || section >= ColumnCount) {
        return {};
    }
    return QString::fromUtf8(kHeaders[section]);
}

} // namespace velmoran::navigator
