#include "navigator/detail_chart.h"

#include <QFontMetricsF>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <map>
#include <utility>

#include "core/texts.h"
#include "display/frame_marks.h"
#include "display/time_text.h"
#include "infrared/frame_cells.h"
#include "navigator/common_ends.h"
#include "navigator/frame_list.h"

namespace velmoran::navigator {

namespace {

constexpr QRgb kBackground = qRgb(255, 253, 242); // as Picture1's
constexpr QRgb kWave = qRgb(0, 0, 255);
constexpr QColor kAxis{120, 120, 170};
constexpr QColor kLaneName{110, 110, 110};
constexpr QColor kLaneRule{225, 222, 205};
constexpr QColor kMarks{176, 64, 0};
constexpr QColor kChosenFill{255, 236, 160};
constexpr QColor kHover{128, 128, 128};
constexpr QColor kMeasure{220, 0, 0};
constexpr QSize kMinimumSize{200, 90};
constexpr int kPad = 2;
constexpr int kTickLength = 5;
constexpr int kMarkTick = 4;
constexpr int kLeaderWidth = 3;
constexpr int kMinTrace = 10;
constexpr int kMaxTrace = 60;
constexpr double kLabelGap = 12;
// A press that moves further than this is a drag (pans), else a click.
constexpr double kDragPixels = 4;
// A frame counts as under the pointer this many pixels beyond its ends.
constexpr double kFrameSlack = 3;
// A fitted frame fills this share of the width, centred.
constexpr double kFitShare = 0.8;
// Bit ticks are drawn where cells are at least this wide (narrower ones would merge).
constexpr double kMinTickSpacing = 3;
// A label is written where at least this many characters fit before the next frame.
constexpr int kMinLabelChars = 3;
constexpr double kPanShare = 0.125;
constexpr int kWheelNotch = 120;
constexpr double kMsPerUs = 1e-3;
constexpr const char* kChannelNames[kChannelCount] = {texts::kChannelOne, texts::kChannelTwo,
                                                      texts::kChannelThree};

// Whether two frames at the same place were read from the same line the same way (what their
// cells and label are made of).
bool sameFrame(const infrared::IrFrame& a, const infrared::IrFrame& b) {
    return a.endSample == b.endSample && a.protocol == b.protocol && a.bits == b.bits &&
           a.received == b.received && a.address == b.address && a.command == b.command &&
           a.check == b.check && a.keyKnown == b.keyKnown && a.repeat == b.repeat &&
           a.durationsUs == b.durationsUs && a.named.name == b.named.name &&
           a.named.parameters == b.named.parameters && a.analysis.scheme == b.analysis.scheme &&
           a.analysis.bits == b.analysis.bits && a.analysis.gapUs == b.analysis.gapUs;
}

} // namespace

DetailChart::DetailChart(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("DetailChart"));
    setMinimumSize(kMinimumSize);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setToolTip(QString()); // tooltips come from event()
}

void DetailChart::setLine(int channel, ChannelLevels line) {
    if (channel < 1 || channel > kChannelCount) {
        return;
    }
    ChannelLevels& old = lines_[static_cast<std::size_t>(channel - 1)];
    // Where the two lines differ: after the edges they share at the start, before those they
    // share at the end (which keep their levels only when the edges before them are as many).
    const std::vector<int32_t>& a = old.edges;
    const std::vector<int32_t>& b = line.edges;
    const auto [head, tail] = commonEnds(a, b);
    const bool sameStart = old.initialHigh == line.initialHigh;
    if (!sameStart || (head == a.size() && head == b.size())) {
        old = std::move(line);
        if (!sameStart) {
            laneChanged(channel);
        }
        return;
    }
    const auto firstDiffering = [&](const std::vector<int32_t>& e) {
        return head < e.size() ? static_cast<double>(e[head])
                               : static_cast<double>(kCaptureSamples);
    };
    const auto lastDiffering = [&](const std::vector<int32_t>& e) {
        return e.size() > head + tail ? static_cast<double>(e[e.size() - 1 - tail]) : 0.0;
    };
    const double from = std::min(firstDiffering(a), firstDiffering(b));
    const double to = (a.size() + b.size()) % 2 != 0 ? static_cast<double>(kCaptureSamples)
                                                     : std::max(lastDiffering(a), lastDiffering(b));
    old = std::move(line);
    laneChangedBetween(channel, from, std::max(from, to));
}

