#pragma once

// The link between the navigator (overview and frame list, docked below the chart), the frames
// model they read and the chart: decoding after a capture's blocks, its end or a load, the
// overview's mark of what the chart shows, and moving the chart to a point of the overview or a
// frame of the list.

#include <QObject>

#include <cstdint>
#include <optional>
#include <vector>

#include "infrared/ir_decoder.h"

class QDockWidget;
class QMainWindow;

namespace velmoran {

class Form1;

namespace interchange {
class FramesModel;
}

namespace navigator {
class NavigatorPanel;
}

class NavigatorLink : public QObject {
    Q_OBJECT
public:
    NavigatorLink(QMainWindow* window, Form1* form);

    // The decoded frames of the three channels and their keys: what every view reads.
    interchange::FramesModel* frames() const { return frames_; }
    // The navigator, once first needed (after a capture or load that found frames, or F2);
    // nullptr before.
    navigator::NavigatorPanel* panel() const { return panel_; }
    QDockWidget* dock() const { return dock_; }
    // Whether there is a decoded frame to step to.
    bool hasFrames() const;

    // Shows or hides the navigator as the user asks (总览与帧列表); hidden so, it stays hidden
    // until asked again.
    void setShown(bool shown);
    // Decodes the three buffers again (after a load).
    void refresh();
    // Marks in the overview what the chart shows.
    void updateViewMark();
    // Moves the chart to the previous / next decoded frame (as 上一帧 / 下一帧).
    void previousFrame();
    void nextFrame();
    // Sets the zoom, once, to the largest of 放大 / 缩少's steps at which frame `row` fits, then
    // shows it as choosing it does; with `row` -1, the list's current frame, else the first frame
    // at or after the chart's left edge.
    void zoomToFrame(int row = -1);
    // Marks the decoded frames on the chart below the rows (or stops marking them).
    void setFramesOnChart(bool on);

Q_SIGNALS:
    // The dock was shown or hidden (by the user too).
    void shownChanged(bool shown);
    // The frames model changed.
    void framesChanged();
    // The navigator's dock was made (hidden, docked): the window places it.
    void dockMade(QDockWidget* dock);
    // A capture ended (complete, stopped or its line lost) and the frames model holds what it
    // stored in `channel`.
    void captureTaken(int channel);

private:
    void ensureNavigator();
    // After the frames of a whole channel changed: the navigator shows itself when there are
    // frames, unless the user closed it.
    void offerNavigator();
    void moveChartToFraction(double fraction);
    void moveChartToFrame(int row);
    // During a capture: the frames of what has arrived since the last look.
    void showArrivedFrames();
    // Whether anything shows the frames while a capture runs.
    bool liveFramesShown() const;
    void captureEnded(int channel);
    // With 同步 on, the detail chart's left edge follows Picture1's, and Picture1 the chart's.
    void syncDetailChart();
    void syncPicture1(double firstSample);

    QMainWindow* window_;
    Form1* form_;
    interchange::FramesModel* frames_ = nullptr;
    navigator::NavigatorPanel* panel_ = nullptr;
    QDockWidget* dock_ = nullptr;
    // Ticks of the monitor's timer since the frames last followed the capture, and whether
    // blocks arrived meanwhile.
    int ticksSinceLook_ = 0;
    bool arrivedSinceLook_ = false;
    bool framesOnChart_ = false;
    bool closedByUser_ = false;
    bool syncing_ = false;
};

} // namespace velmoran
