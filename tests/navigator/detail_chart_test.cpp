// The detail chart: its arithmetic against brute force (columns, time axis, zoom), its drawing
// against Picture1's at the same scale, every bit of every family at its cell on both charts
// (the generator's truth), and what a user does with it.

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <tuple>

#include "app/form1.h"
#include "display/frame_marks.h"
#include "display/picture_box.h"
#include "display/square_wave.h"
#include "infrared/frame_cells.h"
#include "infrared/ir_encoder.h"
#include "navigator/chart_geometry.h"
#include "navigator/detail_chart.h"
#include "navigator/frame_list.h"
#include "navigator/navigator_panel.h"
#include "tools/emulator/board_stream.h"
#include "tools/irgen/ir_generator.h"

using namespace velmoran;
using namespace velmoran::navigator;

namespace {

constexpr uint32_t kSeed = 7;

ChannelBuffer emulatorCapture() {
    ChannelBuffer b{};
    const std::vector<uint8_t> bytes = emulator::streamCapture(kSeed, 0);
    std::copy(bytes.begin(), bytes.end(), b.begin());
    return b;
}

// Which levels column [a, b) shows, sample by sample: the level just before the column (an
// edge on its left boundary belongs to it) and every sample it overlaps.
uint8_t bruteColumn(const ChannelBuffer& buffer, double a, double b) {
    const auto level = [&](int64_t s) {
        s = std::clamp<int64_t>(s, 0, kCaptureSamples - 1);
        return sampleAt(buffer, static_cast<int>(s));
    };
    std::set<bool> seen;
    if (std::ceil(a) == a && a > 0) {
        seen = {level(static_cast<int64_t>(a) - 1)};
    } else {
        seen = {level(static_cast<int64_t>(std::floor(a)))};
    }
    for (auto s = static_cast<int64_t>(std::ceil(a)); static_cast<double>(s) < b; ++s) {
        seen.insert(level(s));
    }
    if (seen.size() == 2) {
        return kLevelBoth;
    }
    return *seen.begin() ? kLevelHigh : kLevelLow;
}

TEST(ChartGeometry, ColumnsHoldTheLevelsOfTheirSamplesAtEveryZoom) {
    const ChannelBuffer buffer = emulatorCapture();
    const ChannelLevels line = channelLevels(buffer);
    ASSERT_GT(line.edges.size(), 100u);
    struct Case {
        const char* name;
        double first;
        double samplesPerPixel;
        int width;
    };
    const Case cases[] = {
        {"whole capture at 1920", 0, static_cast<double>(kCaptureSamples) / 1920, 1920},
        {"Picture1's default zoom", line.edges[3] - 200.0, 1.5, 681},
        {"fractional start, 3.7 per pixel", line.edges[10] - 100.3, 3.7, 500},
        {"single samples, 8 pixels each", line.edges[20] - 40.0, 0.125, 800},
        {"edge on a column boundary", static_cast<double>(line.edges[30]), 2, 300},
        {"past the capture's end", kCaptureSamples - 100.0, 1, 300},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ChartView view{c.first, c.samplesPerPixel};
        const std::vector<uint8_t> columns = chartColumns(line, view, c.width);
        ASSERT_EQ(columns.size(), static_cast<std::size_t>(c.width));
        int both = 0;
        for (int x = 0; x < c.width; ++x) {
            const double a = view.sampleAt(x);
            const uint8_t expected = a >= static_cast<double>(kCaptureSamples)
                                         ? uint8_t{kColumnNone}
                                         : bruteColumn(buffer, a, view.sampleAt(x + 1));
            ASSERT_EQ(columns[static_cast<std::size_t>(x)], expected) << "column " << x;
            both += expected == kLevelBoth ? 1 : 0;
        }
        if (c.first < static_cast<double>(line.edges.back())) {
            EXPECT_GT(both, 0);
        }
    }
}

TEST(ChartGeometry, AxisLabelsNeverOverlapAndTellTheirTicksTime) {
    const auto width7 = [](const QString& s) { return 7.0 * s.size(); };
    constexpr double kGap = 12;
    struct Case {
        const char* name;
        double first;
        double samplesPerPixel;
        int width;
        const char* unit;
    };
    const Case cases[] = {
        {"whole capture", 0, static_cast<double>(kCaptureSamples) / 1920, 1920, "s"},
        {"a frame", 12345.6, 2000.0 / 1600, 1600, "ms"},
        {"a few samples", 100.25, 1.0 / 32, 700, "ms"},
        {"a narrow chart", 1000, 50, 210, "s"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ChartView view{c.first, c.samplesPerPixel};
        const std::vector<AxisTick> ticks = axisTicks(view, c.width, width7, kGap);
        ASSERT_GE(ticks.size(), 2u);
        double lastRight = -1e9;
        int labelled = 0;
        for (const AxisTick& t : ticks) {
            EXPECT_GE(t.x, 0);
            EXPECT_LE(t.x, c.width);
            if (t.label.isEmpty()) {
                continue;
            }
            ++labelled;
            EXPECT_GE(t.labelLeft, lastRight + kGap) << t.label.toStdString();
            EXPECT_GE(t.labelLeft, 0);
            EXPECT_LE(t.labelLeft + t.labelWidth, c.width);
            lastRight = t.labelLeft + t.labelWidth;
            // The text is the tick's own time.
            const QStringList parts = t.label.split(QLatin1Char(' '));
            ASSERT_EQ(parts.size(), 2);
            EXPECT_EQ(parts[1], QString::fromUtf8(c.unit));
            const double perUnit = parts[1] == QLatin1String("s")    ? 1e6
                                   : parts[1] == QLatin1String("ms") ? 1e3
                                                                     : 1;
            const double us = view.sampleAt(t.x) * kSamplePeriodUsExact;
            EXPECT_NEAR(parts[0].toDouble() * perUnit, us, c.samplesPerPixel * 41 + 1e-6 * us);
        }
        EXPECT_GE(labelled, 2);
    }
    // Below a tenth of a millisecond the steps are written in microseconds.
    EXPECT_EQ(axisLabel(150, axisStep(50)), QStringLiteral("150 µs"));
    EXPECT_EQ(axisLabel(20000, axisStep(500)), QStringLiteral("20.0 ms"));
    EXPECT_EQ(axisLabel(1.5e6, axisStep(5e5)), QStringLiteral("1.5 s"));
}

TEST(ChartGeometry, ZoomKeepsTheSampleUnderThePointerWithinTheCapture) {
    const double total = static_cast<double>(kCaptureSamples);
    ChartView v = fitView(0, total, 1000, total, DetailChart::kFinestSamplesPerPixel);
    EXPECT_DOUBLE_EQ(v.samplesPerPixel * 1000, total);
    for (const double x : {0.0, 333.0, 999.0}) {
        const double under = v.sampleAt(x);
        const ChartView in = zoomView(v, 0.5, x, 1000, total, DetailChart::kFinestSamplesPerPixel);
        EXPECT_NEAR(in.sampleAt(x), under, 1e-6);
        EXPECT_DOUBLE_EQ(in.samplesPerPixel, v.samplesPerPixel / 2);
    }
    // Never beyond the finest or the whole capture, never before 0 or past the end.
    for (int i = 0; i < 40; ++i) {
        v = zoomView(v, 0.5, 900, 1000, total, DetailChart::kFinestSamplesPerPixel);
    }
    EXPECT_DOUBLE_EQ(v.samplesPerPixel, DetailChart::kFinestSamplesPerPixel);
    EXPECT_LE(v.firstSample + 1000 * v.samplesPerPixel, total);
    v = zoomView(v, 1e9, 0, 1000, total, DetailChart::kFinestSamplesPerPixel);
    EXPECT_EQ(v.firstSample, 0);
    EXPECT_DOUBLE_EQ(v.samplesPerPixel * 1000, total);
}

// NEC address 0x04, command 0x08: the bytes 04 FB 08 F7 as the protocol defines them.
TEST(BitValues, NarrowCellsShowMarksAndEveryByteInHex) {
    infrared::FrameCells cells;
    const uint32_t bits = 0x04u | (0xFBu << 8) | (0x08u << 16) | (0xF7u << 24);
    for (int i = 0; i < 32; ++i) {
        cells.bits.push_back({i * 28, (i + 1) * 28, ((bits >> i) & 1u) != 0});
    }
    EXPECT_EQ(bitsText(cells), QStringLiteral("00100000 11011111 00010000 11101111 (04 FB 08 F7)"));
    const std::vector<ByteSpan> bytes = byteSpans(cells);
    ASSERT_EQ(bytes.size(), 4u);
    EXPECT_EQ(bytes[3].start, 24 * 28);
    EXPECT_EQ(bytes[3].end, 32 * 28);
    EXPECT_EQ(bitValuesShown(cells, 0.3, 8), BitValues::Digits);
    EXPECT_EQ(bitValuesShown(cells, 0.25, 7.1), BitValues::Marks);
    // One narrower cell decides for the whole frame.
    cells.bits[5].end = cells.bits[5].start + 10;
    EXPECT_EQ(bitValuesShown(cells, 0.5, 8), BitValues::Marks);
    EXPECT_EQ(bitsText({}), QString());
}

// The truth of a generated frame: its cells where the encoder put them.
infrared::FrameCells truthCells(const irgen::SentFrame& sent) {
    infrared::IrFrame f = sent.frame;
    f.startSample = std::llround(sent.startUs / kSamplePeriodUsExact);
    if (f.durationsUs.empty()) {
        for (const double d : infrared::irFrameDurations(f)) {
            f.durationsUs.push_back(static_cast<int32_t>(std::lround(d)));
        }
    }
    return infrared::frameCells(f);
}

struct Checked {
    int frames = 0;
    int bits = 0;
};

// For each family and the analysed unknown remotes: every bit's digit sits inside the cell it
// was sent in, with the value sent, on Picture1's marks and on the detail chart; at Picture1's
// smallest zoom each bit is a mark at the height of its value.
TEST(BitValues, EveryBitSitsAtItsCellOnBothCharts) {
    std::vector<irgen::Family> families(std::begin(irgen::kFamilies), std::end(irgen::kFamilies));
    families.push_back(irgen::Family::UnknownPulseDistance48);
    families.push_back(irgen::Family::UnknownBiPhase14);
    DetailChart chart;
    chart.resize(1600, 600);
    chart.show();
    for (const irgen::Family family : families) {
        SCOPED_TRACE(irgen::familyName(family).toStdString());
        const irgen::Generated generated = irgen::generate(family, {});
        const ChannelBuffer buffer = irgen::renderChannel(generated);
        std::vector<infrared::IrFrame> frames =
            infrared::decodeInfrared(channelLevels(buffer), 2, infrared::IrUnknownBursts::Listed);
        chart.setLine(2, channelLevels(buffer));
        chart.setFrames(frames);
        Checked checked;
        for (const irgen::SentFrame& sent : generated.truth) {
            const infrared::FrameCells truth = truthCells(sent);
            if (truth.bits.empty() || checked.frames >= 3) {
                continue;
            }
            const auto found = std::find_if(frames.begin(), frames.end(), [&](const auto& f) {
                return std::abs(f.startSample - truth.bits.front().start) < 400 &&
                       f.startSample <= truth.bits.front().end;
            });
            ASSERT_NE(found, frames.end()) << sent.startUs;
            const auto index = static_cast<std::size_t>(found - frames.begin());
            ++checked.frames;

            // Picture1, wide cells: digits.
            constexpr int kWide = 60;
            const int64_t first = found->startSample - 50;
            const float y = kRowBaseline[1] + kFrameLineDrop;
            const FrameMarks wide = frameMarks({*found}, {}, first, kWide, 1e7f);
            // Picture1, its smallest zoom: marks.
            const FrameMarks narrow = frameMarks({*found}, {}, first, kMinBitWidth, 1e7f);
            // The detail chart with the frame fitted.
            chart.fitFrame(static_cast<int>(index));
            const auto& drawn = chart.drawnTexts();
            const int values = chart.markLine(2);
            for (const infrared::FrameCell& c : truth.bits) {
                const QString digit = c.value ? QStringLiteral("1") : QStringLiteral("0");
                const auto inCell = [&](double x, double unitsPerSample) {
                    return x > static_cast<double>(c.start - first) * unitsPerSample &&
                           x < static_cast<double>(c.end - first) * unitsPerSample;
                };
                const bool onPicture1 =
                    std::any_of(wide.texts.begin(), wide.texts.end(), [&](const MarkText& t) {
                        return t.text == digit && t.y > y && inCell(t.x + 15, kWide);
                    });
                EXPECT_TRUE(onPicture1) << "bit at " << c.start;
                const float markY = y + (c.value ? kFrameMarkOneDrop : kFrameMarkZeroDrop);
                const bool marked =
                    std::any_of(narrow.lines.begin(), narrow.lines.end(), [&](const MarkLine& l) {
                        return l.y1 == markY && l.y2 == markY &&
                               inCell((l.x1 + l.x2) / 2, kMinBitWidth);
                    });
                EXPECT_TRUE(marked) << "bit at " << c.start;
                const double cx0 = chart.xOfSample(static_cast<double>(c.start));
                const double cx1 = chart.xOfSample(static_cast<double>(c.end));
                const bool onChart =
                    std::any_of(drawn.begin(), drawn.end(), [&](const DetailChart::DrawnText& t) {
                        return t.text == digit && t.rect.top() > values &&
                               t.rect.center().x() > cx0 && t.rect.center().x() < cx1;
                    });
                EXPECT_TRUE(onChart) << "bit at " << c.start;
                ++checked.bits;
            }
        }
        EXPECT_GT(checked.frames, 0);
        EXPECT_GT(checked.bits, 10);
    }
}

// At Picture1's own scale the chart draws its edges in the same pixel columns.
TEST(DetailChartDrawing, EdgesFallInPicture1sColumnsAtTheSameScale) {
    Form1 form;
    form.ChannelData1 = emulatorCapture();
    form.show();
    const std::vector<int32_t> edges = channelLevels(form.ChannelData1).edges;
    const int32_t startByte = edges[5] / kSamplesPerByte / 2 * 2;
    form.redrawRows(startByte);
    const QImage picture = form.Picture1->image();
    ASSERT_EQ(form.BitWidth, kDefaultBitWidth);

    DetailChart chart;
    chart.resize(picture.width(), 400);
    chart.show();
    chart.setLine(1, channelLevels(form.ChannelData1));
    const double samplesPerPixel = static_cast<double>(kTwipsPerPixel) / kDefaultBitWidth;
    chart.showSpan(int64_t{startByte} * kSamplesPerByte, samplesPerPixel * picture.width());
    ASSERT_DOUBLE_EQ(chart.view().samplesPerPixel, samplesPerPixel);
    const QImage drawn = chart.chart();

    const auto strokes = [](const QImage& image, int y, QRgb colour) {
        std::vector<int> xs;
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) == colour) {
                xs.push_back(x);
            }
        }
        return xs;
    };
    const int pictureMid = (kRowBaseline[0] - kHighLevelRise / 2) / kTwipsPerPixel;
    const std::vector<int> expected = strokes(picture, pictureMid, kWaveColour);
    const std::vector<int> got =
        strokes(drawn, (chart.traceHigh(1) + chart.traceLow(1)) / 2, kWaveColour);
    ASSERT_GT(expected.size(), 5u);
    const auto near = [](const std::vector<int>& in, int x) {
        return std::any_of(in.begin(), in.end(), [x](int v) { return std::abs(v - x) <= 1; });
    };
    for (const int x : expected) {
        EXPECT_TRUE(near(got, x)) << "Picture1's edge at " << x;
    }
    for (const int x : got) {
        EXPECT_TRUE(near(expected, x)) << "the chart's edge at " << x;
    }
}