void DetailChart::laneChanged(int channel) {
    staleLanes_[static_cast<std::size_t>(channel - 1)] = true;
    staleColumns_[static_cast<std::size_t>(channel - 1)].reset();
    const Lane l = lane(channel);
    update(0, l.top, width(), l.bottom - l.top);
}

void DetailChart::laneChangedBetween(int channel, double from, double to) {
    const auto ch = static_cast<std::size_t>(channel - 1);
    if (staleLanes_[ch]) {
        return;
    }
    // The last frame of the lane before the change may have its label reach into it, and the
    // frames in it draw their labels up to the next frame after it (or the chart's edge).
    double left = from;
    std::optional<double> right;
    for (const infrared::IrFrame& f : frames_) {
        const auto start = static_cast<double>(f.startSample);
        if (f.channel != channel) {
            continue;
        }
        if (start < from) {
            left = start;
        } else if (start > to) {
            right = start;
            break;
        }
    }
    const int w = std::max(width(), 1);
    // A column shows the level just before it too: one more on each side.
    const int first = std::clamp(static_cast<int>(std::floor(view_.xOf(left))) - 1, 0, w);
    const int last =
        right ? std::clamp(static_cast<int>(std::ceil(view_.xOf(std::max(*right, to)))) + 2, 0, w)
              : w;
    if (first >= last) {
        return; // out of sight
    }
    std::optional<Columns>& stale = staleColumns_[ch];
    stale = stale ? Columns{std::min(stale->first, first), std::max(stale->last, last)}
                  : Columns{first, last};
    const Lane l = lane(channel);
    update(first, l.top, last - first, l.bottom - l.top);
}

void DetailChart::setFrames(std::vector<infrared::IrFrame> frames, std::vector<QString> keyNames) {
    // A running capture hands over the frames it already gave with a few new ones: those kept
    // keep what was worked out for them, and the chosen frame stays chosen.
    std::map<std::pair<int, int64_t>, std::size_t> before;
    for (std::size_t i = 0; i < frames_.size(); ++i) {
        before.emplace(std::pair{frames_[i].channel, frames_[i].startSample}, i);
    }
    const auto nameOf = [](const std::vector<QString>& names, std::size_t i) {
        return i < names.size() ? names[i] : QString();
    };
    std::vector<std::optional<infrared::FrameCells>> cells(frames.size());
    std::vector<std::optional<QString>> labels(frames.size());
    int chosen = -1;
    // The lanes whose frames stay as they were need no drawing again; the others from the
    // first frame that changed to the last.
    std::array<std::optional<std::pair<double, double>>, kChannelCount> changed{};
    bool elsewhere = false; // a frame of no lane's channel
    const auto changes = [&](const infrared::IrFrame& f) {
        if (f.channel < 1 || f.channel > kChannelCount) {
            elsewhere = true;
            return;
        }
        auto& span = changed[static_cast<std::size_t>(f.channel - 1)];
        const auto start = static_cast<double>(f.startSample);
        const auto end = static_cast<double>(f.endSample);
        span = span ? std::pair{std::min(span->first, start), std::max(span->second, end)}
                    : std::pair{start, end};
    };
    std::vector<bool> kept(frames_.size(), false);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const auto old = before.find({frames[i].channel, frames[i].startSample});
        if (old == before.end() || !sameFrame(frames_[old->second], frames[i])) {
            changes(frames[i]);
            continue;
        }
        kept[old->second] = true;
        cells[i] = std::move(cells_[old->second]);
        if (nameOf(keyNames_, old->second) == nameOf(keyNames, i)) {
            labels[i] = std::move(labels_[old->second]);
        } else {
            changes(frames[i]);
        }
        if (static_cast<int>(old->second) == chosen_) {
            chosen = static_cast<int>(i);
        }
    }
    for (std::size_t i = 0; i < frames_.size(); ++i) {
        if (!kept[i]) {
            changes(frames_[i]);
        }
    }
    frames_ = std::move(frames);
    keyNames_ = std::move(keyNames);
    cells_ = std::move(cells);
    labels_ = std::move(labels);
    chosen_ = chosen;
    if (elsewhere) {
        stale_ = true;
        update();
    }
    for (int ch = 1; ch <= kChannelCount; ++ch) {
        if (const auto& span = changed[static_cast<std::size_t>(ch - 1)]) {
            laneChangedBetween(ch, span->first, span->second);
        }
    }
}

