#pragma once

// The frame list: every infrared frame decoded from the three channel buffers, in time order,
// as a flat table model (one row per frame, repeat codes as rows of their own).

#include <QAbstractTableModel>

#include <vector>

#include "core/channel_buffer.h"
#include "infrared/frame_text.h"
#include "infrared/ir_decoder.h"

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

    // Replaces every row.
    void setFrames(std::vector<infrared::IrFrame> frames);
    const std::vector<infrared::IrFrame>& frames() const { return frames_; }
    // The frames' first edges, in samples, in row order.
    std::vector<int64_t> starts() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The Key column: what each row's frame sends as the remote library names it ("tv:
    // KEY_POWER", empty when no remote matches), in row order; editable in place.
    void setKeys(std::vector<QString> shown, std::vector<QString> names);
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

Q_SIGNALS:
    // The user named (or, with an empty name, cleared) the key of a row's frame.
    void keyNamed(int row, const QString& name);

private:
    std::vector<infrared::IrFrame> frames_;
    std::vector<infrared::FrameText> texts_;
    std::vector<QString> keysShown_;
    std::vector<QString> keyNames_;
};

} // namespace velmoran::navigator
