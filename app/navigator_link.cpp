#include "app/navigator_link.h"

#include <QDockWidget>
#include <QMainWindow>
#include <QTimer>

#include <algorithm>
#include <cmath>

#include "acquisition/block_receiver.h"
#include "acquisition/capture_session.h"
#include "app/form1.h"
#include "core/constants.h"
#include "core/texts.h"
#include "display/frame_marks.h"
#include "display/vb_scroll_bar.h"
#include "display/zoom.h"
#include "interchange/frames_model.h"
#include "navigator/detail_chart.h"
#include "navigator/frame_list.h"
#include "navigator/navigation.h"
#include "navigator/navigator_panel.h"
#include "navigator/overview.h"

namespace velmoran {

namespace {

// How often, at most, the frames follow a running capture: each look repaints the list, and a
// block arrives every third of a second.
constexpr int kLiveIntervalMs = 1000;
constexpr int kLiveTicks = kLiveIntervalMs / kMonitorIntervalMs;

} // namespace

NavigatorLink::NavigatorLink(QMainWindow* window, Form1* form)
    : QObject(window), window_(window), form_(form) {
    frames_ = new interchange::FramesModel(form_->buffers(), this);
    connect(form_, &Form1::scrolled, this, &NavigatorLink::updateViewMark);
    connect(form_, &Form1::zoomChanged, this, &NavigatorLink::updateViewMark);

    const CaptureSession* session = form_->Session;
    connect(session, &CaptureSession::started, frames_, &interchange::FramesModel::startCapture);
    // While a capture runs, the frames follow the blocks as they arrive, once a second, as
    // long as something shows them; on a tick of the monitor's timer, so that what the new
    // frames change is painted with the monitor's own texts, in one repaint of the window.
    connect(session, &CaptureSession::started, this, [this] {
        ticksSinceLook_ = 0;
        arrivedSinceLook_ = false;
    });
    connect(session, &CaptureSession::blockStored, this, [this] { arrivedSinceLook_ = true; });
    connect(form_->Timer1, &QTimer::timeout, this, [this] {
        if (++ticksSinceLook_ >= kLiveTicks && arrivedSinceLook_ && liveFramesShown()) {
            ticksSinceLook_ = 0;
            arrivedSinceLook_ = false;
            showArrivedFrames();
        }
    });
    connect(session, &CaptureSession::completed, this, &NavigatorLink::captureEnded);
    connect(session, &CaptureSession::stopped, this, &NavigatorLink::captureEnded);
    connect(session, &CaptureSession::lineLost, this,
            [this](int channel) { captureEnded(channel); });

    connect(frames_, &interchange::FramesModel::changed, this, [this](int channel) {
        if (frames_->changedFromSample(channel) == 0 &&
            frames_->reachedSample(channel) == kCaptureSamples) {
            offerNavigator();
        }
        Q_EMIT framesChanged();
    });
    connect(frames_, &interchange::FramesModel::keysChanged, this, &NavigatorLink::framesChanged);
    // Marked frames follow the model once everything else has taken the new frames; a running
    // capture's chart is left alone until it ends.
    const auto redrawMarks = [this] {
        if (framesOnChart_ && !form_->Session->running()) {
            form_->redrawLastRows();
        }
    };
    connect(frames_, &interchange::FramesModel::changed, this, redrawMarks, Qt::QueuedConnection);
    connect(frames_, &interchange::FramesModel::keysChanged, this, redrawMarks,
            Qt::QueuedConnection);
}

bool NavigatorLink::liveFramesShown() const {
    return (dock_ != nullptr && dock_->isVisible()) || framesOnChart_ ||
           (dock_ == nullptr && !closedByUser_);
}

void NavigatorLink::showArrivedFrames() {
    const CaptureSession* session = form_->Session;
    if (!session->running() || session->storedBytes() <= 0) {
        return; // the capture's end decodes its channel whole
    }
    if (!frames_->decodeArrived(session->channel(), session->storedBytes())) {
        // The protocol table is being prepared for the new frames: looked at on the next tick.
        arrivedSinceLook_ = true;
        ticksSinceLook_ = kLiveTicks - 1;
        return;
    }
    if (dock_ == nullptr && frames_->frameCount() > 0) {
        offerNavigator();
    }
}

void NavigatorLink::captureEnded(int channel) {
    arrivedSinceLook_ = false;
    const int32_t stored = form_->Session->storedBytes();
    if (captureComplete(stored)) {
        frames_->decodeChannel(channel);
    } else {
        // Stopped early (强行停止, a lost line): the rest of the buffer was never received, so
        // only the blocks that arrived are decoded.
        frames_->decodeArrived(channel, stored, false);
        offerNavigator();
    }
    Q_EMIT captureTaken(channel);
}

void NavigatorLink::offerNavigator() {
    if (frames_->frameCount() == 0 || closedByUser_) {
        return;
    }
    ensureNavigator();
    dock_->show();
    updateViewMark();
}

bool NavigatorLink::hasFrames() const {
    return frames_->frameCount() > 0;
}

void NavigatorLink::ensureNavigator() {
    // Made when first needed: a window that never shows it starts faster and smaller.
    if (dock_ != nullptr) {
        return;
    }
    panel_ = new navigator::NavigatorPanel(form_->buffers(), window_);
    panel_->setFramesModel(frames_);
    dock_ = new QDockWidget(texts::q(texts::kNavigatorTitle), window_);
    dock_->setObjectName(QStringLiteral("Navigator"));
    dock_->setAllowedAreas(Qt::BottomDockWidgetArea);
    dock_->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetFloatable);
    dock_->setWidget(panel_);
    dock_->hide();
    window_->addDockWidget(Qt::BottomDockWidgetArea, dock_);
    connect(panel_, &navigator::NavigatorPanel::fractionChosen, this,
            &NavigatorLink::moveChartToFraction);
    connect(panel_, &navigator::NavigatorPanel::frameChosen, this,
            &NavigatorLink::moveChartToFrame);
    connect(panel_, &navigator::NavigatorPanel::frameActivated, this, &NavigatorLink::zoomToFrame);
    connect(dock_, &QDockWidget::visibilityChanged, this, [this](bool visible) {
        if (window_->isMinimized() || !window_->isVisible()) {
            return;
        }
        // Closed by its own button (or F2): it stays closed until the user shows it again.
        if (!visible && !dock_->isVisible()) {
            closedByUser_ = true;
        }
        Q_EMIT shownChanged(visible);
    });
    connect(panel_->detailChart(), &navigator::DetailChart::viewChanged, this,
            [this](double first, double /*count*/) { syncPicture1(first); });
    connect(panel_, &navigator::NavigatorPanel::synchronisedChanged, this,
            &NavigatorLink::syncDetailChart);
    Q_EMIT dockMade(dock_);
}