const infrared::FrameCells& DetailChart::cellsOf(std::size_t index) const {
    std::optional<infrared::FrameCells>& cells = cells_[index];
    if (!cells) {
        cells = infrared::frameCells(frames_[index]);
    }
    return *cells;
}

const QString& DetailChart::labelOf(std::size_t index) const {
    std::optional<QString>& label = labels_[index];
    if (!label) {
        label = frameLabel(frames_[index], index < keyNames_.size() ? keyNames_[index] : QString());
    }
    return *label;
}

void DetailChart::setKeyNames(std::vector<QString> keyNames) {
    keyNames_ = std::move(keyNames);
    labels_.assign(frames_.size(), std::nullopt);
    stale_ = true;
    update();
}

void DetailChart::setView(const ChartView& view) {
    if (view.firstSample == view_.firstSample && view.samplesPerPixel == view_.samplesPerPixel) {
        return;
    }
    view_ = view;
    stale_ = true;
    update();
    Q_EMIT viewChanged(view_.firstSample, view_.samplesPerPixel * std::max(width(), 1));
}

void DetailChart::showSpan(double first, double count) {
    setView(fitView(first, count, width(), static_cast<double>(kCaptureSamples),
                    kFinestSamplesPerPixel));
}

void DetailChart::showAll() {
    showSpan(0, static_cast<double>(kCaptureSamples));
}

void DetailChart::centreOn(double sample) {
    const double shown = view_.samplesPerPixel * std::max(width(), 1);
    showSpan(sample - shown / 2, shown);
}

void DetailChart::fitFrame(int index) {
    chosen_ = index >= 0 && index < static_cast<int>(frames_.size()) ? index : -1;
    stale_ = true;
    update();
    if (chosen_ < 0) {
        return;
    }
    const infrared::IrFrame& f = frames_[static_cast<std::size_t>(chosen_)];
    const auto length = static_cast<double>(std::max<int64_t>(f.endSample - f.startSample, 1));
    const double shown = length / kFitShare;
    showSpan(static_cast<double>(f.startSample) - (shown - length) / 2, shown);
}

void DetailChart::followFrame(int index) {
    if (index < 0 || index >= static_cast<int>(frames_.size())) {
        fitFrame(-1);
        return;
    }
    const infrared::IrFrame& f = frames_[static_cast<std::size_t>(index)];
    const double shown = view_.samplesPerPixel * std::max(width(), 1);
    const auto length = static_cast<double>(f.endSample - f.startSample);
    if (length > shown * kFitShare) {
        fitFrame(index);
        return;
    }
    chosen_ = index;
    stale_ = true;
    update();
    if (static_cast<double>(f.startSample) < view_.firstSample ||
        static_cast<double>(f.endSample) > view_.firstSample + shown) {
        centreOn(static_cast<double>(f.startSample) + length / 2);
    }
}

int DetailChart::axisHeight() const {
    return static_cast<int>(std::ceil(QFontMetricsF(font()).height())) + kTickLength + 2 * kPad;
}

