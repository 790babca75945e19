#include "display/frame_marks.h"

#include <algorithm>

#include "infrared/frame_cells.h"
#include "infrared/frame_text.h"

namespace velmoran {

QString frameLabel(const infrared::IrFrame& frame, const QString& keyName) {
    const infrared::FrameText text = infrared::frameText(frame);
    QString label = text.protocol;
    for (const QString& part : {text.address, text.command, keyName}) {
        if (!part.isEmpty()) {
            label += QLatin1Char(' ') + part;
        }
    }
    return label;
}

FrameMarks frameMarks(const std::vector<infrared::IrFrame>& frames,
                      const std::vector<QString>& keyNames, int64_t firstSample, int bitWidth,
                      float widthTwips) {
    FrameMarks marks;
    const auto x = [&](int64_t sample) {
        return std::clamp(static_cast<float>(sample - firstSample) * static_cast<float>(bitWidth),
                          0.0f, widthTwips);
    };
    const int64_t lastSample = firstSample + static_cast<int64_t>(widthTwips / bitWidth);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const infrared::IrFrame& f = frames[i];
        if (f.endSample < firstSample || f.startSample > lastSample || f.channel < 1 ||
            f.channel > kChannelCount) {
            continue;
        }
        const float y = kFrameMarkTop + static_cast<float>(f.channel - 1) * kFrameMarkStep;
        // The extent, closed by a tick at each end.
        marks.lines.push_back({x(f.startSample), y, x(f.endSample), y});
        for (const int64_t end : {f.startSample, f.endSample}) {
            if (end >= firstSample && end <= lastSample) {
                marks.lines.push_back({x(end), y - kFrameTickHalf, x(end), y + kFrameTickHalf});
            }
        }
        const infrared::FrameCells cells = infrared::frameCells(f);
        if (cells.leaderStart >= 0) {
            marks.lines.push_back({x(cells.leaderStart), y - kFrameLeaderRise, x(cells.leaderEnd),
                                   y - kFrameLeaderRise});
        }
        for (const infrared::FrameCell& c : cells.bits) {
            if (c.end < firstSample || c.start > lastSample) {
                continue;
            }
            marks.lines.push_back({x(c.start), y - kFrameTickHalf, x(c.start), y});
            if (x(c.end) - x(c.start) >= kFrameValueMinWidth && c.start >= firstSample) {
                marks.texts.push_back({(x(c.start) + x(c.end)) / 2 - kFrameValueMinWidth / 4,
                                       y + kFrameValueDrop,
                                       c.value ? QStringLiteral("1") : QStringLiteral("0")});
            }
        }
        const QString name = i < keyNames.size() ? keyNames[i] : QString();
        marks.texts.push_back(
            {x(std::max(f.startSample, firstSample)), y - kFrameLabelRise, frameLabel(f, name)});
    }
    return marks;
}

void drawFrameMarks(Surface& surface, const FrameMarks& marks) {
    const float px = surface.CurrentX();
    const float py = surface.CurrentY();
    const QRgb colour = surface.ForeColor();
    for (const MarkLine& l : marks.lines) {
        surface.Line(l.x1, l.y1, l.x2, l.y2, kFrameMarkColour);
    }
    surface.setForeColor(kFrameMarkColour);
    for (const MarkText& t : marks.texts) {
        surface.setCurrentX(t.x);
        surface.setCurrentY(t.y);
        surface.Print(t.text);
    }
    surface.setForeColor(colour);
    surface.setCurrentX(px);
    surface.setCurrentY(py);
}

} // namespace velmoran