void NavigatorLink::syncDetailChart() {
    if (panel_ == nullptr || !panel_->synchronised() || syncing_) {
        return;
    }
    const navigator::DetailChart* chart = panel_->detailChart();
    const auto left = static_cast<double>(navigator::leftSampleAt(form_->HScroll1->Value()));
    // Picture1's scroll range ends a screenful before the capture does: at its end, Picture1
    // stands for all that is left, and a chart showing a frame there stays on it.
    if (form_->HScroll1->Value() == form_->HScroll1->Max() && chart->view().firstSample >= left) {
        return;
    }
    syncing_ = true;
    panel_->detailChart()->showSpan(left, chart->view().samplesPerPixel * chart->width());
    syncing_ = false;
}

void NavigatorLink::syncPicture1(double firstSample) {
    if (panel_ == nullptr || !panel_->synchronised() || syncing_ || !form_->HScroll1->isEnabled()) {
        return;
    }
    syncing_ = true;
    const double units = firstSample / static_cast<double>(navigator::kSamplesPerScrollUnit);
    form_->HScroll1->setValue(
        std::clamp(static_cast<int>(std::lround(units)), 0, form_->HScroll1->Max()));
    syncing_ = false;
}

void NavigatorLink::setShown(bool shown) {
    closedByUser_ = !shown;
    if (shown) {
        ensureNavigator();
        updateViewMark();
    }
    if (dock_ != nullptr) {
        dock_->setVisible(shown);
    }
    Q_EMIT shownChanged(shown);
}