DetailChart::Lane DetailChart::lane(int channel) const {
    const int textH = static_cast<int>(std::ceil(QFontMetricsF(font()).height()));
    const int axis = axisHeight();
    const int laneH = std::max(0, height() - axis) / kChannelCount;
    // Under the trace: the label, the line with its ticks, the values and the bytes in hex.
    const int band = kPad + textH + 2 * kMarkTick + kPad + 2 * textH + kPad;
    Lane l;
    l.top = axis + (channel - 1) * laneH;
    l.high = l.top + textH + kPad;
    // Too short for the band under the trace: the trace alone, the frames in tooltips.
    l.marks = laneH >= textH + 2 * kPad + kMinTrace + band;
    if (!l.marks) {
        // The channel's name then sits over the trace's left end.
        l.high = l.top + kPad + 1;
    }
    const int trace = l.marks ? laneH - band - textH - 2 * kPad : laneH - 2 * kPad - 2;
    l.low = l.high + std::clamp(trace, std::min(kMinTrace, std::max(trace, 1)), kMaxTrace);
    l.label = l.low + kPad + 1;
    l.line = l.label + textH + kMarkTick + 1;
    l.values = l.line + kMarkTick + 1;
    l.bottom = l.marks ? std::max(l.values + 2 * textH + kPad, l.top + laneH) : l.top + laneH;
    return l;
}

int DetailChart::traceHigh(int channel) const {
    return lane(channel).high;
}

int DetailChart::traceLow(int channel) const {
    return lane(channel).low;
}

int DetailChart::markLine(int channel) const {
    return lane(channel).line;
}

const QImage& DetailChart::chart() const {
    draw();
    return image_;
}

const std::vector<DetailChart::DrawnText>& DetailChart::drawnTexts() const {
    draw();
    return texts_;
}

void DetailChart::draw() const {
    const QSize size(std::max(width(), 1), std::max(height(), 1));
    const bool whole = stale_ || image_.size() != size;
    if (!whole && std::none_of(staleLanes_.begin(), staleLanes_.end(), std::identity{}) &&
        std::none_of(staleColumns_.begin(), staleColumns_.end(),
                     [](const std::optional<Columns>& c) { return c.has_value(); })) {
        return;
    }
    if (whole) {
        stale_ = false;
        texts_.clear();
        if (image_.size() != size) {
            image_ = QImage(size, QImage::Format_RGB32);
        }
        image_.fill(kBackground);
        QPainter p(&image_);
        drawAxis(p);
    }
    for (int ch = 1; ch <= kChannelCount; ++ch) {
        const auto i = static_cast<std::size_t>(ch - 1);
        if (whole || staleLanes_[i]) {
            drawLane(ch, whole);
        } else if (staleColumns_[i]) {
            drawLane(ch, false, staleColumns_[i]);
        }
    }
    staleLanes_.fill(false);
    staleColumns_.fill(std::nullopt);
}

