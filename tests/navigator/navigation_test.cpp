// The navigator's arithmetic and its overview widget: columns checked against a sample-by-sample
// reference, scroll positions that put a frame in the chart's left quarter, and the overview
// answering the mouse.

#include <QLabel>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

#include <random>
#include <utility>

#include "app/capture_store.h"
#include "infrared/frame_text.h"
#include "infrared/ir_analysis.h"
#include "navigator/frame_list.h"
#include "navigator/navigation.h"
#include "navigator/navigator_panel.h"
#include "navigator/overview.h"
#include "support/ird_capture.h"

using namespace velmoran;
using namespace velmoran::navigator;

namespace {

// A buffer whose line is low over [from, to) samples of each listed span, high elsewhere.
ChannelBuffer lineWithLows(const std::vector<std::pair<int64_t, int64_t>>& lows) {
    ChannelBuffer b;
    b.fill(0xFF);
    for (const auto& [from, to] : lows) {
        for (int64_t s = from; s < to; ++s) {
            b[static_cast<std::size_t>(s / 8)] &= static_cast<uint8_t>(~(0x80 >> (s % 8)));
        }
    }
    return b;
}

// The same columns, one sample at a time.
std::vector<uint8_t> referenceColumns(const ChannelBuffer& b, int width) {
    std::vector<uint8_t> out(static_cast<std::size_t>(width), 0);
    for (int64_t s = 0; s < kOverviewSamples; ++s) {
        const int64_t column = s * width / kOverviewSamples;
        // A sample belongs to the column whose span [c*N/w, (c+1)*N/w) holds it.
        int64_t c = column;
        while (columnFirstSample(static_cast<int>(c), width) > s) {
            --c;
        }
        while (columnFirstSample(static_cast<int>(c + 1), width) <= s) {
            ++c;
        }
        out[static_cast<std::size_t>(c)] |=
            sampleAt(b, static_cast<int>(s)) ? kColumnHigh : kColumnLow;
    }
    return out;
}

TEST(OverviewColumns, MatchTheSampleBySampleReferenceAtAwkwardWidths) {
    std::mt19937 rng(7);
    ChannelBuffer random;
    for (uint8_t& byte : random) {
        // Mostly idle bytes with bursts: the whole-byte shortcut and the cut bytes both run.
        const uint32_t r = rng() % 10;
        byte = r < 5 ? 0xFF : r < 8 ? 0x00 : static_cast<uint8_t>(rng());
    }
    const ChannelBuffer pulses = lineWithLows(
        {{0, 1}, {1000, 1003}, {250001, 260000}, {kOverviewSamples - 5, kOverviewSamples}});
    for (const ChannelBuffer* b : {&std::as_const(random), &pulses}) {
        for (int width : {1, 7, 640, 698, 1000, 1920}) {
            EXPECT_EQ(overviewColumns(*b, width), referenceColumns(*b, width)) << width;
        }
    }
}

TEST(OverviewColumns, AnEdgeMarksOnlyItsColumn) {
    const int width = 700;
    const ChannelBuffer b = lineWithLows({{100000, kOverviewSamples}});
    const std::vector<uint8_t> columns = overviewColumns(b, width);
    const auto edgeColumn = static_cast<std::size_t>(100000 * width / kOverviewSamples);
    for (std::size_t c = 0; c < columns.size(); ++c) {
        const uint8_t expected = c < edgeColumn    ? kColumnHigh
                                 : c == edgeColumn ? kColumnBoth
                                                   : kColumnLow;
        ASSERT_EQ(columns[c], expected) << c;
    }
}

TEST(ScrollValues, AFractionMovesTheLeftEdgeThereWithinTheRange) {
    const int max = 31680;
    EXPECT_EQ(scrollValueAtFraction(0.0, max), 0);
    EXPECT_EQ(scrollValueAtFraction(0.25, max), 7936); // 126,976 samples
    EXPECT_EQ(scrollValueAtFraction(1.0, max), max);
    EXPECT_EQ(scrollValueAtFraction(-0.5, max), 0);
}

TEST(ScrollValues, AFrameLandsInTheLeftQuarterOrAsFarAsTheRangeAllows) {
    const int max = 31680;
    for (const int64_t visible : {int64_t{1021}, int64_t{5107}, int64_t{64}}) {
        for (const int64_t start :
             {int64_t{200}, int64_t{5000}, int64_t{123457}, int64_t{400001}}) {
            const int v = scrollValueForSample(start, visible, max);
            const int64_t left = leftSampleAt(v);
            EXPECT_LE(left, start) << visible << " " << start;
            EXPECT_LT(start - left, std::max<int64_t>(visible / 4, kSamplesPerScrollUnit))
                << visible << " " << start;
        }
    }
    EXPECT_EQ(scrollValueForSample(10, 1021, max), 0);
    EXPECT_EQ(scrollValueForSample(kOverviewSamples - 1, 1021, max), max);
}

TEST(ScrollValues, NextAndPreviousStepThroughEveryFrameWithoutSticking) {
    const std::vector<int64_t> starts{30, 4000, 4100, 90000, 500000};
    const int64_t visible = 1021;
    const int max = 31680;
    int value = 0;
    std::vector<std::size_t> visited;
    while (const auto next = nextFrame(starts, value, visible, max)) {
        visited.push_back(*next);
        value = scrollValueForSample(starts[*next], visible, max);
    }
    // The first frame sits at value 0 already; 4000 and 4100 share no scroll value.
    EXPECT_EQ(visited, (std::vector<std::size_t>{1, 2, 3, 4}));
    std::vector<std::size_t> back;
    while (const auto prev = previousFrame(starts, value, visible, max)) {
        back.push_back(*prev);
        value = scrollValueForSample(starts[*prev], visible, max);
    }
    EXPECT_EQ(back, (std::vector<std::size_t>{3, 2, 1, 0}));
}

TEST(ZoomToFit, TheLargestZoomTheButtonsReachAtWhichTheFrameFits) {
    constexpr double kPicture1Twips = 10215; // three quarters of it: 7661 twips
    struct Case {
        const char* name;
        int64_t samples;
        int from;
        ZoomSteps want;
    };
    const Case cases[] = {
        // 67.5 ms: 缩少 twice (10, 5, 2), then 放大 once: 4 twips a sample, 6,724 twips.
        {"nec_frame_from_the_start_up_zoom", 1681, 10, {2, 1, 4}},
        {"rc5_frame_already_fits_and_one_more_would_not", 620, 10, {0, 0, 10}},
        {"short_burst_zooms_in", 10, 10, {0, 6, 640}},
        {"too_long_for_any_zoom_ends_at_the_smallest", 50000, 10, {2, 0, 2}},
        {"the_largest_zoom_is_its_own_next", 0, 10240, {0, 1, 20480}},
        {"an_odd_zoom_halves_with_the_number_rules", 5000, 3, {1, 0, 2}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(zoomStepsToFit(c.samples, kPicture1Twips, c.from), c.want) << c.name;
    }
}

TEST(OverviewWidget, ClicksAndDragsReportTheirFractionOfTheWidth) {
    CaptureStore store;
    Overview overview;
    overview.resize(800, Overview::fixedHeight());
    overview.setBuffers(store.buffers());
    overview.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&overview));
    QSignalSpy spy(&overview, &Overview::fractionChosen);
    QTest::mousePress(&overview, Qt::LeftButton, {}, QPoint(200, 10));
    QMouseEvent move(QEvent::MouseMove, QPointF(600, 12), overview.mapToGlobal(QPointF(600, 12)),
                     Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(&overview, &move);
    QTest::mouseRelease(&overview, Qt::LeftButton, {}, QPoint(600, 12));
    ASSERT_EQ(spy.size(), 2);
    EXPECT_DOUBLE_EQ(spy[0][0].toDouble(), 0.25);
    EXPECT_DOUBLE_EQ(spy[1][0].toDouble(), 0.75);
    // An all-zero store is low everywhere: every column draws at its strip's bottom.
    const QImage& img = overview.strips();
    ASSERT_EQ(img.width(), 800);
    const int bottom = Overview::stripTop(1) + Overview::kStripHeight - 1;
    EXPECT_NE(img.pixel(400, bottom), img.pixel(400, Overview::stripTop(1)));
}

} // namespace

