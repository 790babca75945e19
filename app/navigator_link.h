#pragma once

// The link between the navigator (overview and frame list, docked below the chart) and the
// chart: decoding after a capture or a load, the overview's mark of what the chart shows, and
// moving the chart to a point of the overview or a frame of the list.

#include <QObject>

#include <cstdint>
#include <optional>
#include <vector>

#include "infrared/ir_decoder.h"

class QDockWidget;
class QMainWindow;
class QTimer;

namespace velmoran {

class Form1;

namespace navigator {
class NavigatorPanel;
}

class NavigatorLink : public QObject {
    Q_OBJECT
public:
    NavigatorLink(QMainWindow* window, Form1* form);

    // The navigator, once first needed (after a capture or load that found frames, or F2);
    // nullptr before.
    navigator::NavigatorPanel* panel() const { return panel_; }
    QDockWidget* dock() const { return dock_; }
    // Whether the list holds a frame to step to.
    bool hasFrames() const;

    void setShown(bool shown);
    // Decodes the three buffers again; shows the navigator when it found frames.
    void refresh();
    // At a capture's end: a whole capture's buffers, or of one stopped early (强行停止, a lost
    // line) only the blocks that arrived: the rest of its buffer was never received.
    void showCapturedFrames();
    // Marks in the overview what the chart shows.
    void updateViewMark();
    // Moves the chart to the previous / next decoded frame (as 上一帧 / 下一帧).
    void previousFrame();
    void nextFrame();
    // Zooms along 放大 / 缩少's steps to the largest zoom at which frame `row` fits, then shows
    // it as choosing it does; with `row` -1, the list's current frame, else the first frame at
    // or after the chart's left edge.
    void zoomToFrame(int row = -1);
    // Marks the decoded frames on the chart below the rows (or stops marking them).
    void setFramesOnChart(bool on);

Q_SIGNALS:
    // The dock was shown or hidden (by the user too).
    void shownChanged(bool shown);
    // The frame list was filled again.
    void framesChanged();
    // The navigator's dock was made (hidden, docked): the window places it.
    void dockMade(QDockWidget* dock);

private:
    void ensureNavigator();
    // Lists `frames`, making the navigator for them and showing it when there are any; false
    // when there are none and no navigator to clear.
    bool showDecoded(std::vector<infrared::IrFrame> frames);
    void moveChartToFraction(double fraction);
    void moveChartToFrame(int row);
    // During a capture: the frames of what has arrived so far.
    void showArrivedFrames();
    // The frames of every channel, of `target` only its first `stored` bytes.
    std::vector<infrared::IrFrame> decodeArrived(int target, int32_t stored) const;
    // Samples across Picture1 at the current zoom.
    int64_t visibleSamples() const;
    // With 同步 on, the detail chart's left edge follows Picture1's, and Picture1 the chart's.
    void syncDetailChart();
    void syncPicture1(double firstSample);

    QMainWindow* window_;
    Form1* form_;
    navigator::NavigatorPanel* panel_ = nullptr;
    QDockWidget* dock_ = nullptr;
    QTimer* liveTimer_ = nullptr;
    bool framesOnChart_ = false;
    std::optional<int> captureTarget_; // the running or last capture's channel
    int32_t storedBytes_ = 0;          // the bytes of it stored so far
    bool syncing_ = false;
};

} // namespace velmoran