void DetailChart::drawLane(int channel, bool onBackground, std::optional<Columns> columns) const {
    // Nothing of the other lanes or of the axis reaches into a lane, nor anything of a lane out
    // of it, so one lane is drawn again alone; and, clipped, some of its columns alone.
    const Lane l = lane(channel);
    const Columns all{0, image_.width()};
    const Columns drawn = columns.value_or(all);
    const QRect band(drawn.first, l.top, drawn.last - drawn.first, l.bottom - l.top);
    drawing_ = columns;
    if (!onBackground) {
        std::erase_if(texts_, [&band](const DrawnText& t) {
            return t.rect.top() >= band.top() && t.rect.top() <= band.bottom() &&
                   t.rect.right() >= band.left() && t.rect.left() <= band.right() + 1;
        });
    }
    {
        QPainter p(&image_);
        p.setClipRect(band);
        if (!onBackground) {
            p.fillRect(band, QColor(kBackground));
        }
        p.setPen(kLaneRule);
        p.drawLine(0, l.top, image_.width(), l.top);
        if (chosen_ >= 0 && frames_[static_cast<std::size_t>(chosen_)].channel == channel) {
            const infrared::IrFrame& f = frames_[static_cast<std::size_t>(chosen_)];
            const double x0 = view_.xOf(static_cast<double>(f.startSample));
            const double x1 = view_.xOf(static_cast<double>(f.endSample));
            p.fillRect(QRectF(x0, l.high - kPad, std::max(1.0, x1 - x0), l.bottom - l.high),
                       kChosenFill);
        }
    }
    drawTrace(image_, channel, drawn);
    QPainter p(&image_);
    p.setClipRect(band);
    const QFontMetricsF fm(font());
    const QString name = texts::q(kChannelNames[channel - 1]);
    const QRectF at(kPad, l.top + 1, fm.horizontalAdvance(name), fm.height());
    if (!l.marks) {
        p.fillRect(at, QColor(kBackground));
    }
    p.setPen(kLaneName);
    text(p, at, name, Qt::AlignLeft | Qt::AlignTop);
    drawFrames(p, channel);
    drawing_.reset();
}

void DetailChart::drawTrace(QImage& image, int channel, Columns drawn) const {
    const int w = image.width();
    const Lane l = lane(channel);
    if (l.low >= image.height()) {
        return;
    }
    const std::vector<uint8_t> columns =
        chartColumns(lines_[static_cast<std::size_t>(channel - 1)], view_, w);
    auto* high = reinterpret_cast<QRgb*>(image.scanLine(l.high));
    auto* low = reinterpret_cast<QRgb*>(image.scanLine(l.low));
    const auto stride = static_cast<std::ptrdiff_t>(image.bytesPerLine() / sizeof(QRgb));
    for (int x = std::max(drawn.first, 0); x < std::min(drawn.last, w); ++x) {
        switch (columns[static_cast<std::size_t>(x)]) {
        case kLevelLow:
            low[x] = kWave;
            break;
        case kLevelHigh:
            high[x] = kWave;
            break;
        case kLevelBoth:
            for (QRgb* px = high + x; px <= low + x; px += stride) {
                *px = kWave;
            }
            break;
        default:
            break;
        }
    }
}

void DetailChart::text(QPainter& p, const QRectF& rect, const QString& s, int flags) const {
    const QRectF bounds = p.boundingRect(rect, flags, s);
    if (drawing_ && (bounds.right() < drawing_->first || bounds.left() > drawing_->last)) {
        return; // wholly outside the columns drawn
    }
    p.drawText(rect, flags, s);
    texts_.push_back({bounds, s});
}

void DetailChart::drawAxis(QPainter& p) const {
    const QFontMetricsF fm(font());
    const int bottom = axisHeight() - 1;
    p.setPen(kAxis);
    p.drawLine(0, bottom, width(), bottom);
    const std::vector<AxisTick> ticks = axisTicks(
        view_, width(), [&fm](const QString& s) { return fm.horizontalAdvance(s); }, kLabelGap);
    for (const AxisTick& t : ticks) {
        p.drawLine(QPointF(t.x, bottom - kTickLength), QPointF(t.x, bottom));
        if (!t.label.isEmpty()) {
            text(p, QRectF(t.labelLeft, kPad, t.labelWidth, fm.height()), t.label,
                 Qt::AlignLeft | Qt::AlignTop);
        }
    }
}