// A burst no decoder claims is listed beside the decoded frames, in time order, and a noisy
// line's long raw list is cut short in its cell.
TEST(FrameList, ListsUnknownBurstsBesideDecodedFramesInTimeOrder) {
    CaptureStore store;
    store.ChannelData1.fill(0xFF); // the receiver's line rests high
    // Channel 3 stays empty: low from start to end, no edge, nothing to list.
    // Channel 2: a NEC frame (address 0x04, command 0x08) at 100 ms, then at 300 ms a burst of
    // 40 equal marks and spaces that no protocol describes.
    test::IrLine line(100'000.0);
    line.mark(9000).space(4500);
    const uint32_t bits = 0x04u | (0xFBu << 8) | (0x08u << 16) | (0xF7u << 24);
    for (int i = 0; i < 32; ++i) {
        line.mark(562.5).space((bits >> i) & 1u ? 1687.5 : 562.5);
    }
    line.mark(562.5).space(1000).at(300'000.0);
    for (int i = 0; i < 40; ++i) {
        line.mark(1500).space(1500);
    }
    line.space(1000);
    store.ChannelData2 = test::renderLine(line.edges());

    const std::vector<infrared::IrFrame> frames = decodeChannels(store.buffers());
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].channel, 2);
    EXPECT_EQ(infrared::frameText(frames[0]).protocol, "NEC");
    EXPECT_EQ(infrared::frameText(frames[0]).command, "0x08");
    EXPECT_EQ(frames[1].protocol, infrared::IrProtocol::Unknown);
    EXPECT_NEAR(static_cast<double>(frames[1].startSample) * kSamplePeriodUsExact, 300'000.0,
                2 * kSamplePeriodUsExact);

    FrameListModel model;
    model.setFrames(frames);
    ASSERT_EQ(model.rowCount(), 2);
    const QString notes = model.index(1, FrameListModel::Notes).data().toString();
    EXPECT_TRUE(notes.startsWith(QStringLiteral("pulses=40 "))) << notes.toStdString();
    EXPECT_TRUE(notes.contains(QStringLiteral(" raw=+14"))) << notes.toStdString();
    EXPECT_LE(notes.size(), 161);
    EXPECT_TRUE(notes.endsWith(QStringLiteral("…")));
    EXPECT_GT(model.index(1, FrameListModel::Notes).data(Qt::ToolTipRole).toString().size(),
              notes.size());
}

