#pragma once

// The navigator's panel: the overview of the whole capture (channel names beside it, outside
// the Overview widget) above the list of decoded frames, and under the list a line telling
// which bits differ between the frames selected (Ctrl or Shift and a click select several).
// It only reports what the user chose; the window moves the chart.

#include <QWidget>

#include <cstdint>

#include "core/channel_buffer.h"
#include "infrared/ir_decoder.h"

class QLabel;
class QTableView;

namespace velmoran::interchange {
class FramesModel;
}

namespace velmoran::navigator {

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

    static constexpr int kPanelHeight = 240;

Q_SIGNALS:
    // A click or a drag in the overview at `fraction` of the capture.
    void fractionChosen(double fraction);
    // The current row of the frame list became `row` (by mouse or keys).
    void frameChosen(int row);
    // Row `row` was double-clicked: the frame is to fill the chart.
    void frameActivated(int row);

private:
    ChannelBuffers buffers_;
    Overview* overview_ = nullptr;
    QTableView* table_ = nullptr;
    FrameListModel* model_ = nullptr;
    QLabel* bits_ = nullptr;

    void showDifferingBits();
};

} // namespace velmoran::navigator