void DetailChart::drawFrames(QPainter& p, int channel) const {
    if (!lane(channel).marks) {
        return;
    }
    std::vector<std::size_t> shown;
    for (std::size_t i = 0; i < frames_.size(); ++i) {
        const infrared::IrFrame& f = frames_[i];
        if (f.channel != channel || view_.xOf(static_cast<double>(f.endSample)) < 0 ||
            view_.xOf(static_cast<double>(f.startSample)) > width()) {
            continue;
        }
        shown.push_back(i);
    }
    for (std::size_t k = 0; k < shown.size(); ++k) {
        const infrared::IrFrame& f = frames_[shown[k]];
        if (drawing_) {
            // A frame draws from its start to its end, its label on to the next frame.
            const double reach =
                k + 1 < shown.size()
                    ? view_.xOf(static_cast<double>(frames_[shown[k + 1]].startSample))
                    : static_cast<double>(width());
            const double right = std::max(reach, view_.xOf(static_cast<double>(f.endSample)));
            if (view_.xOf(static_cast<double>(f.startSample)) > drawing_->last + 1 ||
                right < drawing_->first - 1) {
                continue;
            }
        }
        drawFrame(p, shown[k]);
    }
}

void DetailChart::drawFrame(QPainter& p, std::size_t index) const {
    const infrared::IrFrame& f = frames_[index];
    const Lane l = lane(f.channel);
    const QFontMetricsF fm(font());
    const double pxPerSample = 1.0 / view_.samplesPerPixel;
    const auto x = [this](int64_t sample) { return view_.xOf(static_cast<double>(sample)); };
    const double x0 = x(f.startSample);
    const double x1 = x(f.endSample);
    p.save();
    p.setClipRect(QRect(0, l.top, width(), l.bottom - l.top), Qt::IntersectClip);
    p.setPen(kMarks);
    p.drawLine(QPointF(x0, l.line), QPointF(x1, l.line));
    p.drawLine(QPointF(x0, l.line - kMarkTick), QPointF(x0, l.line + kMarkTick));
    p.drawLine(QPointF(x1, l.line - kMarkTick), QPointF(x1, l.line + kMarkTick));

    const infrared::FrameCells& cells = cellsOf(index);
    if (cells.leaderStart >= 0) {
        p.fillRect(QRectF(x(cells.leaderStart), l.line - kLeaderWidth,
                          std::max(1.0, x(cells.leaderEnd) - x(cells.leaderStart)), kLeaderWidth),
                   kMarks);
    }
    const double digitRoom = fm.horizontalAdvance(QLatin1Char('0')) + kPad;
    const BitValues style = bitValuesShown(cells, pxPerSample, digitRoom);
    const double textH = fm.height();
    for (const infrared::FrameCell& c : cells.bits) {
        const double xs = x(c.start);
        const double xe = x(c.end);
        if (xe < 0 || xs > width()) {
            continue;
        }
        if (xe - xs >= kMinTickSpacing) {
            p.drawLine(QPointF(xs, l.line - kMarkTick), QPointF(xs, l.line));
        }
        if (style == BitValues::Digits) {
            text(p, QRectF(xs, l.values, xe - xs, textH),
                 c.value ? QStringLiteral("1") : QStringLiteral("0"),
                 Qt::AlignHCenter | Qt::AlignTop);
        } else {
            const double y = c.value ? l.values + 1 : l.values + textH - 2;
            p.drawLine(QPointF(xs, y), QPointF(std::max(xe - 1, xs), y));
        }
    }
    if (style == BitValues::Marks) {
        for (const ByteSpan& b : byteSpans(cells)) {
            const double bs = x(b.start);
            const double be = x(b.end);
            if (be - bs >= fm.horizontalAdvance(b.hex) + kPad && be >= 0 && bs <= width()) {
                text(p, QRectF(bs, l.values + textH, be - bs, textH), b.hex,
                     Qt::AlignHCenter | Qt::AlignTop);
            }
        }
    }
    // The label, up to the next frame of the same channel.
    double room = width() - std::max(x0, 0.0);
    for (std::size_t j = index + 1; j < frames_.size(); ++j) {
        if (frames_[j].channel == f.channel) {
            room = std::min(room, x(frames_[j].startSample) - std::max(x0, 0.0) - kPad);
            break;
        }
    }
    const QString label = fm.elidedText(labelOf(index), Qt::ElideRight, room);
    if (room >= kMinLabelChars * fm.averageCharWidth() && !label.isEmpty()) {
        text(p, QRectF(std::max(x0, 0.0) + 1, l.label, room, textH), label,
             Qt::AlignLeft | Qt::AlignTop);
    }
    p.restore();
}

