#include "app/navigator_link.h"

#include <QComboBox>
#include <QDockWidget>
#include <QMainWindow>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cmath>

#include "acquisition/block_receiver.h"
#include "acquisition/mscomm.h"
#include "app/form1.h"
#include "app/target_channel.h"
#include "core/texts.h"
#include "display/frame_marks.h"
#include "display/picture_box.h"
#include "display/square_wave.h"
#include "display/vb_scroll_bar.h"
#include "navigator/detail_chart.h"
#include "navigator/frame_list.h"
#include "navigator/navigation.h"
#include "navigator/navigator_panel.h"
#include "navigator/overview.h"

namespace velmoran {

namespace {

// How often, at most, the frame list follows a running capture.
constexpr int kLiveIntervalMs = 300;

} // namespace

NavigatorLink::NavigatorLink(QMainWindow* window, Form1* form)
    : QObject(window), window_(window), form_(form) {
    connect(form_->HScroll1, &QScrollBar::valueChanged, this, &NavigatorLink::updateViewMark);
    connect(form_->HScroll1, &QScrollBar::rangeChanged, this, &NavigatorLink::updateViewMark);
    connect(form_, &Form1::zoomChanged, this, &NavigatorLink::updateViewMark);
    // While a capture runs, the list follows the blocks as they arrive, a few times a second.
    liveTimer_ = new QTimer(this);
    liveTimer_->setSingleShot(true);
    liveTimer_->setInterval(kLiveIntervalMs);
    connect(liveTimer_, &QTimer::timeout, this, &NavigatorLink::showArrivedFrames);
    connect(form_, &Form1::captureStarted, this, [this] {
        captureTarget_ = namedChannel(form_->Combo1->currentText());
        storedBytes_ = 0;
    });
    connect(form_, &Form1::blockStored, this, [this] {
        storedBytes_ = form_->RecvCount;
        if (!liveTimer_->isActive()) {
            liveTimer_->start();
        }
    });
    connect(form_, &Form1::captureEnded, liveTimer_, &QTimer::stop);
    // Marked frames follow the list once everything else has taken the new frames (key names
    // included); a running capture's chart is left alone until it ends.
    connect(
        this, &NavigatorLink::framesChanged, this,
        [this] {
            if (framesOnChart_ && !form_->MSComm1->PortOpen()) {
                form_->redrawLastRows();
            }
        },
        Qt::QueuedConnection);
}

std::vector<infrared::IrFrame> NavigatorLink::decodeArrived(int target, int32_t stored) const {
    if (stored <= 0) {
        // Nothing of this capture arrived: its channel holds nothing to list.
        std::vector<infrared::IrFrame> frames = navigator::decodeChannels(form_->buffers());
        std::erase_if(frames, [&](const infrared::IrFrame& f) { return f.channel == target; });
        return frames;
    }
    // The target buffer beyond the bytes of this capture never received them (it holds an older
    // capture, or nothing): the line is taken to rest at its last level from there on.
    ChannelBuffer arrived = *form_->channel(target);
    const auto end = std::min(static_cast<std::size_t>(stored), arrived.size());
    const uint8_t rest = (arrived[end - 1] & 1) != 0 ? 0xFF : 0x00;
    std::fill(arrived.begin() + static_cast<std::ptrdiff_t>(end), arrived.end(), rest);
    ChannelBuffers buffers = form_->buffers();
    buffers[static_cast<std::size_t>(target - 1)] = &arrived;
    return navigator::decodeChannels(buffers);
}

void NavigatorLink::showArrivedFrames() {
    const std::optional<int> target = namedChannel(form_->Combo1->currentText());
    if (!form_->MSComm1->PortOpen() || !target || form_->RecvCount <= 0) {
        return; // the capture's end decodes the whole buffers
    }
    showDecoded(decodeArrived(*target, form_->RecvCount));
}

void NavigatorLink::showCapturedFrames() {
    if (!captureTarget_ || captureComplete(form_->RecvCount)) {
        refresh();
        return;
    }
    if (!showDecoded(decodeArrived(*captureTarget_, storedBytes_))) {
        Q_EMIT framesChanged();
    }
}

bool NavigatorLink::showDecoded(std::vector<infrared::IrFrame> frames) {
    if (frames.empty() && dock_ == nullptr) {
        return false;
    }
    ensureNavigator();
    if (panel_->showFrames(std::move(frames)) > 0) {
        dock_->show();
    }
    updateViewMark();
    Q_EMIT framesChanged();
    return true;
}

bool NavigatorLink::hasFrames() const {
    return panel_ != nullptr && panel_->frames()->rowCount() > 0;
}

void NavigatorLink::ensureNavigator() {
    // Made when first needed: a window that never shows it starts faster and smaller.
    if (dock_ != nullptr) {
        return;
    }
    panel_ = new navigator::NavigatorPanel(form_->buffers(), window_);
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
        if (!window_->isMinimized()) {
            Q_EMIT shownChanged(visible);
        }
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
    syncing_ = true;
    const navigator::DetailChart* chart = panel_->detailChart();
    panel_->detailChart()->showSpan(
        static_cast<double>(navigator::leftSampleAt(form_->HScroll1->Value())),
        chart->view().samplesPerPixel * chart->width());
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
    if (shown && dock_ == nullptr) {
        ensureNavigator();
        panel_->showFrames(navigator::decodeChannels(form_->buffers()));
        updateViewMark();
        Q_EMIT framesChanged();
    }
    if (dock_ != nullptr) {
        dock_->setVisible(shown);
    }
    Q_EMIT shownChanged(shown);
}

void NavigatorLink::refresh() {
    if (!showDecoded(navigator::decodeChannels(form_->buffers()))) {
        Q_EMIT framesChanged(); // still none: whoever lists them hears so
    }
}

int64_t NavigatorLink::visibleSamples() const {
    return samplesAcross(form_->Picture1->Width(), form_->BitWidth);
}

void NavigatorLink::updateViewMark() {
    if (panel_ == nullptr) {
        return;
    }
    panel_->overview()->setView(navigator::leftSampleAt(form_->HScroll1->Value()),
                                visibleSamples());
    syncDetailChart();
}

void NavigatorLink::moveChartToFraction(double fraction) {
    form_->HScroll1->setValue(navigator::scrollValueAtFraction(fraction, form_->HScroll1->Max()));
}

void NavigatorLink::moveChartToFrame(int row) {
    if (panel_ == nullptr) {
        return;
    }
    const auto& frames = panel_->frames()->frames();
    if (row < 0 || row >= static_cast<int>(frames.size())) {
        return;
    }
    form_->HScroll1->setValue(
        navigator::scrollValueForSample(frames[static_cast<std::size_t>(row)].startSample,
                                        visibleSamples(), form_->HScroll1->Max()));
}

void NavigatorLink::zoomToFrame(int row) {
    if (panel_ == nullptr || !form_->HScroll1->isEnabled()) {
        return;
    }
    const auto& frames = panel_->frames()->frames();
    if (row < 0) {
        row = panel_->currentFrame();
    }
    if (row < 0) {
        const int64_t left = navigator::leftSampleAt(form_->HScroll1->Value());
        const auto at = std::find_if(frames.begin(), frames.end(), [&](const infrared::IrFrame& f) {
            return f.startSample >= left;
        });
        row = at == frames.end() ? -1 : static_cast<int>(at - frames.begin());
    }
    if (row < 0 || row >= static_cast<int>(frames.size())) {
        return;
    }
    const infrared::IrFrame& f = frames[static_cast<std::size_t>(row)];
    const navigator::ZoomSteps steps = navigator::zoomStepsToFit(
        f.endSample - f.startSample, form_->Picture1->Width(), form_->BitWidth);
    // Through the buttons themselves, so that the zoom is exactly one they give.
    for (int i = 0; i < steps.out; ++i) {
        form_->Command6->click();
    }
    for (int i = 0; i < steps.in; ++i) {
        form_->Command5->click();
    }
    moveChartToFrame(row);
}

void NavigatorLink::setFramesOnChart(bool on) {
    framesOnChart_ = on;
    if (on) {
        form_->setRowsOverlay([this](Surface& surface, int64_t firstSample) {
            if (panel_ == nullptr) {
                return;
            }
            const navigator::FrameListModel* model = panel_->frames();
            std::vector<QString> names;
            for (int row = 0; row < model->rowCount(); ++row) {
                names.push_back(
                    model->index(row, navigator::FrameListModel::Key).data().toString());
            }
            drawFrameMarks(surface, frameMarks(model->frames(), names, firstSample, form_->BitWidth,
                                               surface.Width()));
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
    const auto row = navigator::previousFrame(panel_->frames()->starts(), form_->HScroll1->Value(),
                                              visibleSamples(), form_->HScroll1->Max());
    if (row) {
        panel_->selectFrame(static_cast<int>(*row));
    }
}

void NavigatorLink::nextFrame() {
    if (panel_ == nullptr) {
        return;
    }
    const auto row = navigator::nextFrame(panel_->frames()->starts(), form_->HScroll1->Value(),
                                          visibleSamples(), form_->HScroll1->Max());
    if (row) {
        panel_->selectFrame(static_cast<int>(*row));
    }
}

} // namespace velmoran
