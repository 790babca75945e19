#include <gtest/gtest.h>

#include "support/case_name.h"

#include <memory>
#include <vector>

#include "app/form1.h"
#include "display/picture_box.h"
#include "display/square_wave.h"
#include "recording_surface.h"

using namespace velmoran;
using velmoran::test::RecordingSurface;
using velmoran::test::Segment;

namespace {

constexpr float kRow1 = 900;
constexpr float kSamplePeriod = 40.1474f;

struct Corner {
    float x, y;
    bool operator==(const Corner&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Corner& c) {
    return os << "(" << c.x << ", " << c.y << ")";
}

// The wave chain as the corners of one polyline: runs of segments along the same line in the
// same direction are joined. Fails the test when the chain is not continuous.
std::vector<Corner> corners(const std::vector<Segment>& chain) {
    std::vector<Corner> out;
    if (chain.empty()) {
        return out;
    }
    out.push_back({chain[0].x1, chain[0].y1});
    out.push_back({chain[0].x2, chain[0].y2});
    for (size_t i = 1; i < chain.size(); ++i) {
        const Segment& s = chain[i];
        EXPECT_EQ(Corner({s.x1, s.y1}), out.back()) << "chain broken at segment " << i;
        const Corner& a = out[out.size() - 2];
        const Corner& b = out.back();
        const bool horizontal = a.y == b.y && s.y1 == s.y2 && s.y1 == b.y;
        const bool vertical = a.x == b.x && s.x1 == s.x2 && s.x1 == b.x;
        const bool sameWay = (b.x - a.x) * (s.x2 - s.x1) >= 0 && (b.y - a.y) * (s.y2 - s.y1) >= 0;
        if ((horizontal || vertical) && sameWay) {
            out.back() = {s.x2, s.y2};
        } else {
            out.push_back({s.x2, s.y2});
        }
    }
    return out;
}

std::unique_ptr<ChannelBuffer> bufferOf(uint8_t fill, std::vector<uint8_t> head = {},
                                        size_t at = 0) {
    auto b = std::make_unique<ChannelBuffer>();
    b->fill(fill);
    for (size_t i = 0; i < head.size(); ++i) {
        (*b)[at + i] = head[i];
    }
    return b;
}

struct ChainCase {
    const char* name;
    uint8_t fill;
    std::vector<uint8_t> head; // bytes placed at `start`
    int32_t start;
    std::vector<Corner> expected;
};

class WaveChain : public ::testing::TestWithParam<ChainCase> {};

TEST_P(WaveChain, DrawsTheLevelsAndEdgesOfTheSamples) {
    const ChainCase& c = GetParam();
    const auto buffer = bufferOf(c.fill, c.head, static_cast<size_t>(c.start));
    RecordingSurface surface;
    Draw_Square_Wave(surface, *buffer, kSamplePeriod, c.start, 900, 10);
    const std::vector<Segment> chain = surface.inColour(kWaveColour);
    ASSERT_FALSE(chain.empty());
    EXPECT_EQ(chain.front(), (Segment{0, kRow1, 1, kRow1, kWaveColour})); // the pen set-up
    EXPECT_EQ(corners(chain), c.expected);
}

std::vector<Corner> alternating0x55() {
    // 0 1 0 1 0 1 0 1: an edge at every sample boundary of the byte, then low to the end.
    std::vector<Corner> c{{0, 900}};
    for (int s = 1; s < 8; s += 2) {
        const float xa = 10.0f * s;
        c.insert(c.end(), {{xa, 900}, {xa, 700}, {xa + 10, 700}, {xa + 10, 900}});
    }
    c.push_back({10240, 900});
    return c;
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, WaveChain,
    ::testing::Values(
        ChainCase{"zero_buffer_is_one_flat_chain_to_10240", 0x00, {}, 0, {{0, 900}, {10240, 900}}},
        ChainCase{"all_ones_rise_from_the_pen_back_to_x0",
                  0xFF,
                  {},
                  0,
                  {{0, 900}, {1, 900}, {0, 700}, {10240, 700}}},
        ChainCase{"0x80_0x01_carries_the_level_across_the_byte",
                  0x00,
                  {0x80, 0x01},
                  0,
                  {{0, 900},
                   {1, 900},
                   {0, 700},
                   {10, 700},
                   {10, 900},
                   {150, 900},
                   {150, 700},
                   {160, 700},
                   {160, 900},
                   {10240, 900}}},
        ChainCase{"0x01_0x80_joins_samples_7_and_8_without_an_edge",
                  0x00,
                  {0x01, 0x80},
                  0,
                  {{0, 900}, {70, 900}, {70, 700}, {90, 700}, {90, 900}, {10240, 900}}},
        ChainCase{"0x55_has_an_edge_at_every_sample_boundary", 0x00, {0x55}, 0, alternating0x55()},
        ChainCase{"start_byte_is_the_left_edge",
                  0x00,
                  {0xFF},
                  200,
                  {{0, 900}, {1, 900}, {0, 700}, {80, 700}, {80, 900}, {10240, 900}}}),
    velmoran::test::CaseName());

struct CountCase {
    const char* name;
    int16_t bitWidth;
    int bytes;
    int ticks;
};

class RowCounts : public ::testing::TestWithParam<CountCase> {};

TEST_P(RowCounts, WholeBytesAcrossTheSurfaceAndATickEvery50Samples) {
    const CountCase& c = GetParam();
    const auto buffer = bufferOf(0x55);
    RecordingSurface surface;
    Draw_Square_Wave(surface, *buffer, kSamplePeriod, 0, 2200, c.bitWidth);

    const std::vector<Segment> chain = surface.inColour(kWaveColour);
    // 0x55 everywhere: the set-up, a level per sample and an edge before all but the first.
    EXPECT_EQ(static_cast<int>(chain.size()), 16 * c.bytes);
    EXPECT_EQ(chain.back().x2, static_cast<float>(8 * c.bytes * c.bitWidth));

    std::vector<Segment> expectedGrid{{0, 2400, 10215, 2400, kAxisColour}};
    for (int t = 0; t < c.ticks; ++t) {
        const auto x = static_cast<float>(50 * t * c.bitWidth);
        expectedGrid.push_back({x, 2300, x, 2400, kAxisColour});
    }
    EXPECT_EQ(surface.inColour(kAxisColour), expectedGrid);
}

// Every BitWidth the zoom buttons can reach, on the 10215-twip surface.
INSTANTIATE_TEST_SUITE_P(
    ReachableZooms, RowCounts,
    ::testing::Values(
        CountCase{"w2", 2, 639, 103}, CountCase{"w4", 4, 320, 52}, CountCase{"w5", 5, 256, 41},
        CountCase{"w8", 8, 160, 26}, CountCase{"w10", 10, 128, 21}, CountCase{"w16", 16, 80, 13},
        CountCase{"w20", 20, 64, 11}, CountCase{"w32", 32, 40, 7}, CountCase{"w40", 40, 32, 6},
        CountCase{"w64", 64, 21, 4}, CountCase{"w80", 80, 17, 3}, CountCase{"w128", 128, 11, 2},
        CountCase{"w160", 160, 9, 2}, CountCase{"w256", 256, 6, 1}, CountCase{"w320", 320, 5, 1},
        CountCase{"w512", 512, 3, 1}, CountCase{"w640", 640, 3, 1}, CountCase{"w1024", 1024, 2, 1},
        CountCase{"w1280", 1280, 2, 1}, CountCase{"w2048", 2048, 1, 1},
        CountCase{"w2560", 2560, 1, 1}, CountCase{"w4096", 4096, 1, 1},
        CountCase{"w5120", 5120, 1, 1}, CountCase{"w8192", 8192, 1, 1},
        CountCase{"w10240", 10240, 1, 1}, CountCase{"w16384", 16384, 1, 1},
        CountCase{"w20480", 20480, 1, 1}),
    velmoran::test::CaseName());

struct LabelCase {
    const char* name;
    int32_t start;
    int16_t bitWidth;
    const char* text;
};

class RowLabel : public ::testing::TestWithParam<LabelCase> {};

TEST_P(RowLabel, GivesTheTimeOfTheLeftEdgeBelowTheBaseline) {
    const LabelCase& c = GetParam();
    const auto buffer = bufferOf(0x00);
    RecordingSurface surface;
    Draw_Square_Wave(surface, *buffer, kSamplePeriod, c.start, 3500, c.bitWidth);
    ASSERT_EQ(surface.texts.size(), 1u);
    EXPECT_EQ(surface.texts[0],
              (test::PrintedText{0, 3520, QString::fromUtf8(c.text), qRgb(255, 96, 96)}));
}

INSTANTIATE_TEST_SUITE_P(
    Starts, RowLabel,
    ::testing::Values(LabelCase{"start_0", 0, 10, " 0ms"},
                      LabelCase{"start_0_does_not_depend_on_the_zoom", 0, 20480, " 0ms"},
                      LabelCase{"start_2_below_one_ms", 2, 10, " 0.642ms"},
                      LabelCase{"start_200", 200, 10, " 64.236ms"},
                      LabelCase{"start_1000", 1000, 2, " 321.179ms"},
                      LabelCase{"scroll_maximum_at_width_10", 63230, 10, " 20308.161ms"},
                      LabelCase{"scroll_maximum_at_width_2", 62210, 2, " 19980.558ms"}),
    velmoran::test::CaseName());

struct PenCase {
    const char* name;
    float x, y;         // the pen before
    float backX, backY; // the pen after
};

class PrintWordPen : public ::testing::TestWithParam<PenCase> {};

TEST_P(PrintWordPen, PutsThePenBackWithItsYRounded) {
    const PenCase& c = GetParam();
    RecordingSurface surface;
    surface.setCurrentX(c.x);
    surface.setCurrentY(c.y);
    surface.setForeColor(qRgb(0, 0, 0));
    PrintWord(surface, 1750.5f, 1234, QStringLiteral(" 6.022ms"));
    ASSERT_EQ(surface.texts.size(), 1u);
    EXPECT_EQ(surface.texts[0], (test::PrintedText{1750.5f, 1234, " 6.022ms", qRgb(255, 96, 96)}));
    EXPECT_EQ(surface.CurrentX(), c.backX);
    EXPECT_EQ(surface.CurrentY(), c.backY);
    EXPECT_EQ(surface.ForeColor(), qRgb(255, 96, 96)); // not restored
}

INSTANTIATE_TEST_SUITE_P(Pens, PrintWordPen,
                         ::testing::Values(PenCase{"whole", 10240, 900, 10240, 900},
                                           PenCase{"x_keeps_its_fraction", 12.25f, 7, 12.25f, 7},
                                           PenCase{"y_half_to_even_down", 1, 456.5f, 1, 456},
                                           PenCase{"y_half_to_even_up", 1, 457.5f, 1, 458},
                                           PenCase{"y_above_half", 1, 99.75f, 1, 100}),
                         velmoran::test::CaseName());

TEST(ThreeRowRedraw, EveryRowStartsLowWhateverTheRowAboveEndedWith) {
    Form1 form([](int) { return QString(); });
    RecordingSurface mirror;
    form.Picture1->setMirror(&mirror);
    form.ChannelData1.fill(0xFF);
    form.ChannelData2.fill(0x00);
    form.ChannelData3.fill(0xFF);
    form.redrawRows(0);
    form.Picture1->setMirror(nullptr);

    EXPECT_EQ(mirror.clears, 1);
    std::vector<std::vector<Segment>> rows(3);
    int row = -1;
    for (const Segment& s : mirror.inColour(kWaveColour)) {
        if (s == Segment{0, s.y1, 1, s.y1, kWaveColour}) {
            ++row; // each row opens with its pen set-up segment
        }
        ASSERT_GE(row, 0);
        rows[static_cast<size_t>(row)].push_back(s);
    }
    ASSERT_EQ(row, 2);
    EXPECT_EQ(corners(rows[0]), (std::vector<Corner>{{0, 900}, {1, 900}, {0, 700}, {10240, 700}}));
    EXPECT_EQ(corners(rows[1]), (std::vector<Corner>{{0, 2200}, {10240, 2200}}));
    EXPECT_EQ(corners(rows[2]),
              (std::vector<Corner>{{0, 3500}, {1, 3500}, {0, 3300}, {10240, 3300}}));
    ASSERT_EQ(mirror.texts.size(), 3u);
    EXPECT_EQ(mirror.texts[2].y, 3520);
}

TEST(DrawSquareWave, AWiderSurfaceStopsAtTheEndOfTheBuffer) {
    // 30000 twips at 10 per sample would need bytes up to 63480 + 375: past the buffer.
    const auto buffer = bufferOf(0x00);
    RecordingSurface surface(30000.0f);
    Draw_Square_Wave(surface, *buffer, kSamplePeriod, 63480, 900, 10);
    const std::vector<Segment> chain = surface.inColour(kWaveColour);
    EXPECT_EQ(chain.back().x2, 8 * (63489 - 63480) * 10.0f);
}

} // namespace
