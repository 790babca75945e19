#include <gtest/gtest.h>

#include <ostream>

#include "support/case_name.h"

#include "acquisition/monitor.h"

using namespace velmoran;

namespace {

// An inner width of the progress frame, in pixels.
constexpr int kScaleWidth = 229;

struct TickCase {
    std::string name;
    friend void PrintTo(const TickCase& c, std::ostream* os) { *os << c.name; }
    int32_t recvCount;
    int16_t waiting;
    int32_t lastCount;
    int16_t ticksBefore;
    int16_t ticksAfter;
    int16_t barWidth;
    const char* percent;
    const char* rate;
};

class MonitorTick : public ::testing::TestWithParam<TickCase> {};

TEST_P(MonitorTick, ShowsRateProgressAndCountsTicks) {
    const TickCase& c = GetParam();
    EXPECT_EQ(countTick(c.ticksBefore, c.recvCount), c.ticksAfter);
    EXPECT_EQ(progressBarWidth(c.recvCount, kScaleWidth), c.barWidth);
    EXPECT_EQ(percentText(c.recvCount), QString::fromUtf8(c.percent));
    EXPECT_EQ(rateText(c.recvCount, c.waiting, c.lastCount), QString::fromUtf8(c.rate));
}

INSTANTIATE_TEST_SUITE_P(
    Table, MonitorTick,
    ::testing::Values(
        TickCase{"first_tick_before_any_block", 0, 100, 0, 0, 0, 1, "0%", "4000Bit/s"},
        TickCase{"board_not_sending", 0, 0, 0, 0, 0, 1, "0%", "0Bit/s"},
        TickCase{"one_block_stored_starts_the_clock", 1024, 30, 1000, 0, 1, 8, "1%", "2160Bit/s"},
        TickCase{"thirty_one_blocks_give_half", 31744, 0, 31121, 40, 41, 230, "50%", "24920Bit/s"},
        TickCase{"block_taken_between_ticks_adds_nothing", 2048, 100, 2148, 3, 4, 15, "3%",
                 "0Bit/s"},
        TickCase{"full_capture", 63488, 0, 63488, 101, 102, 459, "100%", "0Bit/s"},
        TickCase{"ticks_saturate_at_32767", 4096, 0, 4096, 32767, 32767, 30, "6%", "0Bit/s"},
        TickCase{"ticks_not_counted_before_a_block", 0, 512, 0, 7, 7, 1, "0%", "20480Bit/s"}),
    test::CaseName());

TEST(MonitorBar, CoversTheFrameTwiceOverAtTheEnd) {
    // The pen is centred on the frame's left edge: half of it lies inside.
    for (int width : {1, 100, 229, 1000}) {
        EXPECT_EQ(progressBarWidth(0, width), 1) << width;
        EXPECT_EQ(progressBarWidth(63488, width), 2 * width + 1) << width;
    }
}

} // namespace
