// The infrared decoder on captures rendered by the board emulator: every frame and repeat code
// that was sent, none that was not, at the board's 40.1474 µs sampling with and without jitter.

#include <gtest/gtest.h>

#include "support/case_name.h"

#include <cmath>

#include "infrared/ir_decoder.h"
#include "infrared/ir_encoder.h"
#include "support/ird_capture.h"

using namespace velmoran;
using namespace velmoran::infrared;
using velmoran::test::IrLine;

namespace {

struct Expected {
    IrProtocol protocol;
    uint32_t address;
    uint32_t command;
    double startUs;
};

std::vector<Expected> expectedFrames(const emulator::Scenario& scenario) {
    std::vector<Expected> out;
    for (const emulator::NecPress& p : scenario.presses) {
        out.push_back({IrProtocol::Nec, p.address, p.command, p.startUs});
        for (int r = 1; r <= p.repeats; ++r) {
            out.push_back({IrProtocol::NecRepeat, p.address, p.command,
                           p.startUs + r * emulator::kNecRepeatPeriodUs});
        }
    }
    return out;
}

double startUs(const IrFrame& f) {
    return static_cast<double>(f.startSample) * kSamplePeriodUsExact;
}

void expectSameFrames(const std::vector<IrFrame>& got, const std::vector<Expected>& want,
                      double toleranceUs) {
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE(::testing::Message() << "frame " << i);
        EXPECT_EQ(got[i].protocol, want[i].protocol);
        EXPECT_TRUE(got[i].keyKnown);
        EXPECT_EQ(got[i].address, want[i].address);
        EXPECT_EQ(got[i].command, want[i].command);
        EXPECT_NEAR(startUs(got[i]), want[i].startUs, toleranceUs);
        if (want[i].protocol == IrProtocol::Nec) {
            EXPECT_EQ(got[i].check, IrCheck::Passed);
            EXPECT_FALSE(got[i].extended);
        }
    }
}

struct ScenarioCase {
    std::string name;
    uint32_t seed;
    double jitterUs;
    friend void PrintTo(const ScenarioCase& c, std::ostream* os) { *os << c.name; }
};

class EmulatorScenario : public ::testing::TestWithParam<ScenarioCase> {};

TEST_P(EmulatorScenario, DecodesEveryFrameAndRepeatCodeSentAndNothingElse) {
    const emulator::Scenario scenario =
        emulator::defaultScenario(GetParam().seed, GetParam().jitterUs);
    const ChannelLevels line = channelLevels(test::renderScenario(scenario));
    const std::vector<IrFrame> frames = decodeInfrared(line, 2);
    expectSameFrames(frames, expectedFrames(scenario), GetParam().jitterUs + kSamplePeriodUsExact);
    for (const IrFrame& f : frames) {
        EXPECT_EQ(f.channel, 2);
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, EmulatorScenario,
                         ::testing::Values(ScenarioCase{"seed_1_exact", 1, 0},
                                           ScenarioCase{"seed_2_exact", 2, 0},
                                           ScenarioCase{"seed_3_jitter_20us", 3, 20},
                                           ScenarioCase{"seed_7_jitter_30us", 7, 30},
                                           ScenarioCase{"seed_42_jitter_40us", 42, 40},
                                           ScenarioCase{"seed_1234_jitter_40us", 1234, 40},
                                           ScenarioCase{"seed_99_jitter_60us", 99, 60}),
                         velmoran::test::CaseName());

// Lines of other protocols and of damaged frames, built mark by mark.

void necFrame(IrLine& l, const uint8_t (&bytes)[4]) {
    l.mark(9000).space(4500);
    for (int bit = 0; bit < 32; ++bit) {
        l.mark(562.5).space(((bytes[bit / 8] >> (bit % 8)) & 1) ? 1687.5 : 562.5);
    }
    l.mark(562.5).space(40000);
}

void rc5Frame(IrLine& l, uint32_t address, uint32_t command, bool toggle) {
    const uint32_t bits = 1u << 13 | (((command >> 6) & 1) ? 0u : 1u << 12) |
                          (toggle ? 1u << 11 : 0u) | (address & 0x1F) << 6 | (command & 0x3F);
    for (int b = 13; b >= 0; --b) {
        const bool one = (bits >> b) & 1;
        if (one) {
            l.space(889).mark(889);
        } else {
            l.mark(889).space(889);
        }
    }
    l.space(40000);
}

void sircFrame(IrLine& l, uint32_t address, uint32_t command, int bits) {
    const uint32_t data = (command & 0x7F) | address << 7;
    l.mark(2400);
    for (int b = 0; b < bits; ++b) {
        l.space(600).mark(((data >> b) & 1) ? 1200 : 600);
    }
    l.space(30000);
}

// A frame as its encoder sends it, from the line's current time, every mark `stretchUs` long.
void send(IrLine& l, const IrFrame& f, double stretchUs) {
    for (const double d : irFrameDurations(f)) {
        if (d > 0) {
            l.mark(d + stretchUs);
        } else {
            l.space(-d - stretchUs);
        }
    }
    l.space(40000);
}

struct LineCase {
    std::string name;
    std::vector<emulator::Edge> edges;
    std::vector<IrFrame> want; // protocol, address, command, check, bits, extended, toggle
    friend void PrintTo(const LineCase& c, std::ostream* os) { *os << c.name; }
};

class BuiltLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(BuiltLine, DecodesToTheFramesItCarries) {
    const std::vector<IrFrame> got =
        decodeInfrared(channelLevels(test::renderLine(GetParam().edges)), 1);
    const std::vector<IrFrame>& want = GetParam().want;
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE(::testing::Message() << "frame " << i);
        EXPECT_EQ(protocolName(got[i]), protocolName(want[i]));
        EXPECT_EQ(got[i].address, want[i].address);
        EXPECT_EQ(got[i].command, want[i].command);
        EXPECT_EQ(got[i].check, want[i].check);
        EXPECT_EQ(got[i].extended, want[i].extended);
        EXPECT_EQ(got[i].toggle, want[i].toggle);
        EXPECT_EQ(got[i].keyKnown, want[i].keyKnown);
    }
}

