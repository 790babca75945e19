#include <gtest/gtest.h>

#include <ostream>

#include "support/case_name.h"

#include <numeric>
#include <vector>

#include "acquisition/block_receiver.h"

using namespace velmoran;

namespace {

std::vector<uint8_t> blockOf(uint8_t first, std::size_t size = 1024) {
    std::vector<uint8_t> b(size);
    std::iota(b.begin(), b.end(), first);
    return b;
}

TEST(StoreBlock, CopiesAtTheWritePositionAndAdvances) {
    ChannelBuffer buffer{};
    buffer.fill(0xEE);
    int32_t recvCount = 2048;
    const auto block = blockOf(7);
    EXPECT_EQ(storeBlock(&buffer, recvCount, block), BlockOutcome::Stored);
    EXPECT_EQ(recvCount, 3072);
    EXPECT_EQ(buffer[2047], 0xEE);
    EXPECT_TRUE(std::equal(block.begin(), block.end(), buffer.begin() + 2048));
    EXPECT_EQ(buffer[3072], 0xEE);
}

TEST(StoreBlock, WithoutABufferOnlyCounts) {
    int32_t recvCount = 0;
    EXPECT_EQ(storeBlock(nullptr, recvCount, blockOf(0)), BlockOutcome::Counted);
    EXPECT_EQ(recvCount, 1024);
}

TEST(StoreBlock, NeverCopiesAShortBlockNorWritesPastTheCapture) {
    ChannelBuffer buffer{};
    int32_t recvCount = 0;
    EXPECT_EQ(storeBlock(&buffer, recvCount, blockOf(1, 1023)), BlockOutcome::Rejected);
    EXPECT_EQ(recvCount, 0);
    EXPECT_EQ(storeBlock(&buffer, recvCount, blockOf(1, 1025)), BlockOutcome::Rejected);
    EXPECT_EQ(buffer[0], 0);
    recvCount = 63488;
    buffer[63488] = 0x5A;
    EXPECT_EQ(storeBlock(&buffer, recvCount, blockOf(1)), BlockOutcome::Rejected);
    EXPECT_EQ(recvCount, 63488);
    EXPECT_EQ(buffer[63488], 0x5A);
}

TEST(StoreBlock, SixtyTwoBlocksFillTheCaptureAndCompleteIt) {
    ChannelBuffer buffer{};
    buffer[63488] = 0x5A;
    int32_t recvCount = 0;
    for (int i = 0; i < 62; ++i) {
        EXPECT_FALSE(captureComplete(recvCount)) << i;
        ASSERT_EQ(storeBlock(&buffer, recvCount, blockOf(static_cast<uint8_t>(i))),
                  BlockOutcome::Stored);
    }
    EXPECT_EQ(recvCount, 63488);
    EXPECT_TRUE(captureComplete(recvCount));
    EXPECT_FALSE(captureComplete(62464));
    EXPECT_EQ(buffer[63487], static_cast<uint8_t>(61 + 1023));
    EXPECT_EQ(buffer[63488], 0x5A); // a capture never writes the last byte
}

struct DoneCase {
    std::string name;
    friend void PrintTo(const DoneCase& c, std::ostream* os) { *os << c.name; }
    int16_t ticks;
    const char* number;
};

class CaptureDoneText : public ::testing::TestWithParam<DoneCase> {};

TEST_P(CaptureDoneText, GivesTheDurationWithABlankInFront) {
    const DoneCase& c = GetParam();
    EXPECT_EQ(captureDoneText(c.ticks), QString::fromUtf8("串口已关闭，数据采集已停止。共采集") +
                                            QString::fromUtf8(c.number) +
                                            QString::fromUtf8("秒时长的数据"));
}

INSTANTIATE_TEST_SUITE_P(Table, CaptureDoneText,
                         ::testing::Values(DoneCase{"ticks_103", 103, " 20.6"},
                                           DoneCase{"ticks_100", 100, " 20"},
                                           DoneCase{"ticks_0", 0, " 0"},
                                           DoneCase{"ticks_1", 1, " 0.2"},
                                           DoneCase{"ticks_32767", 32767, " 6553.4"}),
                         test::CaseName());

} // namespace
