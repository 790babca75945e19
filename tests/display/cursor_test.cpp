#include <QApplication>
#include <QDir>
#include <QMouseEvent>
#include <QTest>
#include <gtest/gtest.h>

#include "support/case_name.h"

#include <memory>

#include "app/form1.h"
#include "app/vb_label.h"
#include "display/line_control.h"
#include "display/measure.h"
#include "display/picture_box.h"
#include "display/time_text.h"
#include "display/vb_scroll_bar.h"
#include "recording_surface.h"

using namespace velmoran;
using velmoran::test::PrintedText;
using velmoran::test::RecordingSurface;
using velmoran::test::Segment;

namespace {

constexpr float kSamplePeriod = 40.1474f;
constexpr QRgb kWordColour = qRgb(255, 96, 96);

struct TimeCase {
    const char* name;
    float x;
    int16_t bitWidth;
    int32_t viewStart;
    const char* text;
};

class CursorReadout : public ::testing::TestWithParam<TimeCase> {};

TEST_P(CursorReadout, GivesTheAbsoluteTimeUnderThePointer) {
    const TimeCase& c = GetParam();
    EXPECT_EQ(millisecondsText(cursorTime(c.x, c.bitWidth, c.viewStart, kSamplePeriod)),
              QString::fromUtf8(c.text));
}

INSTANTIATE_TEST_SUITE_P(
    Positions, CursorReadout,
    ::testing::Values(TimeCase{"left_edge_at_view_0", 0, 10, 0, " 0ms"},
                      TimeCase{"left_edge_at_view_100_matches_the_row_label", 0, 10, 100,
                               " 64.236ms"},
                      TimeCase{"fraction_of_a_sample_counts", 15, 10, 0, " 0.06ms"},
                      TimeCase{"depends_on_the_zoom", 1500, 5, 0, " 12.044ms"},
                      TimeCase{"far_right_at_the_last_view", 10215, 2, 31105, " 20185.611ms"}),
    velmoran::test::CaseName());

struct IntervalCase {
    const char* name;
    float x1, x2;
    int16_t bitWidth;
    const char* text;
};

class MeasuredInterval : public ::testing::TestWithParam<IntervalCase> {};

TEST_P(MeasuredInterval, IsSecondClickMinusFirstInSinglePrecision) {
    const IntervalCase& c = GetParam();
    EXPECT_EQ(millisecondsText(measuredInterval(c.x1, c.x2, c.bitWidth, kSamplePeriod)),
              QString::fromUtf8(c.text));
}

INSTANTIATE_TEST_SUITE_P(
    Clicks, MeasuredInterval,
    ::testing::Values(IntervalCase{"150_samples_right", 1000, 2500, 10, " 6.022ms"},
                      IntervalCase{"150_samples_left", 2500, 1000, 10, "-6.022ms"},
                      IntervalCase{"same_place", 1234, 1234, 10, " 0ms"},
                      IntervalCase{"wider_zoom_halves_it", 1000, 2500, 20, " 3.011ms"},
                      IntervalCase{"whole_surface_at_width_2", 0, 10215, 2, " 205.053ms"}),
    velmoran::test::CaseName());

TEST(MeasureArrow, HeadsOpenOutwardsFromTheFirstToTheSecondClick) {
    RecordingSurface surface;
    drawArrow(surface, 1000, 2500, 1500);
    const QRgb a = kArrowColour;
    EXPECT_EQ(surface.segments, (std::vector<Segment>{{1000, 1500, 2500, 1500, a},
                                                      {1000, 1500, 1200, 1400, a},
                                                      {1000, 1500, 1200, 1600, a},
                                                      {2500, 1500, 2300, 1600, a},
                                                      {2500, 1500, 2300, 1400, a}}));
}

// The real window, shown, driven by mouse events on Picture1. Positions are whole logical
// pixels of Picture1's client area; at 15 twips per pixel, 67 px is 1005 twips.
class CursorOnWindow : public ::testing::Test {
protected:
    void SetUp() override {
        form_ = std::make_unique<Form1>([](int) { return QString(); });
        form_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
        form_->Picture1->setMirror(&mirror_);
    }
    void TearDown() override { form_->Picture1->setMirror(nullptr); }