IrFrame frame(IrProtocol p, uint32_t address, uint32_t command, int bits,
              IrCheck check = IrCheck::NotApplicable) {
    IrFrame f;
    f.protocol = p;
    f.address = address;
    f.command = command;
    f.bits = bits;
    f.check = check;
    return f;
}

std::vector<LineCase> builtLines() {
    std::vector<LineCase> rows;
    {
        IrLine l(100000);
        rc5Frame(l, 5, 0x35, true);
        l.at(213778);
        rc5Frame(l, 5, 0x35, true);
        l.at(600000);
        rc5Frame(l, 31, 0x00, false);
        l.at(900000);
        rc5Frame(l, 0, 0x7F, false); // RC-5X: command bit 6 in the inverted field bit
        IrFrame a = frame(IrProtocol::Rc5, 5, 0x35, 14);
        a.toggle = true;
        IrFrame c = frame(IrProtocol::Rc5, 0, 0x7F, 14);
        rows.push_back({"rc5_exact", l.edges(), {a, a, frame(IrProtocol::Rc5, 31, 0, 14), c}});
        rows.push_back({"rc5_jitter_40us", l.edges(40, 5), rows.back().want});
    }
    {
        IrLine l(50000);
        sircFrame(l, 1, 0x15, 12);
        l.at(95000);
        sircFrame(l, 1, 0x15, 12);
        l.at(400000);
        sircFrame(l, 0xA4, 0x2B, 15);
        l.at(700000);
        sircFrame(l, 0x1A | 0x5C << 5, 0x7F, 20);
        const std::vector<IrFrame> want{frame(IrProtocol::Sirc, 1, 0x15, 12),
                                        frame(IrProtocol::Sirc, 1, 0x15, 12),
                                        frame(IrProtocol::Sirc, 0xA4, 0x2B, 15),
                                        frame(IrProtocol::Sirc, 0x1A | 0x5C << 5, 0x7F, 20)};
        rows.push_back({"sirc_12_15_20_bits", l.edges(), want});
        rows.push_back({"sirc_jitter_40us", l.edges(40, 9), want});
    }
    {
        IrLine l(10000);
        necFrame(l, {0x34, 0x12, 0x56, 0xA9});
        l.at(200000);
        necFrame(l, {0x10, 0xEF, 0x20, 0x20});
        IrFrame ext = frame(IrProtocol::Nec, 0x1234, 0x56, 32, IrCheck::Passed);
        ext.extended = true;
        rows.push_back({"nec_extended_address_and_failed_check",
                        l.edges(),
                        {ext, frame(IrProtocol::Nec, 0x10, 0x20, 32, IrCheck::Failed)}});
    }
    {
        // A repeat code long after any frame repeats no known key.
        IrLine l(10000);
        l.mark(9000).space(2250).mark(562.5).space(10000);
        IrFrame orphan = frame(IrProtocol::NecRepeat, 0, 0, 0);
        orphan.keyKnown = false;
        rows.push_back({"repeat_code_without_frame", l.edges(), {orphan}});
    }
    {
        // A frame that the capture's end cuts off, one missing a bit, one with a stretched
        // bit space: none of them is a frame.
        IrLine l(100000);
        l.mark(9000).space(4500);
        for (int bit = 0; bit < 31; ++bit) {
            l.mark(562.5).space(562.5);
        }
        l.mark(562.5).space(50000);
        l.mark(9000).space(4500);
        for (int bit = 0; bit < 32; ++bit) {
            l.mark(562.5).space(bit == 12 ? 1100 : 562.5);
        }
        l.mark(562.5).space(50000);
        l.at(20391025.0 - 20000).mark(9000).space(4500);
        for (int bit = 0; bit < 32; ++bit) {
            l.mark(562.5).space(1687.5);
        }
        rows.push_back({"damaged_and_cut_frames", l.edges(), {}});
    }
    {
        // Short pulses of all lengths: nothing in them is a frame.
        IrLine l(0);
        std::mt19937 rng(11);
        std::uniform_real_distribution<double> d(30, 700);
        while (l.now() < 20e6) {
            l.mark(d(rng)).space(d(rng));
        }
        rows.push_back({"random_short_pulses", l.edges(), {}});
    }
    {
        // A Media Center remote (RC-6A, customer 0x800F) pressed twice: the toggle is the
        // address byte's top bit, the address the same on both presses.
        IrLine l(100000);
        IrFrame a = frame(IrProtocol::Rc6, 0x04, 0x0c, 32);
        a.mode = 6;
        a.vendor = 0x800F;
        IrFrame b = a;
        b.toggle = true;
        send(l, a, 0);
        send(l.at(400000), b, 0);
        rows.push_back({"rc6a_media_center_toggle_in_bit_15", l.edges(), {a, b}});
    }
    {
        // Sharp with marks stretched by 80 µs (264 read as 344), then a second frame whose
        // first was lost; JVC's held key repeating 55 ms apart, start to start.
        IrLine l(100000);
        const IrFrame pair = frame(IrProtocol::Sharp, 0x03, 0x45, 15, IrCheck::Passed);
        IrFrame second = frame(IrProtocol::Sharp, 0x03, 0x45, 15);
        second.half = IrPairHalf::SecondOnly;
        send(l, pair, 80);
        send(l.at(400000), second, 80);
        IrFrame jvc = frame(IrProtocol::Jvc, 0x21, 0x90, 16);
        send(l.at(700000), jvc, 0);
        jvc.repeat = true;
        send(l.at(755000), jvc, 0);
        send(l.at(810000), jvc, 0);
        rows.push_back({"sharp_stretched_lone_half_and_jvc_repeats",
                        l.edges(),
                        {pair, second, jvc, jvc, jvc}});
    }
    rows.push_back({"line_always_high", {}, {}});
    rows.push_back({"line_always_low", {{0.0, false}}, {}});
    return rows;
}

INSTANTIATE_TEST_SUITE_P(Protocols, BuiltLine, ::testing::ValuesIn(builtLines()),
                         velmoran::test::CaseName());

TEST(IrDecoder, AFrameStartingInAnyPhaseOfTheSampleClockDecodes) {
    // A NEC 0 bit lasts 28.02 samples: depending on the phase it spans 28 or 29.
    for (int step = 0; step < 8; ++step) {
        SCOPED_TRACE(step);
        IrLine l(100000 + step * kSamplePeriodUsExact / 8);
        necFrame(l, {0x00, 0xFF, 0x00, 0xFF});
        const std::vector<IrFrame> got =
            decodeInfrared(channelLevels(test::renderLine(l.edges())), 1);
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0].check, IrCheck::Passed);
        EXPECT_EQ(got[0].command, 0u);
    }
}

} // namespace