// A running capture hands the chart its frames again with a few new ones, and a new line for
// its channel: what the chart shows is what a chart given the same from the start shows, the
// chosen frame still chosen, a key name given on the way on its frame.
TEST(DetailChartDrawing, ACapturesNewBlocksDrawAsAWholeRedrawWould) {
    const ChannelBuffer captured = emulatorCapture();
    const ChannelBuffer nec = irgen::renderChannel(irgen::generate(irgen::Family::Nec, {}));
    irgen::Options glitched;
    glitched.glitchShare = 0.3;
    const ChannelBuffer unknown =
        irgen::renderChannel(irgen::generate(irgen::Family::UnknownPulseDistance112, glitched));
    const auto framesOf = [](const ChannelBuffer& buffer, int channel) {
        return infrared::decodeInfrared(channelLevels(buffer), channel,
                                        infrared::IrUnknownBursts::Listed);
    };
    const std::vector<infrared::IrFrame> others = [&] {
        std::vector<infrared::IrFrame> f = framesOf(nec, 2);
        const std::vector<infrared::IrFrame> third = framesOf(unknown, 3);
        f.insert(f.end(), third.begin(), third.end());
        return f;
    }();
    ASSERT_GT(others.size(), 20u);
    // Channel 1 after `bytes` bytes of the capture, the rest idle; the frames of all three.
    struct State {
        ChannelLevels line;
        std::vector<infrared::IrFrame> frames;
        std::vector<QString> names;
    };
    const auto stateAfter = [&](int bytes, const QString& name) {
        ChannelBuffer partial;
        partial.fill(0xFF);
        std::copy_n(captured.begin(), bytes, partial.begin());
        State state{channelLevels(partial), framesOf(partial, 1), {}};
        state.frames.insert(state.frames.end(), others.begin(), others.end());
        std::stable_sort(state.frames.begin(), state.frames.end(),
                         [](const infrared::IrFrame& a, const infrared::IrFrame& b) {
                             return a.startSample < b.startSample;
                         });
        state.names.assign(state.frames.size(), QString());
        const auto named = std::find_if(state.frames.begin(), state.frames.end(),
                                        [](const infrared::IrFrame& f) { return f.channel == 2; });
        state.names[static_cast<std::size_t>(named - state.frames.begin())] = name;
        return state;
    };
    const auto give = [](DetailChart& chart, const State& state) {
        chart.setLine(1, state.line);
        chart.setFrames(state.frames, state.names);
    };
    const auto texts = [](const DetailChart& chart) {
        std::vector<std::tuple<int, int, QString>> all;
        for (const DetailChart::DrawnText& t : chart.drawnTexts()) {
            all.emplace_back(qRound(t.rect.left()), qRound(t.rect.top()), t.text);
        }
        std::sort(all.begin(), all.end());
        return all;
    };

    const State start = stateAfter(0, QString());
    const auto named = std::find_if(start.frames.begin(), start.frames.end(),
                                    [](const infrared::IrFrame& f) { return f.channel == 2; });
    struct Step {
        const char* name;
        int bytes;
        const char* key;
    };
    const Step steps[] = {
        {"a third arrived", kCaptureBytes / 3, ""},
        {"a block more", kCaptureBytes / 3 + kBlockBytes, ""},
        {"two thirds, a key named in channel 2", 2 * kCaptureBytes / 3, "KEY_POWER"},
        {"two thirds again, nothing new", 2 * kCaptureBytes / 3, "KEY_POWER"},
        {"three blocks more", 2 * kCaptureBytes / 3 + 3 * kBlockBytes, "KEY_POWER"},
        {"half a block more", 2 * kCaptureBytes / 3 + 7 * kBlockBytes / 2, "KEY_POWER"},
        {"the whole capture, the name gone", kCaptureBytes, ""},
    };
    // The whole capture, and a few frames about the one named, chosen.
    const std::pair<double, double> spans[] = {
        {0.0, static_cast<double>(kCaptureSamples)},
        {static_cast<double>(named->startSample) - 2000, 20000},
    };
    for (const auto& [first, count] : spans) {
        SCOPED_TRACE(first);
        DetailChart live;
        live.resize(1600, 600);
        live.show();
        live.setLine(2, channelLevels(nec));
        live.setLine(3, channelLevels(unknown));
        give(live, start);
        live.showSpan(first, count);
        live.followFrame(static_cast<int>(named - start.frames.begin()));
        live.chart();
        for (const Step& step : steps) {
            SCOPED_TRACE(step.name);
            const State state = stateAfter(step.bytes, QString::fromLatin1(step.key));
            give(live, state);
            DetailChart whole;
            whole.resize(live.size());
            whole.show();
            whole.setLine(2, channelLevels(nec));
            whole.setLine(3, channelLevels(unknown));
            give(whole, state);
            ASSERT_GE(live.chosenFrame(), 0);
            EXPECT_EQ(live.frames()[static_cast<std::size_t>(live.chosenFrame())].startSample,
                      named->startSample);
            whole.showSpan(first, count);
            whole.followFrame(live.chosenFrame());
            ASSERT_EQ(whole.view().firstSample, live.view().firstSample);
            EXPECT_TRUE(live.chart() == whole.chart());
            EXPECT_EQ(texts(live), texts(whole));
            if (count < kCaptureSamples) {
                const bool keyShown = std::any_of(
                    live.drawnTexts().begin(), live.drawnTexts().end(),
                    [](const DetailChart::DrawnText& t) { return t.text.contains(u"KEY_POWER"); });
                EXPECT_EQ(keyShown, *step.key != 0);
            }
        }
    }
}