    QPoint at(int px, int py) const {
        return form_->Picture1->contentsRect().topLeft() + QPoint(px, py);
    }
    void click(int px, int py, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseClick(form_->Picture1, button, {}, at(px, py));
    }
    // A pointer move over Picture1, delivered to the widget like QTest delivers clicks
    // (QTest::mouseMove moves the platform cursor instead, which the offscreen platform
    // rounds to another pixel on scaled screens and drops when the position is unchanged).
    void move(int px, int py) {
        const QPoint pos = at(px, py);
        QMouseEvent event(QEvent::MouseMove, pos, form_->Picture1->mapToGlobal(pos), Qt::NoButton,
                          Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(form_->Picture1, &event);
    }
    // The drawing's device pixel under a logical client pixel.
    QRgb pixelAt(int px, int py) const {
        const double dpr = form_->Picture1->imageDevicePixelRatio();
        return form_->Picture1->image().pixel(qRound(px * dpr), qRound(py * dpr));
    }

    std::vector<Segment> measurement(float x1, float x2, float y) const {
        const QRgb m = kMarkerColour;
        const QRgb a = kArrowColour;
        return {{x2, 0, x2, 5175, m},          {x1, y, x2, y, a},
                {x1, y, x1 + 200, y - 100, a}, {x1, y, x1 + 200, y + 100, a},
                {x2, y, x2 - 200, y + 100, a}, {x2, y, x2 - 200, y - 100, a}};
    }

    std::unique_ptr<Form1> form_;
    RecordingSurface mirror_;
};

TEST_F(CursorOnWindow, TwoClicksDrawMarkersAnArrowAndTheInterval) {
    click(67, 100);  // 1005, 1500 twips
    click(167, 100); // 2505
    std::vector<Segment> expected{{1005, 0, 1005, 5175, kMarkerColour}};
    const std::vector<Segment> second = measurement(1005, 2505, 1500);
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(mirror_.segments, expected);
    EXPECT_EQ(mirror_.texts,
              (std::vector<PrintedText>{{1755, 1500, QStringLiteral(" 6.022ms"), kWordColour}}));
    EXPECT_EQ(form_->MeasurePending, 0);
    // The drawing itself, where the pixels of the pointer are.
    EXPECT_EQ(pixelAt(67, 10), kMarkerColour);
    EXPECT_EQ(pixelAt(167, 10), kMarkerColour);
    EXPECT_EQ(pixelAt(117, 100), kArrowColour);
}

TEST_F(CursorOnWindow, ReverseOrderPrintsANegativeIntervalWithHeadsInwards) {
    click(167, 100);
    click(67, 100);
    const std::vector<Segment> second = measurement(2505, 1005, 1500);
    ASSERT_EQ(mirror_.segments.size(), 7u);
    EXPECT_EQ(std::vector<Segment>(mirror_.segments.begin() + 1, mirror_.segments.end()), second);
    ASSERT_EQ(mirror_.texts.size(), 1u);
    EXPECT_EQ(mirror_.texts[0].text, "-6.022ms");
    EXPECT_EQ(mirror_.texts[0].x, 1755);
}

TEST_F(CursorOnWindow, TwoClicksAtTheSamePlaceMeasureZero) {
    click(80, 50);
    click(80, 50);
    ASSERT_EQ(mirror_.texts.size(), 1u);
    EXPECT_EQ(mirror_.texts[0], (PrintedText{1200, 750, QStringLiteral(" 0ms"), kWordColour}));
}

struct ButtonCase {
    const char* name;
    Qt::MouseButton first, second;
};

class MeasureButtons : public CursorOnWindow, public ::testing::WithParamInterface<ButtonCase> {};

TEST_P(MeasureButtons, EveryButtonCountsAsAClick) {
    click(67, 100, GetParam().first);
    EXPECT_EQ(form_->MeasurePending, -1);
    click(167, 100, GetParam().second);
    EXPECT_EQ(form_->MeasurePending, 0);
    ASSERT_EQ(mirror_.texts.size(), 1u);
    EXPECT_EQ(mirror_.texts[0].text, " 6.022ms");
}

INSTANTIATE_TEST_SUITE_P(
    Buttons, MeasureButtons,
    ::testing::Values(ButtonCase{"right_then_left", Qt::RightButton, Qt::LeftButton},
                      ButtonCase{"middle_then_right", Qt::MiddleButton, Qt::RightButton},
                      ButtonCase{"left_then_middle", Qt::LeftButton, Qt::MiddleButton}),
    velmoran::test::CaseName());

TEST_F(CursorOnWindow, AThirdClickStartsANewMeasurementOverTheOldOne) {
    click(67, 100);
    click(167, 100);
    click(300, 200);
    EXPECT_EQ(form_->MeasurePending, -1);
    EXPECT_EQ(form_->MeasureStartX, 4500.0f);
    ASSERT_EQ(mirror_.segments.size(), 8u);
    EXPECT_EQ(mirror_.segments.back(), (Segment{4500, 0, 4500, 5175, kMarkerColour}));
    EXPECT_EQ(mirror_.clears, 0);
    EXPECT_EQ(pixelAt(67, 10), kMarkerColour); // the old drawing stays
    EXPECT_EQ(pixelAt(300, 10), kMarkerColour);
}

TEST_F(CursorOnWindow, ARedrawBetweenTheClicksKeepsTheStoredStart) {
    click(67, 100);
    ASSERT_EQ(pixelAt(67, 10), kMarkerColour);
    form_->Command5_Click(); // zoom in to 20: the rows are redrawn, the marker erased
    EXPECT_EQ(mirror_.clears, 1);
    EXPECT_NE(pixelAt(67, 10), kMarkerColour);
    EXPECT_EQ(form_->MeasurePending, -1);
    click(167, 100);
    ASSERT_FALSE(mirror_.texts.empty());
    EXPECT_EQ(mirror_.texts.back(),
              (PrintedText{1755, 1500, QStringLiteral(" 3.011ms"), kWordColour}));
}

TEST_F(CursorOnWindow, TheIntervalDoesNotDependOnTheScrollPosition) {
    form_->HScroll1->setValue(5000);
    click(67, 100);
    click(167, 100);
    ASSERT_FALSE(mirror_.texts.empty());
    EXPECT_EQ(mirror_.texts.back().text, " 6.022ms");
}

struct MoveCase {
    const char* name;
    int px, py;
    int viewStart;
    const char* readout;
};

class LiveCursor : public CursorOnWindow, public ::testing::WithParamInterface<MoveCase> {};

TEST_P(LiveCursor, FollowsThePointerWithItsTime) {
    const MoveCase& c = GetParam();
    form_->HScroll1->setValue(c.viewStart);
    mirror_.Cls();
    move(c.px, c.py);
    const float x = c.px * 15.0f;
    EXPECT_EQ(form_->Line1->X1(), x);
    EXPECT_EQ(form_->Line1->X2(), x);
    EXPECT_EQ(form_->Line1->Y1(), 0);
    EXPECT_EQ(form_->Line1->Y2(), 5175);
    EXPECT_EQ(form_->Line1->BorderColor(), qRgb(0, 255, 0));
    EXPECT_EQ(form_->Label3->Caption(), QString::fromUtf8(c.readout));
    // 500 twips (33 px, rounded from 33.3) below the pointer, in the client area.
    EXPECT_EQ(form_->Label3->pos(), at(c.px, c.py + 33));
    EXPECT_EQ(form_->Label3->size(), form_->Label3->sizeHint());
    EXPECT_TRUE(mirror_.segments.empty()); // moving draws nothing
}

INSTANTIATE_TEST_SUITE_P(
    Pointer, LiveCursor,
    ::testing::Values(MoveCase{"left_edge_at_view_0", 0, 40, 0, " 0ms"},
                      MoveCase{"left_edge_at_view_100", 0, 40, 100, " 64.236ms"},
                      MoveCase{"hundred_samples_in", 67, 120, 0, " 4.035ms"},
                      MoveCase{"hundred_samples_in_at_view_100", 67, 120, 100, " 68.271ms"}),
    velmoran::test::CaseName());

TEST_F(CursorOnWindow, TheCursorLineCoversTheColumnOfTheMarkerBelowIt) {
    // A position between two logical pixels: on a scaled screen it is a device pixel of its own.
    const QPointF pos = QPointF(form_->Picture1->contentsRect().topLeft()) + QPointF(67.5, 10.5);
    const QPointF global = form_->Picture1->mapToGlobal(pos);
    QMouseEvent press(QEvent::MouseButtonPress, pos, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(form_->Picture1, &press);
    QMouseEvent moved(QEvent::MouseMove, pos, global, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(form_->Picture1, &moved);
    ASSERT_EQ(form_->MeasureStartX, 1012.5f);
    ASSERT_EQ(form_->Line1->X1(), 1012.5f);

    const double dpr = form_->Picture1->imageDevicePixelRatio();
    const QImage& drawing = form_->Picture1->image();
    const int row = qRound(200 * dpr);
    int marker = -1;
    for (int x = 0; x < drawing.width(); ++x) {
        if (drawing.pixel(x, row) == kMarkerColour) {
            ASSERT_EQ(marker, -1) << "one marker column only";
            marker = x;
        }
    }
    ASSERT_GE(marker, 0);
    // The window as the screen shows it: the cursor line hides the marker exactly.
    const QImage shown = form_->Picture1->grab().toImage();
    const QPoint origin = form_->Picture1->contentsRect().topLeft() * dpr;
    for (int x = marker - 2; x <= marker + 2; ++x) {
        const QRgb seen = shown.pixel(origin.x() + x, origin.y() + row);
        EXPECT_EQ(seen == qRgb(0, 255, 0), x == marker) << "device column " << x;
        EXPECT_NE(seen, kMarkerColour) << "device column " << x;
    }
}

TEST_F(CursorOnWindow, ScreenshotWithAMeasurement) {
    for (size_t i = 0; i < form_->ChannelData1.size(); ++i) {
        form_->ChannelData1[i] = (i / 6) % 2 ? 0xFF : 0x00;
        form_->ChannelData2[i] = static_cast<uint8_t>(0xF0 >> (i % 5));
        form_->ChannelData3[i] = (i % 9 == 0) ? 0x3C : 0x00;
    }
    form_->redrawRows(0);
    move(96, 30);
    click(96, 30);
    click(288, 30);
    move(400, 150);
    const QString dir = QStringLiteral(VELMORAN_SCREENSHOT_DIR);
    ASSERT_TRUE(QDir().mkpath(dir));
    const QString suffix = form_->devicePixelRatioF() > 1 ? QStringLiteral("_hidpi") : QString();
    const QImage shot = form_->grab().toImage();
    ASSERT_TRUE(shot.save(dir + "/display_measurement" + suffix + ".png"));
    EXPECT_EQ(mirror_.texts.back().text, " 11.562ms"); // 2880 twips: 288 samples at 10
}

} // namespace
