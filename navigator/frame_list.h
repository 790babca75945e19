#pragma once

// The frame list: every infrared frame of the three channels, in time order, as a flat table
// model (one row per frame, repeat codes as rows of their own). It holds no frames of its own:
// it reads them, and their keys, from the frames model, and follows its changes row by row.

#include <QAbstractTableModel>

#include <optional>
#include <vector>

#include "core/channel_buffer.h"
#include "infrared/frame_text.h"
#include "infrared/ir_decoder.h"

namespace velmoran::interchange {
class FramesModel;
}

namespace velmoran::navigator {

// The frames of channels 1, 2 and 3, ordered by their first edge (then by channel).
std::vector<infrared::IrFrame> decodeChannels(const ChannelBuffers& buffers);

// A frame's start in milliseconds, as the list shows it: "1234.567".
QString frameStartMs(const infrared::IrFrame& frame);

class FrameListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Channel, StartMs, Protocol, Address, Command, Check, Notes, Key, ColumnCount };

    explicit FrameListModel(QObject* parent = nullptr);
    ~FrameListModel() override;

    // Lists the frames of `source` (not owned; it outlives the list) and follows its changes.
    void setSource(const interchange::FramesModel* source);
    const interchange::FramesModel* source() const { return source_; }
    // Lists `frames` (of any channels) instead, without keys: for a list shown alone.
    void setFrames(std::vector<infrared::IrFrame> frames);

    // The frame of row `row` (0 ... rowCount() - 1).
    const infrared::IrFrame& frame(int row) const;
    // Every row's frame, in row order (a copy).
    std::vector<infrared::IrFrame> frames() const;
    // Row `row`'s key as the list shows it ("tv: KEY_POWER"); empty when none.
    QString keyShown(int row) const;
    // The frames' first edges, in samples, in row order.
    std::vector<int64_t> starts() const;
    // The row of frame `index` of channel `channel`; -1 when it is not listed.
    int rowOf(int channel, std::size_t index) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The Key column shows what each row's frame sends as the remote library names it ("tv:
    // KEY_POWER", empty when no remote matches); editable in place.
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

Q_SIGNALS:
    // The user named (or, with an empty name, cleared) the key of a row's frame.
    void keyNamed(int row, const QString& name);

private:
    struct Row {
        int channel = 1;
        std::size_t index = 0;
        friend bool operator==(const Row&, const Row&) = default;
    };
    // The rows again after `channel` changed: the rows that stayed are kept with their texts,
    // those that stayed in their place with a frame decoded anew are told as changed, the others
    // are removed and inserted.
    void follow(int channel);
    void showKeys(int channel);
    std::vector<Row> orderedRows() const;
    const infrared::FrameText& textOf(std::size_t row) const;

    const interchange::FramesModel* source_ = nullptr;
    // The frames of setFrames, held where a source would hold them.
    interchange::FramesModel* own_ = nullptr;
    std::vector<Row> rows_;
    // Each row's texts, made when the row is first shown (an unknown burst's raw pulse list
    // can be long).
    mutable std::vector<std::optional<infrared::FrameText>> texts_;
};

} // namespace velmoran::navigator
