#include "navigator/frame_list.h"

#include <algorithm>

#include "core/channel_levels.h"

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

void FrameListModel::setFrames(std::vector<infrared::IrFrame> frames) {
    beginResetModel();
    frames_ = std::move(frames);
    texts_.clear();
    keysShown_.clear();
    keyNames_.clear();
    texts_.reserve(frames_.size());
    for (const infrared::IrFrame& f : frames_) {
        texts_.push_back(infrared::frameText(f));
    }
    endResetModel();
}

std::vector<int64_t> FrameListModel::starts() const {
    std::vector<int64_t> s;
    s.reserve(frames_.size());
    for (const infrared::IrFrame& f : frames_) {
        s.push_back(f.startSample);
    }
    return s;
}

int FrameListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(frames_.size());
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
        const std::vector<QString>& keys = role == Qt::DisplayRole ? keysShown_ : keyNames_;
        return row < keys.size() ? keys[row] : QString();
    }
    const infrared::FrameText& t = texts_[row];
    if (role == Qt::ToolTipRole && index.column() == Notes) {
        return elided(t.notes, kNotesInTooltip);
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    switch (index.column()) {
    case Channel:
        return frames_[row].channel;
    case StartMs:
        return frameStartMs(frames_[row]);
    case Protocol:
        return t.protocol;
    case Address:
        return t.address;
    case Command:
        return t.command;
    case Check:
        return t.check;
    case Notes:
        return elided(t.notes, kNotesShown);
    default:
        return {};
    }
}

void FrameListModel::setKeys(std::vector<QString> shown, std::vector<QString> names) {
    keysShown_ = std::move(shown);
    keyNames_ = std::move(names);
    if (!frames_.empty()) {
        Q_EMIT dataChanged(index(0, Key), index(rowCount() - 1, Key),
                           {Qt::DisplayRole, Qt::EditRole});
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