// Frames of one inferred coding selected together: the line under the list names the bits that
// differ; frames of different codings are said to differ in structure. A plain click still
// chooses its row alone.
TEST(FrameList, TheLineUnderTheListNamesTheBitsThatDifferBetweenTheSelectedFrames) {
    const auto frame = [](infrared::IrScheme scheme, const char* bits) {
        infrared::IrFrame f;
        f.protocol = infrared::IrProtocol::Unknown;
        f.keyKnown = false;
        f.analysis = {scheme, 9000, 4500, 560, 560, 560, 1690, 560, {}, 0};
        for (const char* c = bits; *c != 0; ++c) {
            f.analysis.bits.push_back(*c == '1');
        }
        return f;
    };
    using infrared::IrScheme;
    CaptureStore store;
    NavigatorPanel panel(store.buffers());
    panel.show();
    panel.showFrames(
        {frame(IrScheme::PulseDistance, "1010000011"), frame(IrScheme::PulseDistance, "1011110010"),
         frame(IrScheme::PulseWidth, "1010000011"), frame(IrScheme::PulseDistance, "1010000011")});
    QTableView* table = panel.frameTable();
    QSignalSpy chosen(&panel, &NavigatorPanel::frameChosen);
    const auto click = [&](int row, Qt::KeyboardModifiers keys) {
        QTest::mouseClick(table->viewport(), Qt::LeftButton, keys,
                          table->visualRect(panel.frames()->index(row, 1)).center());
    };
    const struct {
        int row;
        Qt::KeyboardModifiers keys;
        const char* text;
    } steps[] = {
        {0, {}, ""},
        {1, Qt::ControlModifier, "第 4–6、10 位不同"},
        {3, Qt::ControlModifier, "第 4–6、10 位不同"},
        {2, Qt::ControlModifier, "所选帧结构不同"},
        {3, {}, ""},
        {0, Qt::ShiftModifier, "所选帧结构不同"},
        {0, {}, ""},
        {3, Qt::ControlModifier, "所选帧各位相同"},
    };
    for (const auto& step : steps) {
        click(step.row, step.keys);
        EXPECT_EQ(panel.bitsLabel()->text().toStdString(), step.text) << step.row;
        EXPECT_EQ(chosen.takeLast().at(0).toInt(), step.row);
    }
    EXPECT_EQ(table->selectionModel()->selectedRows().size(), 2);
    const std::vector<infrared::IrFrame>& all = panel.frames()->frames();
    EXPECT_EQ(infrared::differingBits(all), "structures differ");
    EXPECT_EQ(infrared::differingBits({all[0], all[1], all[3]}).toStdString(),
              "bits 4–6, 10 differ");

    // Bursts no coding is inferred for: the same marks and spaces (as measured, a little off)
    // agree, others differ in structure.
    const auto burst = [](std::vector<int32_t> durations) {
        infrared::IrFrame f;
        f.protocol = infrared::IrProtocol::Unknown;
        f.keyKnown = false;
        f.durationsUs = std::move(durations);
        return f;
    };
    const struct {
        std::vector<infrared::IrFrame> frames;
        const char* text;
    } bursts[] = {
        {{burst({3000, -1000, 500}), burst({3000, -1000, 500})}, ""},
        {{burst({3000, -1000, 500}), burst({3040, -980, 520}), burst({2990, -1010, 500})}, ""},
        {{burst({3000, -1000, 500}), burst({3000, -1000})}, "所选帧结构不同"},
        {{burst({3000, -1000, 500}), burst({3000, -3000, 500})}, "所选帧结构不同"},
        {{burst({3000, -1000, 500}), all[0]}, "所选帧结构不同"},
    };
    for (const auto& b : bursts) {
        EXPECT_EQ(infrared::differingBitsText(b.frames).toStdString(), b.text) << b.frames.size();
    }
}
