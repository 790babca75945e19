// Frames marked on the chart: each bit's value at the x where its cell starts, for a
// pulse-distance frame (NEC) and a bi-phase one (RC-5), taken from the times they were sent.

#include <gtest/gtest.h>

#include <cmath>

#include "support/ird_capture.h"

#include "core/channel_levels.h"
#include "display/frame_marks.h"
#include "infrared/ir_decoder.h"

using namespace velmoran;

namespace {

constexpr int kBitWidth = 20;        // twips per sample: a 67.5 ms NEC frame in 33,600 twips
constexpr float kChartTwips = 40000; // wide enough for both frames
constexpr double kStartUs = 5000;
// The height of a line of Picture1's text, in twips (its 9-point font is 12 to 13 pixels tall).
constexpr float kTextHeight = 200;

struct Sent {
    std::vector<double> bitStartUs;
    std::vector<bool> values;
};

TEST(FrameMarks, EachBitsValueSitsAtTheCellItWasSentIn) {
    for (const bool rc5 : {false, true}) {
        SCOPED_TRACE(rc5 ? "rc5" : "nec");
        test::IrLine line(kStartUs);
        Sent sent;
        if (!rc5) {
            // NEC, address 0x04, command 0x08, least significant bit first.
            line.mark(9000).space(4500);
            const uint32_t bits = 0x04u | (0xFBu << 8) | (0x08u << 16) | (0xF7u << 24);
            for (int i = 0; i < 32; ++i) {
                sent.bitStartUs.push_back(line.now());
                sent.values.push_back((bits >> i) & 1u);
                line.mark(562.5).space((bits >> i) & 1u ? 1687.5 : 562.5);
            }
            line.mark(562.5).space(1000);
        } else {
            // RC-5, address 5, command 0x35: a 1 is a space then a mark of 889 µs each; the
            // start bit's space is the line at rest before the first mark.
            const bool bits[] = {1, 1, 0, 0, 0, 1, 0, 1, 1, 1, 0, 1, 0, 1};
            line.at(kStartUs - 889);
            for (const bool b : bits) {
                sent.bitStartUs.push_back(line.now());
                sent.values.push_back(b);
                b ? line.space(889).mark(889) : line.mark(889).space(889);
            }
            line.space(1000);
        }
        const ChannelBuffer buffer = test::renderLine(line.edges());
        const std::vector<infrared::IrFrame> frames =
            infrared::decodeInfrared(channelLevels(buffer), 1);
        ASSERT_EQ(frames.size(), 1u);
        const FrameMarks marks = frameMarks(frames, {}, 0, kBitWidth, kChartTwips);

        // The value texts, left to right, are the bits sent; each sits inside its cell.
        std::vector<bool> values;
        std::vector<float> xs;
        for (const MarkText& t : marks.texts) {
            if (t.text == QLatin1String("0") || t.text == QLatin1String("1")) {
                values.push_back(t.text == QLatin1String("1"));
                xs.push_back(t.x);
            }
        }
        EXPECT_EQ(values, sent.values);
        const auto x = [](double us) {
            return static_cast<float>(us / kSamplePeriodUsExact) * kBitWidth;
        };
        for (std::size_t i = 0; i + 1 < xs.size() && i + 1 < sent.bitStartUs.size(); ++i) {
            EXPECT_GT(xs[i], x(sent.bitStartUs[i])) << i;
            EXPECT_LT(xs[i], x(sent.bitStartUs[i + 1])) << i;
        }
        // A tick where each cell starts, within a sample of the time it was sent.
        for (const double us : sent.bitStartUs) {
            const bool ticked =
                std::any_of(marks.lines.begin(), marks.lines.end(), [&](const MarkLine& l) {
                    return l.x1 == l.x2 && std::abs(l.x1 - x(us)) <= 1.5f * kBitWidth;
                });
            EXPECT_TRUE(ticked) << us;
        }
        // Everything lies under the frame's own row: below its axis and its time label, above
        // the next row's high level; the label names the channel and no tick crosses it.
        const float baseline = kRowBaseline[0];
        const float rulerTextBottom = baseline + kLabelDrop + kTextHeight;
        const float nextHigh = kRowBaseline[1] - kHighLevelRise;
        for (const MarkLine& l : marks.lines) {
            EXPECT_GT(std::min(l.y1, l.y2), rulerTextBottom);
            EXPECT_LT(std::max(l.y1, l.y2), nextHigh);
        }
        const auto label = std::find_if(marks.texts.begin(), marks.texts.end(), [](const auto& t) {
            return t.text.startsWith(QString::fromUtf8("第一通道 "));
        });
        ASSERT_NE(label, marks.texts.end());
        EXPECT_GE(label->y, rulerTextBottom);
        for (const MarkLine& l : marks.lines) {
            EXPECT_GE(std::min(l.y1, l.y2), label->y + kTextHeight);
        }
        for (const MarkText& t : marks.texts) {
            EXPECT_LT(t.y + kTextHeight, nextHigh) << t.text.toStdString();
        }
        // Scrolled past the frame, nothing is marked.
        EXPECT_TRUE(
            frameMarks(frames, {}, frames[0].endSample + 1, kBitWidth, kChartTwips).lines.empty());
    }
}

} // namespace
