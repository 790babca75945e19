#include "display/frame_marks.h"

#include <QStringList>

#include <algorithm>
#include <array>
#include <limits>

#include "core/constants.h"
#include "core/texts.h"
#include "infrared/frame_text.h"
#include "infrared/irp/irp_decode.h"

namespace velmoran {

namespace {

constexpr int kBitsPerByte = 8;
constexpr int kHexDigitsPerByte = 2;
constexpr int kHexBase = 16;
constexpr std::array<const char*, kChannelCount> kChannelNames{
    texts::kChannelOne, texts::kChannelTwo, texts::kChannelThree};

} // namespace

BitValues bitValuesShown(const infrared::FrameCells& cells, double unitsPerSample,
                         double digitRoom) {
    int64_t narrowest = std::numeric_limits<int64_t>::max();
    for (const infrared::FrameCell& c : cells.bits) {
        narrowest = std::min(narrowest, c.end - c.start);
    }
    if (cells.bits.empty()) {
        return BitValues::Digits;
    }
    return static_cast<double>(narrowest) * unitsPerSample >= digitRoom ? BitValues::Digits
                                                                        : BitValues::Marks;
}

std::vector<ByteSpan> byteSpans(const infrared::FrameCells& cells) {
    std::vector<ByteSpan> bytes;
    for (std::size_t first = 0; first < cells.bits.size(); first += kBitsPerByte) {
        const std::size_t last = std::min(cells.bits.size(), first + kBitsPerByte) - 1;
        unsigned value = 0;
        for (std::size_t i = first; i <= last; ++i) {
            value |= (cells.bits[i].value ? 1u : 0u) << (i - first);
        }
        bytes.push_back({cells.bits[first].start, cells.bits[last].end,
                         QString::number(value, kHexBase)
                             .toUpper()
                             .rightJustified(kHexDigitsPerByte, QLatin1Char('0'))});
    }
    return bytes;
}

QString bitsText(const infrared::FrameCells& cells) {
    if (cells.bits.empty()) {
        return {};
    }
    QString digits;
    for (std::size_t i = 0; i < cells.bits.size(); ++i) {
        if (i > 0 && i % kBitsPerByte == 0) {
            digits += QLatin1Char(' ');
        }
        digits += cells.bits[i].value ? QLatin1Char('1') : QLatin1Char('0');
    }
    QStringList hex;
    for (const ByteSpan& b : byteSpans(cells)) {
        hex << b.hex;
    }
    return digits + QStringLiteral(" (") + hex.join(QLatin1Char(' ')) + QLatin1Char(')');
}

QString frameLabel(const infrared::IrFrame& frame, const QString& keyName) {
    const infrared::FrameText text = infrared::irp::shownFrameText(frame);
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
        const float baseline = kRowBaseline[static_cast<std::size_t>(f.channel - 1)];
        const float y = baseline + kFrameLineDrop;
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
        const BitValues style = bitValuesShown(cells, bitWidth, kFrameValueMinWidth);
        for (const infrared::FrameCell& c : cells.bits) {
            if (c.end < firstSample || c.start > lastSample) {
                continue;
            }
            marks.lines.push_back({x(c.start), y - kFrameTickHalf, x(c.start), y});
            if (style == BitValues::Marks) {
                const float drop = c.value ? kFrameMarkOneDrop : kFrameMarkZeroDrop;
                marks.lines.push_back({x(c.start), y + drop, x(c.end), y + drop});
            } else if (c.start >= firstSample) {
                marks.texts.push_back({(x(c.start) + x(c.end)) / 2 - kFrameValueMinWidth / 4,
                                       y + kFrameValueDrop,
                                       c.value ? QStringLiteral("1") : QStringLiteral("0")});
            }
        }
        if (style == BitValues::Marks) {
            for (const ByteSpan& b : byteSpans(cells)) {
                if (b.start >= firstSample && b.start <= lastSample) {
                    marks.texts.push_back({x(b.start), y + kFrameHexDrop, b.hex});
                }
            }
        }
        const QString name = i < keyNames.size() ? keyNames[i] : QString();
        marks.texts.push_back({x(std::max(f.startSample, firstSample)), baseline + kFrameLabelDrop,
                               texts::q(kChannelNames[static_cast<std::size_t>(f.channel - 1)]) +
                                   QLatin1Char(' ') + frameLabel(f, name)});
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