void NavigatorLink::refresh() {
    frames_->decodeAll();
}

void NavigatorLink::updateViewMark() {
    if (panel_ == nullptr) {
        return;
    }
    panel_->overview()->setView(form_->visibleFirstSample(), form_->visibleSampleCount());
    syncDetailChart();
}

void NavigatorLink::moveChartToFraction(double fraction) {
    form_->scrollTo(navigator::scrollValueAtFraction(fraction, form_->lastScrollValue()));
}

void NavigatorLink::moveChartToFrame(int row) {
    if (panel_ == nullptr || row < 0 || row >= panel_->frames()->rowCount()) {
        return;
    }
    // A frame in the last screenful, which the scroll range cannot bring to the left: the chart
    // goes to its end, where the frame is in sight.
    form_->scrollTo(navigator::scrollValueForSample(panel_->frames()->frame(row).startSample,
                                                    form_->visibleSampleCount(),
                                                    form_->lastScrollValue()));
}

void NavigatorLink::zoomToFrame(int row) {
    if (panel_ == nullptr) {
        return;
    }
    const navigator::FrameListModel* list = panel_->frames();
    if (row < 0) {
        row = panel_->currentFrame();
    }
    if (row < 0) {
        const std::vector<int64_t> starts = list->starts();
        const auto at = std::lower_bound(starts.begin(), starts.end(), form_->visibleFirstSample());
        row = at == starts.end() ? -1 : static_cast<int>(at - starts.begin());
    }
    if (row < 0 || row >= list->rowCount()) {
        return;
    }
    const infrared::IrFrame& f = list->frame(row);
    form_->setZoom(
        zoomToFit(f.endSample - f.startSample, form_->chartWidthTwips(), form_->BitWidth));
    moveChartToFrame(row);
}

void NavigatorLink::setFramesOnChart(bool on) {
    framesOnChart_ = on;
    if (on) {
        form_->setRowsOverlay([this](Surface& surface, int64_t firstSample) {
            for (int ch = 1; ch <= kChannelCount; ++ch) {
                const std::vector<infrared::IrFrame>& frames = frames_->frames(ch);
                std::vector<QString> names;
                names.reserve(frames.size());
                for (std::size_t i = 0; i < frames.size(); ++i) {
                    names.push_back(frames_->keyShown(ch, i));
                }
                drawFrameMarks(surface, frameMarks(frames, names, firstSample, form_->BitWidth,
                                                   surface.Width()));
            }
        });
    } else {
        form_->setRowsOverlay({});
    }
    form_->redrawLastRows();
}

void NavigatorLink::previousFrame() {
    if (panel_ == nullptr) {
        return;
    }
    const auto row =
        navigator::previousFrame(panel_->frames()->starts(), form_->scrollValue(),
                                 form_->visibleSampleCount(), form_->lastScrollValue());
    if (row) {
        panel_->selectFrame(static_cast<int>(*row));
    }
}

void NavigatorLink::nextFrame() {
    if (panel_ == nullptr) {
        return;
    }
    const auto row = navigator::nextFrame(panel_->frames()->starts(), form_->scrollValue(),
                                          form_->visibleSampleCount(), form_->lastScrollValue());
    if (row) {
        panel_->selectFrame(static_cast<int>(*row));
    }
}

} // namespace velmoran
