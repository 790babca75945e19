// When the serial control reads a line that sends 1,024-byte blocks: the delays before each read
// and the fewest bytes a read takes.

#include <gtest/gtest.h>

#include "acquisition/read_pacing.h"

using namespace velmoran;

namespace {

TEST(ReadPacing, DelaysFollowTheRateOnceItIsKnown) {
    struct Case {
        const char* name;
        ReadPace pace;
        int idleBefore;
        int delay;
        int idleAfter;
    };
    const Case cases[] = {
        {"nothing_yet_looks_again_soon_then_less_often", {false}, 8, 8, 16},
        {"nothing_yet_backs_off_no_further_than_the_ceiling", {false}, 400, 400, 400},
        {"first_bytes_after_a_full_buffer_read_at_once", {true, 5, 4096}, 4, 1, 4},
        {"first_bytes_wait_no_longer_than_the_rate_takes", {true, 15, 100}, 32, 5, 64},
        {"first_bytes_back_off_meanwhile", {true, 2, 100}, 4, 4, 8},
        // The board's 3,113.5 bytes a second: 512 bytes lacking are due in 165 ms, plus 1/16.
        {"board_pace_half_a_block_lacking", {true, 1000, 0, 3114, 512}, 1, 175, 1},
        {"a_fast_line_reads_no_sooner_than_the_floor", {true, 100, 0, 1'000'000, 10}, 1, 1, 1},
        {"a_slow_line_reads_no_later_than_the_ceiling", {true, 1000, 0, 100, 1024}, 1, 400, 1},
        {"a_line_gone_quiet_after_its_first_bytes", {true, 1000, 0, 0, 1024}, 1, 400, 1},
    };
    for (const Case& c : cases) {
        int idle = c.idleBefore;
        EXPECT_EQ(nextReadDelayMs(c.pace, idle), c.delay) << c.name;
        EXPECT_EQ(idle, c.idleAfter) << c.name;
    }
}

TEST(ReadPacing, ADueReadWaitsForTheFirstTickAtOrAfterIt) {
    struct Case {
        const char* name;
        int delay, remaining, interval, ticksToPass;
    };
    const Case cases[] = {
        {"due_before_the_next_tick", 50, 120, 200, 0},
        {"due_with_the_next_tick", 120, 120, 200, 0},
        {"due_just_after_it", 121, 120, 200, 1},
        {"due_with_the_one_after", 320, 120, 200, 1},
        {"due_on_the_third_tick", 400, 0, 200, 2},
        {"a_stopped_timer_waits_for_nothing", 300, 0, 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ticksBeforeRead(c.delay, c.remaining, c.interval), c.ticksToPass) << c.name;
    }
}

TEST(ReadPacing, AReadTakesWhatTheBlockLacksUpTo255Bytes) {
    EXPECT_EQ(fewestBytesRead(0, 500), 1);       // no threshold: every byte
    EXPECT_EQ(fewestBytesRead(1024, 0), 255);    // a new block
    EXPECT_EQ(fewestBytesRead(1024, 1000), 24);  // the block's last bytes
    EXPECT_EQ(fewestBytesRead(1024, 2048), 255); // two whole blocks waiting, a third begun
}

} // namespace