// What a user does: wheel about the pointer, drag, click a frame, follow the list, keys.
TEST(DetailChartUse, WheelDragClickAndKeysMoveTheView) {
    ChannelBuffer buffer = emulatorCapture();
    ChannelBuffer empty{};
    NavigatorPanel panel({&buffer, &empty, &empty});
    panel.resize(1200, 800);
    panel.show();
    ASSERT_GT(panel.showFrames(decodeChannels({&buffer, &empty, &empty})), 2);
    DetailChart* chart = panel.detailChart();
    QApplication::processEvents();
    ASSERT_GT(chart->width(), 500);
    EXPECT_DOUBLE_EQ(chart->view().samplesPerPixel * chart->width(),
                     static_cast<double>(kCaptureSamples));

    // The wheel zooms in about the pointer.
    const QPointF at(chart->width() / 3.0, chart->traceHigh(1));
    const double under = chart->view().sampleAt(at.x());
    QWheelEvent wheel(at, chart->mapToGlobal(at), {}, {0, 120}, Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(chart, &wheel);
    EXPECT_NEAR(chart->view().sampleAt(at.x()), under, 1e-6);
    EXPECT_NEAR(chart->view().samplesPerPixel * chart->width() * DetailChart::kZoomStep,
                static_cast<double>(kCaptureSamples), 1);

    // A drag pans by as many pixels.
    const double before = chart->view().firstSample;
    QTest::mousePress(chart, Qt::LeftButton, {}, QPoint(400, 40));
    QTest::mouseMove(chart, QPoint(300, 40));
    QTest::mouseRelease(chart, Qt::LeftButton, {}, QPoint(300, 40));
    EXPECT_NEAR(chart->view().firstSample, before + 100 * chart->view().samplesPerPixel, 1e-6);

    // Choosing a row brings its frame in; a click on another frame's marks chooses its row.
    panel.selectFrame(1);
    const infrared::IrFrame& second = chart->frames()[1];
    EXPECT_LE(chart->view().firstSample, static_cast<double>(second.startSample));
    EXPECT_EQ(chart->chosenFrame(), 1);
    chart->fitFrame(0);
    const infrared::IrFrame& firstFrame = chart->frames()[0];
    const double mid = static_cast<double>(firstFrame.startSample + firstFrame.endSample) / 2;
    QSignalSpy chosen(&panel, &NavigatorPanel::frameChosen);
    QTest::mouseClick(chart, Qt::LeftButton, {},
                      QPoint(static_cast<int>(chart->xOfSample(mid)), chart->markLine(1)));
    EXPECT_EQ(panel.currentFrame(), 0);
    EXPECT_EQ(chosen.size(), 1);

    // Keys: + zooms in, − out, → pans, A shows all.
    chart->setFocus();
    const double span = chart->view().samplesPerPixel;
    QTest::keyClick(chart, Qt::Key_Minus);
    EXPECT_NEAR(chart->view().samplesPerPixel, span * DetailChart::kZoomStep, 1e-9);
    QTest::keyClick(chart, Qt::Key_Plus);
    EXPECT_NEAR(chart->view().samplesPerPixel, span, 1e-9);
    const double left = chart->view().firstSample;
    QTest::keyClick(chart, Qt::Key_Right);
    EXPECT_GT(chart->view().firstSample, left);
    QTest::keyClick(chart, Qt::Key_A);
    EXPECT_EQ(chart->view().firstSample, 0);

    // Two clicks on the trace measure the time between them.
    QTest::mouseClick(chart, Qt::LeftButton, {}, QPoint(100, chart->traceHigh(2)));
    QTest::mouseClick(chart, Qt::LeftButton, {}, QPoint(200, chart->traceHigh(2)));
    auto* readout = panel.findChild<QLabel*>(QStringLiteral("ChartReadout"));
    ASSERT_NE(readout, nullptr);
    EXPECT_TRUE(readout->text().startsWith(QStringLiteral("Δt"))) << readout->text().toStdString();
    QDir().mkpath(QStringLiteral(VELMORAN_SCREENSHOT_DIR));
    chart->fitFrame(0);
    panel.grab().save(QStringLiteral(VELMORAN_SCREENSHOT_DIR "/detail-chart.png"));
}

} // namespace
