#include "navigator/overview.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

#include "navigator/navigation.h"

namespace velmoran::navigator {

namespace {

constexpr QRgb kBackground = qRgb(255, 253, 242); // as the chart's
constexpr QRgb kWave = qRgb(0, 0, 160);
constexpr QRgb kStripBase = qRgb(236, 233, 220);
constexpr QColor kViewFill{255, 96, 96, 60};
constexpr QColor kViewEdge{255, 96, 96};
constexpr int kMinViewMarkWidth = 2;

} // namespace

Overview::Overview(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Overview"));
    setFixedHeight(fixedHeight());
    setMinimumWidth(1);
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

int Overview::stripTop(int channel) {
    return kStripGap / 2 + (channel - 1) * (kStripHeight + kStripGap);
}

int Overview::fixedHeight() {
    return kChannelCount * (kStripHeight + kStripGap);
}

void Overview::setBuffers(const ChannelBuffers& buffers) {
    buffers_ = buffers;
    refresh();
}

void Overview::refresh() {
    reached_.fill(kCaptureSamples);
    stale_ = true;
    update();
}

void Overview::refreshChannel(int channel, int64_t fromSample, int64_t reached) {
    const auto ch = static_cast<std::size_t>(channel - 1);
    const int64_t before = reached_[ch];
    reached_[ch] = reached;
    if (stale_ || strips_.width() != width()) {
        update();
        return;
    }
    // What changed: from the first changed sample to the farther of the old and new ends.
    const int w = strips_.width();
    const int from = std::min(overviewColumnAt(fromSample, w),
                              reached < before ? overviewColumnAt(reached, w) : w);
    const int to = std::min(w, overviewColumnAt(std::max(before, reached), w) + 1);
    if (from >= to) {
        return;
    }
    dirtyFrom_[ch] = std::min(dirtyFrom_[ch], from);
    update(QRect(from, stripTop(channel), to - from, kStripHeight));
}

const QImage& Overview::strips() const {
    drawStrips();
    return strips_;
}

void Overview::drawStrips() const {
    if (!stale_ && strips_.size() == QSize(std::max(1, width()), fixedHeight())) {
        for (int ch = 1; ch <= kChannelCount; ++ch) {
            int& from = dirtyFrom_[static_cast<std::size_t>(ch - 1)];
            if (from < strips_.width()) {
                drawColumns(ch, from, strips_.width());
            }
            from = strips_.width();
        }
        return;
    }
    stale_ = false;
    const int w = std::max(1, width());
    const int h = fixedHeight();
    if (strips_.size() != QSize(w, h)) {
        strips_ = QImage(w, h, QImage::Format_RGB32);
    }
    strips_.fill(kBackground);
    for (int ch = 1; ch <= kChannelCount; ++ch) {
        const int top = stripTop(ch);
        const int bottom = top + kStripHeight - 1;
        for (int y = top; y <= bottom; ++y) {
            std::fill_n(reinterpret_cast<QRgb*>(strips_.scanLine(y)), w, kStripBase);
        }
        drawColumns(ch, 0, w);
        dirtyFrom_[static_cast<std::size_t>(ch - 1)] = w;
    }
}

void Overview::drawColumns(int channel, int from, int to) const {
    const ChannelBuffer* buffer = buffers_[static_cast<std::size_t>(channel - 1)];
    const int64_t reached = reached_[static_cast<std::size_t>(channel - 1)];
    const int w = strips_.width();
    const int top = stripTop(channel);
    const int bottom = top + kStripHeight - 1;
    for (int x = from; x < to; ++x) {
        for (int y = top; y <= bottom; ++y) {
            reinterpret_cast<QRgb*>(strips_.scanLine(y))[x] = kStripBase;
        }
        const uint8_t levels = buffer == nullptr ? 0 : overviewColumn(*buffer, x, w, reached);
        if (levels == kColumnBoth) {
            for (int y = top; y <= bottom; ++y) {
                reinterpret_cast<QRgb*>(strips_.scanLine(y))[x] = kWave;
            }
        } else if (levels != 0) {
            const int y = levels == kColumnHigh ? top : bottom;
            reinterpret_cast<QRgb*>(strips_.scanLine(y))[x] = kWave;
        }
    }
}

void Overview::setView(int64_t firstSample, int64_t sampleCount) {
    if (firstSample == viewFirst_ && sampleCount == viewCount_) {
        return;
    }
    viewFirst_ = firstSample;
    viewCount_ = sampleCount;
    update();
}

void Overview::paintEvent(QPaintEvent* /*event*/) {
    drawStrips();
    QPainter p(this);
    p.drawImage(0, 0, strips_);
    if (strips_.width() < width()) {
        p.fillRect(strips_.width(), 0, width() - strips_.width(), height(), QColor(kBackground));
    }
    const double perSample = static_cast<double>(width()) / static_cast<double>(kOverviewSamples);
    const int x = static_cast<int>(static_cast<double>(viewFirst_) * perSample);
    const int w =
        std::max(kMinViewMarkWidth, static_cast<int>(static_cast<double>(viewCount_) * perSample));
    p.fillRect(x, 0, w, height(), kViewFill);
    p.setPen(kViewEdge);
    p.drawRect(x, 0, w - 1, height() - 1);
}

void Overview::choose(double x) {
    if (width() <= 0) {
        return;
    }
    Q_EMIT fractionChosen(std::clamp(x / width(), 0.0, 1.0));
}

void Overview::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        choose(event->position().x());
    }
}

void Overview::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton) {
        choose(event->position().x());
    }
}

} // namespace velmoran::navigator
