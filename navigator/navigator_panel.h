#pragma once

// The navigator's panel: the overview of the whole capture (channel names beside it, outside
// the Overview widget) above the list of decoded frames. It only reports what the user chose;
// the window moves the chart.

#include <QWidget>

#include <cstdint>

#include "core/channel_buffer.h"
#include "infrared/ir_decoder.h"

class QTableView;

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

    // Decodes the three buffers again and redraws the overview; returns the frames found.
    int refresh();
    // The same with the frames already decoded from the buffers.
    int showFrames(std::vector<infrared::IrFrame> frames);
    // Selects row `row` of the frame list (which reports it as chosen).
    void selectFrame(int row);

    static constexpr int kPanelHeight = 240;

Q_SIGNALS:
    // A click or a drag in the overview at `fraction` of the capture.
    void fractionChosen(double fraction);
    // The current row of the frame list became `row` (by mouse or keys).
    void frameChosen(int row);

private:
    ChannelBuffers buffers_;
    Overview* overview_ = nullptr;
    QTableView* table_ = nullptr;
    FrameListModel* model_ = nullptr;
};

} // namespace velmoran::navigator