int DetailChart::frameAt(QPointF pos) const {
    int channel = 0;
    for (int ch = 1; ch <= kChannelCount; ++ch) {
        const Lane l = lane(ch);
        if (pos.y() >= l.top && pos.y() < l.bottom) {
            channel = ch;
        }
    }
    const double sample = view_.sampleAt(pos.x());
    const double slack = kFrameSlack * view_.samplesPerPixel;
    for (std::size_t i = 0; i < frames_.size(); ++i) {
        const infrared::IrFrame& f = frames_[i];
        if (f.channel == channel && static_cast<double>(f.startSample) - slack <= sample &&
            sample <= static_cast<double>(f.endSample) + slack) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

QString DetailChart::readout() const {
    const auto ms = [](double sample) { return sample * kSamplePeriodUsExact * kMsPerUs; };
    if (measureA_ && measureB_) {
        return QStringLiteral("Δt =") + millisecondsText(std::abs(ms(*measureB_ - *measureA_)));
    }
    const std::optional<double> at = hover_ ? hover_ : measureA_;
    return at ? millisecondsText(ms(*at)) : QString();
}

void DetailChart::paintEvent(QPaintEvent* /*event*/) {
    draw();
    QPainter p(this);
    p.drawImage(0, 0, image_);
    const int top = axisHeight();
    const QFontMetricsF fm(font());
    const auto marker = [&](double sample, const QColor& colour) {
        const double x = view_.xOf(sample);
        p.setPen(colour);
        p.drawLine(QPointF(x, top), QPointF(x, height()));
        return x;
    };
    if (hover_) {
        const double x = marker(*hover_, kHover);
        const QString t = millisecondsText(*hover_ * kSamplePeriodUsExact * kMsPerUs);
        const double left = std::min(x + kPad, width() - fm.horizontalAdvance(t) - kPad);
        p.fillRect(QRectF(left, top + 1, fm.horizontalAdvance(t), fm.height()), kBackground);
        p.drawText(QPointF(left, top + 1 + fm.ascent()), t);
    }
    if (measureA_) {
        const double xa = marker(*measureA_, kMeasure);
        if (measureB_) {
            const double xb = marker(*measureB_, kMeasure);
            const double y = top + fm.height() * 2;
            p.drawLine(QPointF(xa, y), QPointF(xb, y));
            const QString t = readout();
            const double left = (xa + xb) / 2 - fm.horizontalAdvance(t) / 2;
            p.fillRect(QRectF(left, y - fm.height() - 1, fm.horizontalAdvance(t), fm.height()),
                       kBackground);
            p.drawText(QPointF(left, y - 1 - fm.descent()), t);
        }
    }
}

void DetailChart::resizeEvent(QResizeEvent* event) {
    const int oldWidth = std::max(event->oldSize().width(), 1);
    const double shown = view_.samplesPerPixel * oldWidth;
    stale_ = true;
    // The same span stays shown across the new width.
    if (event->oldSize().width() <= 0) {
        showAll();
    } else {
        showSpan(view_.firstSample, shown);
    }
    QWidget::resizeEvent(event);
}

void DetailChart::zoomAbout(double factor, double x) {
    setView(zoomView(view_, factor, x, width(), static_cast<double>(kCaptureSamples),
                     kFinestSamplesPerPixel));
}

void DetailChart::panBy(double pixels) {
    showSpan(view_.firstSample + pixels * view_.samplesPerPixel, view_.samplesPerPixel * width());
}

void DetailChart::wheelEvent(QWheelEvent* event) {
    const QPoint delta = event->angleDelta();
    const double notches = static_cast<double>(delta.y()) / kWheelNotch;
    if (delta.x() != 0 || (event->modifiers() & Qt::ShiftModifier)) {
        const int d = delta.x() != 0 ? delta.x() : delta.y();
        panBy(-static_cast<double>(d) / kWheelNotch * width() * kPanShare);
    } else if (notches != 0) {
        zoomAbout(std::pow(kZoomStep, -notches), event->position().x());
    }
    event->accept();
}

void DetailChart::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        pressAt_ = event->position();
        pressFirst_ = view_.firstSample;
        dragged_ = false;
    }
}

