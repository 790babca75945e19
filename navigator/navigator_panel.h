#pragma once

// The navigator's panel: the overview of the whole capture (channel names beside it, outside
// the Overview widget) above the list of decoded frames, under the list a line telling which
// bits differ between the frames selected (Ctrl or Shift and a click select several), and
// below them, sharing the room by a splitter, the detail chart with its buttons. It only
// reports what the user chose; the window moves Picture1.

#include <QWidget>

#include <array>
#include <cstdint>

#include "core/channel_buffer.h"
#include "infrared/ir_decoder.h"

class QCheckBox;
class QLabel;
class QSplitter;
class QTableView;
class QToolButton;

namespace velmoran::interchange {
class FramesModel;
}

namespace velmoran::navigator {

class DetailChart;
class FrameListModel;
class Overview;

class NavigatorPanel : public QWidget {
    Q_OBJECT
public:
    explicit NavigatorPanel(const ChannelBuffers& buffers, QWidget* parent = nullptr);

    Overview* overview() const { return overview_; }
    QTableView* frameTable() const { return table_; }
    FrameListModel* frames() const { return model_; }
    // The line under the list: which bits differ between the selected frames.
    QLabel* bitsLabel() const { return bits_; }
    DetailChart* detailChart() const { return chart_; }
    QSplitter* splitter() const { return splitter_; }
    // 同步: Picture1 and the detail chart kept on the same time.
    QCheckBox* syncBox() const { return sync_; }
    bool synchronised() const;

    // Lists the frames of `frames` (not owned) and follows them: the list row by row, the
    // overview over the span that changed.
    void setFramesModel(const interchange::FramesModel* frames);
    // Decodes the three buffers again and redraws the overview; returns the frames found.
    int refresh();
    // The same with the frames already decoded from the buffers.
    int showFrames(std::vector<infrared::IrFrame> frames);
    // Selects row `row` of the frame list (which reports it as chosen).
    void selectFrame(int row);
    // The list's current row; -1 when none.
    int currentFrame() const;

    // The panel's height docked under the client area, unless the user left it otherwise,
    // and the least it may be given there.
    static constexpr int kPanelHeight = 420;
    static constexpr int kLeastPanelHeight = 240;

Q_SIGNALS:
    // A click or a drag in the overview at `fraction` of the capture.
    void fractionChosen(double fraction);
    // The current row of the frame list became `row` (by mouse or keys).
    void frameChosen(int row);
    // Row `row` was double-clicked: the frame is to fill the chart.
    void frameActivated(int row);
    // 同步 was turned on or off.
    void synchronisedChanged(bool on);

private:
    ChannelBuffers buffers_;
    Overview* overview_ = nullptr;
    QTableView* table_ = nullptr;
    FrameListModel* model_ = nullptr;
    QLabel* bits_ = nullptr;
    QSplitter* splitter_ = nullptr;
    DetailChart* chart_ = nullptr;
    QCheckBox* sync_ = nullptr;
    QLabel* readout_ = nullptr;
    // The list's rows when it was last laid out after a change of the frames.
    int laidOutRows_ = 0;
    // Each channel's frames when the chart was last given them.
    std::array<std::size_t, kChannelCount> chartFrameCounts_{};

    void showDifferingBits();
    QWidget* makeChartBox();
    // Gives the chart the key names the list shows, from the frames model.
    void passKeyNames();
    std::vector<QString> keyNamesShown() const;
    // The detail chart takes channel `channel`'s line, and the frames, from the model.
    void feedChartLine(int channel);
    void feedChartFrames();
};

} // namespace velmoran::navigator
