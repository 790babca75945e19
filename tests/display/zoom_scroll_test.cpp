#include <QPushButton>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <gtest/gtest.h>

#include "support/case_name.h"

#include <memory>
#include <random>
#include <vector>

#include "app/form1.h"
#include "display/picture_box.h"
#include "display/scroll_math.h"
#include "display/square_wave.h"
#include "display/vb_scroll_bar.h"
#include "recording_surface.h"

using namespace velmoran;
using velmoran::test::RecordingSurface;

namespace {

Form1* newForm() {
    return new Form1([](int) { return QString(); });
}

struct ReachCase {
    const char* name;
    int16_t bitWidth;
    int max;
    int lastByte; // the last byte shown with the scroll bar at its maximum
};

class ScrollReach : public ::testing::TestWithParam<ReachCase> {};

TEST_P(ScrollReach, MaximumKeepsEveryByteReadInsideTheBuffer) {
    const ReachCase& c = GetParam();
    EXPECT_EQ(scrollMaximum(10215.0f, c.bitWidth), c.max);

    // A buffer of exactly 63,489 bytes on the heap: a read past it trips the address sanitizer.
    auto buffer = std::make_unique<ChannelBuffer>();
    std::mt19937 rng(static_cast<unsigned>(c.bitWidth));
    for (uint8_t& b : *buffer) {
        b = static_cast<uint8_t>(rng());
    }
    RecordingSurface surface;
    const int32_t start = 2 * c.max;
    Draw_Square_Wave(surface, *buffer, 40.1474f, start, 900, c.bitWidth);
    // The chain ends at the right edge of the last byte read: every byte up to it was drawn.
    const float end = surface.inColour(kWaveColour).back().x2;
    EXPECT_EQ(end, 8.0f * (c.lastByte - start + 1) * c.bitWidth);
    EXPECT_LE(c.lastByte, 63486);
}

INSTANTIATE_TEST_SUITE_P(
    ReachableZooms, ScrollReach,
    ::testing::Values(
        ReachCase{"w2", 2, 31105, 62848}, ReachCase{"w4", 4, 31424, 63167},
        ReachCase{"w5", 5, 31488, 63231}, ReachCase{"w8", 8, 31583, 63325},
        ReachCase{"w10", 10, 31615, 63357}, ReachCase{"w16", 16, 31663, 63405},
        ReachCase{"w20", 20, 31679, 63421}, ReachCase{"w32", 32, 31703, 63445},
        ReachCase{"w40", 40, 31711, 63453}, ReachCase{"w64", 64, 31723, 63466},
        ReachCase{"w80", 80, 31727, 63470}, ReachCase{"w128", 128, 31733, 63476},
        ReachCase{"w160", 160, 31735, 63478}, ReachCase{"w256", 256, 31738, 63481},
        ReachCase{"w320", 320, 31739, 63482}, ReachCase{"w512", 512, 31741, 63484},
        ReachCase{"w640", 640, 31741, 63484}, ReachCase{"w1024", 1024, 31742, 63485},
        ReachCase{"w1280", 1280, 31742, 63485}, ReachCase{"w2048", 2048, 31742, 63484},
        ReachCase{"w2560", 2560, 31743, 63486}, ReachCase{"w4096", 4096, 31743, 63486},
        ReachCase{"w5120", 5120, 31743, 63486}, ReachCase{"w8192", 8192, 31743, 63486},
        ReachCase{"w10240", 10240, 31743, 63486}, ReachCase{"w16384", 16384, 31743, 63486},
        ReachCase{"w20480", 20480, 31743, 63486}),
    velmoran::test::CaseName());

struct LadderCase {
    const char* name;
    std::vector<char> presses; // '+' zoom in, '-' zoom out, from the start-up zoom of 10
    std::vector<int> widths;   // BitWidth after each press
};

class ZoomLadder : public ::testing::TestWithParam<LadderCase> {};

TEST_P(ZoomLadder, DoublesAndHalvesWithinTwoAnd20480) {
    const LadderCase& c = GetParam();
    std::unique_ptr<Form1> form(newForm());
    ASSERT_EQ(c.presses.size(), c.widths.size());
    for (size_t i = 0; i < c.presses.size(); ++i) {
        QTest::mouseClick(c.presses[i] == '+' ? form->Command5 : form->Command6, Qt::LeftButton);
        EXPECT_EQ(form->BitWidth, c.widths[i]) << "after press " << i + 1;
        EXPECT_EQ(form->HScroll1->Max(), scrollMaximum(form->Picture1->Width(), form->BitWidth));
    }
}

std::vector<char> times(char press, size_t n) {
    return std::vector<char>(n, press);
}

std::vector<char> concat(std::vector<char> a, const std::vector<char>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

INSTANTIATE_TEST_SUITE_P(
    Presses, ZoomLadder,
    ::testing::Values(
        LadderCase{"in_from_10_stops_at_20480",
                   times('+', 12),
                   {20, 40, 80, 160, 320, 640, 1280, 2560, 5120, 10240, 20480, 20480}},
        LadderCase{"out_from_10_stops_at_2", times('-', 3), {5, 2, 2}},
        LadderCase{"in_from_2_goes_through_powers_of_two",
                   concat(times('-', 2), times('+', 14)),
                   {5, 2, 4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048, 4096, 8192, 16384, 20480}},
        LadderCase{"out_from_20480_comes_back_through_5",
                   concat(times('+', 11), times('-', 13)),
                   {20,   40,   80,   160, 320, 640, 1280, 2560, 5120, 10240, 20480, 10240,
                    5120, 2560, 1280, 640, 320, 160, 80,   40,   20,   10,    5,     2}}),
    velmoran::test::CaseName());

// The start byte of the drawing on Picture1, read back from the label of row 1.
QString labelOfRow1(const RecordingSurface& mirror) {
    return mirror.texts.empty() ? QString() : mirror.texts.front().text;
}

TEST(Zoom, OutAtTheMaximumOfWidth5PullsTheViewBackTo31105) {
    std::unique_ptr<Form1> form(newForm());
    QTest::mouseClick(form->Command6, Qt::LeftButton);
    ASSERT_EQ(form->BitWidth, 5);
    ASSERT_EQ(form->HScroll1->Max(), 31488);
    form->HScroll1->setValue(31488);
    ASSERT_EQ(form->ViewStart, 31488);

    RecordingSurface mirror;
    form->Picture1->setMirror(&mirror);
    QSignalSpy changes(form->HScroll1, &VbScrollBar::Change);
    QTest::mouseClick(form->Command6, Qt::LeftButton);
    form->Picture1->setMirror(nullptr);

    EXPECT_EQ(form->BitWidth, 2);
    EXPECT_EQ(form->HScroll1->Value(), 31105);
    EXPECT_EQ(form->ViewStart, 31105);
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(mirror.clears, 2); // the change handler's redraw, then the zoom step's own
    EXPECT_EQ(labelOfRow1(mirror), " 19980.558ms"); // byte 62210
}

TEST(Zoom, KeepsThePositionWhenTheMaximumDoesNotFall) {
    std::unique_ptr<Form1> form(newForm());
    form->HScroll1->setValue(1000);
    QSignalSpy changes(form->HScroll1, &VbScrollBar::Change);
    RecordingSurface mirror;
    form->Picture1->setMirror(&mirror);
    QTest::mouseClick(form->Command5, Qt::LeftButton);
    form->Picture1->setMirror(nullptr);
    EXPECT_EQ(changes.count(), 0);
    EXPECT_EQ(mirror.clears, 1);
    EXPECT_EQ(form->ViewStart, 1000);
    EXPECT_EQ(labelOfRow1(mirror), " 642.358ms"); // byte 2000
}

TEST(Scroll, AtTheMaximumOfWidth10TheChartStartsAtByte63230) {
    std::unique_ptr<Form1> form(newForm());
    RecordingSurface mirror;
    form->Picture1->setMirror(&mirror);
    form->HScroll1->setValue(form->HScroll1->Max());
    form->Picture1->setMirror(nullptr);
    EXPECT_EQ(form->ViewStart, 31615);
    EXPECT_EQ(labelOfRow1(mirror), " 20308.161ms");
    ASSERT_EQ(mirror.texts.size(), 3u);
}

// Where to press on the scroll bar for one of its parts.
QPoint centreOf(VbScrollBar* bar, QStyle::SubControl part) {
    QStyleOptionSlider opt;
    opt.initFrom(bar);
    opt.subControls = QStyle::SC_All;
    opt.orientation = bar->orientation();
    opt.minimum = bar->minimum();
    opt.maximum = bar->maximum();
    opt.sliderPosition = bar->sliderPosition();
    opt.sliderValue = bar->value();
    opt.singleStep = bar->singleStep();
    opt.pageStep = bar->pageStep();
    return bar->style()->subControlRect(QStyle::CC_ScrollBar, &opt, part, bar).center();
}

struct ClickCase {
    const char* name;
    QStyle::SubControl part;
    int value;
    const char* label; // left-edge time of the rows afterwards
};

class ScrollClick : public ::testing::TestWithParam<ClickCase> {};

TEST_P(ScrollClick, MovesOnceAndRedrawsOnce) {
    const ClickCase& c = GetParam();
    std::unique_ptr<Form1> form(newForm());
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    QSignalSpy changes(form->HScroll1, &VbScrollBar::Change);
    RecordingSurface mirror;
    form->Picture1->setMirror(&mirror);
    QTest::mouseClick(form->HScroll1, Qt::LeftButton, {}, centreOf(form->HScroll1, c.part));
    form->Picture1->setMirror(nullptr);
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(form->HScroll1->Value(), c.value);
    EXPECT_EQ(form->ViewStart, c.value);
    EXPECT_EQ(mirror.clears, 1);
    EXPECT_EQ(labelOfRow1(mirror), QString::fromUtf8(c.label));
}

INSTANTIATE_TEST_SUITE_P(
    Parts, ScrollClick,
    ::testing::Values(ClickCase{"arrow_moves_4_bytes", QStyle::SC_ScrollBarAddLine, 2, " 1.285ms"},
                      ClickCase{"track_moves_200_bytes", QStyle::SC_ScrollBarAddPage, 100,
                                " 64.236ms"}),
    velmoran::test::CaseName());

TEST(Scroll, DraggingTheThumbRedrawsOnlyWhenItIsReleased) {
    std::unique_ptr<Form1> form(newForm());
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    QSignalSpy changes(form->HScroll1, &VbScrollBar::Change);
    RecordingSurface mirror;
    form->Picture1->setMirror(&mirror);
    const QPoint thumb = centreOf(form->HScroll1, QStyle::SC_ScrollBarSlider);
    QTest::mousePress(form->HScroll1, Qt::LeftButton, {}, thumb);
    for (int dx = 20; dx <= 200; dx += 20) {
        QTest::mouseMove(form->HScroll1, thumb + QPoint(dx, 0));
    }
    EXPECT_EQ(changes.count(), 0);
    EXPECT_EQ(mirror.clears, 0);
    EXPECT_EQ(form->ViewStart, 0);
    QTest::mouseRelease(form->HScroll1, Qt::LeftButton, {}, thumb + QPoint(200, 0));
    form->Picture1->setMirror(nullptr);
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(mirror.clears, 1);
    EXPECT_GT(form->HScroll1->Value(), 0);
    EXPECT_EQ(form->ViewStart, form->HScroll1->Value());
}

} // namespace