void DetailChart::mouseMoveEvent(QMouseEvent* event) {
    hover_ = view_.sampleAt(event->position().x());
    if (pressAt_ && (event->buttons() & Qt::LeftButton)) {
        const double dx = event->position().x() - pressAt_->x();
        if (std::abs(dx) > kDragPixels) {
            dragged_ = true;
        }
        if (dragged_) {
            showSpan(pressFirst_ - dx * view_.samplesPerPixel, view_.samplesPerPixel * width());
        }
    }
    Q_EMIT readoutChanged(readout());
    update();
}

void DetailChart::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !pressAt_) {
        return;
    }
    pressAt_.reset();
    if (dragged_) {
        return;
    }
    const int frame = frameAt(event->position());
    const int channel = frame >= 0 ? frames_[static_cast<std::size_t>(frame)].channel : 0;
    if (frame >= 0 && event->position().y() > lane(channel).low) {
        chosen_ = frame;
        stale_ = true;
        update();
        Q_EMIT frameClicked(frame);
        return;
    }
    // As on Picture1: a first click sets the start, a second measures to it.
    const double sample = view_.sampleAt(event->position().x());
    if (!measureA_ || measureB_) {
        measureA_ = sample;
        measureB_.reset();
    } else {
        measureB_ = sample;
    }
    Q_EMIT readoutChanged(readout());
    update();
}

void DetailChart::leaveEvent(QEvent* event) {
    hover_.reset();
    update();
    QWidget::leaveEvent(event);
}

bool DetailChart::event(QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride) {
        // The chart's own keys win over the window's menu shortcuts while it has the focus.
        auto* key = static_cast<QKeyEvent*>(event);
        switch (key->key()) {
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Home:
        case Qt::Key_End:
        case Qt::Key_Plus:
        case Qt::Key_Minus:
        case Qt::Key_Equal:
            if (key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier) {
                event->accept();
                return true;
            }
            break;
        default:
            break;
        }
    }
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int frame = frameAt(help->pos());
        if (frame < 0) {
            QToolTip::hideText();
            event->ignore();
            return true;
        }
        const auto i = static_cast<std::size_t>(frame);
        const infrared::IrFrame& f = frames_[i];
        QString tip = labelOf(i) + QStringLiteral("\n") + texts::q(kChannelNames[f.channel - 1]) +
                      QStringLiteral(", ") + frameStartMs(f) + QStringLiteral(" ms");
        const QString bits = bitsText(cellsOf(i));
        if (!bits.isEmpty()) {
            tip += QStringLiteral("\n") + bits;
        }
        QToolTip::showText(help->globalPos(), tip, this);
        return true;
    }
    return QWidget::event(event);
}

void DetailChart::keyPressEvent(QKeyEvent* event) {
    const double centre = width() / 2.0;
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        zoomAbout(1 / kZoomStep, centre);
        break;
    case Qt::Key_Minus:
        zoomAbout(kZoomStep, centre);
        break;
    case Qt::Key_Left:
        panBy(-width() * kPanShare);
        break;
    case Qt::Key_Right:
        panBy(width() * kPanShare);
        break;
    case Qt::Key_Home:
        showSpan(0, view_.samplesPerPixel * width());
        break;
    case Qt::Key_End:
        showSpan(static_cast<double>(kCaptureSamples), view_.samplesPerPixel * width());
        break;
    case Qt::Key_A:
        showAll();
        break;
    case Qt::Key_F:
        fitFrame(chosen_);
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

} // namespace velmoran::navigator
