// The board emulator that feeds the acquisition tests, the demo and the benchmarks.

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <ostream>

#include "support/case_name.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <thread>
#include <unistd.h>

#include "tools/emulator/board_emulator.h"
#include "tools/emulator/board_stream.h"

using namespace velmoran::emulator;

namespace {

constexpr double kCaptureUs = 63488 * 8 * kBoardSamplePeriodUs;

// Reads `count` bytes from `fd` (non-blocking), giving up after `timeoutMs`.
std::vector<uint8_t> readBytes(int fd, std::size_t count, int timeoutMs = 20000) {
    std::vector<uint8_t> out;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    uint8_t buf[4096];
    while (out.size() < count && std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        ::poll(&p, 1, 50);
        const ssize_t n = ::read(fd, buf, std::min(sizeof buf, count - out.size()));
        if (n > 0) {
            out.insert(out.end(), buf, buf + n);
        }
    }
    return out;
}

int openSlave(const std::string& path) {
    return ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
}

// Level of the line at time t from its edges (high before the first edge).
bool levelAt(const std::vector<Edge>& edges, double t) {
    bool high = true;
    for (const Edge& e : edges) {
        if (e.timeUs > t) {
            break;
        }
        high = e.high;
    }
    return high;
}

TEST(NecFrame, LeaderBitsStopAndRepeatsHaveTheirTimes) {
    Scenario s;
    s.presses.push_back({.startUs = 1000.0, .address = 0x04, .command = 0xA7, .repeats = 2});
    const std::vector<Edge> edges = scenarioEdges(s);

    // Pairs of (low, high) edges: leader, 32 bits, stop bit, then per repeat leader and stop.
    ASSERT_EQ(edges.size(), 2u * (1 + 32 + 1 + 2 * 2));
    for (std::size_t i = 0; i < edges.size(); ++i) {
        EXPECT_EQ(edges[i].high, i % 2 == 1) << i;
    }
    EXPECT_DOUBLE_EQ(edges[0].timeUs, 1000.0);
    EXPECT_DOUBLE_EQ(edges[1].timeUs - edges[0].timeUs, 9000.0);
    EXPECT_DOUBLE_EQ(edges[2].timeUs - edges[1].timeUs, 4500.0);
    uint32_t word = 0;
    for (int bit = 0; bit < 32; ++bit) {
        const Edge& low = edges[2 + 2 * bit];
        const Edge& high = edges[3 + 2 * bit];
        const Edge& next = edges[4 + 2 * bit];
        EXPECT_DOUBLE_EQ(high.timeUs - low.timeUs, 562.5) << bit;
        const double gap = next.timeUs - high.timeUs;
        EXPECT_TRUE(gap == 562.5 || gap == 1687.5) << bit << " " << gap;
        word |= static_cast<uint32_t>(gap == 1687.5) << bit; // least significant bit first
    }
    EXPECT_EQ(word, 0x04u | (0xFBu << 8) | (0xA7u << 16) | (0x58u << 24));
    EXPECT_DOUBLE_EQ(edges[67].timeUs - edges[66].timeUs, 562.5); // stop bit
    for (int r = 1; r <= 2; ++r) {
        const std::size_t at = 68 + 4 * static_cast<std::size_t>(r - 1);
        EXPECT_DOUBLE_EQ(edges[at].timeUs, 1000.0 + r * 108000.0) << r;
        EXPECT_DOUBLE_EQ(edges[at + 1].timeUs - edges[at].timeUs, 9000.0) << r;
        EXPECT_DOUBLE_EQ(edges[at + 2].timeUs - edges[at + 1].timeUs, 2250.0) << r;
        EXPECT_DOUBLE_EQ(edges[at + 3].timeUs - edges[at + 2].timeUs, 562.5) << r;
    }
}

TEST(BoardBytes, EightSamplesPerByteEarliestInBit7) {
    const double p = kBoardSamplePeriodUs;
    // Low from between samples 9 and 10 to between samples 20 and 21.
    const std::vector<Edge> edges{{9.5 * p, false}, {20.5 * p, true}};
    const std::vector<uint8_t> bytes = renderBytes(edges, 0.0, 4);
    EXPECT_EQ(bytes, (std::vector<uint8_t>{0xFF, 0xC0, 0x07, 0xFF}));
    // Starting later continues at the same pace: byte 0 is now samples 8 to 15.
    EXPECT_EQ(renderBytes(edges, 8 * p, 2), (std::vector<uint8_t>{0xC0, 0x07}));
}

TEST(DefaultScenario, SeveralPressesInsideOneCaptureTheSameForASeed) {
    const Scenario a = defaultScenario(5);
    EXPECT_GE(a.presses.size(), 5u);
    const std::vector<Edge> edges = scenarioEdges(a);
    ASSERT_FALSE(edges.empty());
    EXPECT_GT(edges.front().timeUs, 0.0);
    EXPECT_LT(edges.back().timeUs, kCaptureUs);
    EXPECT_TRUE(edges.back().high); // the line ends idle (high)
    for (std::size_t i = 1; i < a.presses.size(); ++i) {
        const NecPress& prev = a.presses[i - 1];
        const double prevEnd = prev.startUs + prev.repeats * kNecRepeatPeriodUs + 110000.0;
        EXPECT_GT(a.presses[i].startUs, prevEnd) << i;
    }

    const std::vector<uint8_t> capture = renderCapture(a);
    EXPECT_EQ(capture.size(), 63488u);
    EXPECT_EQ(capture, renderCapture(defaultScenario(5)));
    EXPECT_NE(capture, renderCapture(defaultScenario(6)));
    EXPECT_EQ(capture.front(), 0xFF);
    // Samples agree with the edges they came from.
    for (std::size_t sample : {0ul, 1000ul, 123457ul, 250000ul, 400001ul, 507903ul}) {
        const bool bit = (capture[sample / 8] >> (7 - sample % 8)) & 1;
        EXPECT_EQ(bit, levelAt(edges, static_cast<double>(sample) * kBoardSamplePeriodUs))
            << sample;
    }
    const long lowSamples =
        std::count_if(capture.begin(), capture.end(), [](uint8_t b) { return b != 0xFF; });
    EXPECT_GT(lowSamples, 500) << "the key presses show as low pulses";
}

struct PaceCase {
    std::string name;
    friend void PrintTo(const PaceCase& c, std::ostream* os) { *os << c.name; }
    const char* text;
    Pace pace;
    double elapsedUs;
    std::size_t due;
};

class Pacing : public ::testing::TestWithParam<PaceCase> {};

TEST_P(Pacing, BytesFallDueAtThePacesRate) {
    const PaceCase& c = GetParam();
    EXPECT_EQ(parsePace(c.text), c.pace);
    EXPECT_EQ(paceName(c.pace), c.text);
    EXPECT_EQ(bytesDue(c.pace, c.elapsedUs), c.due);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Pacing,
    ::testing::Values(PaceCase{"board_one_second", "board", Pace::Board, 1e6, 3113},
                      PaceCase{"board_one_byte", "board", Pace::Board, 8 * 40.1474 + 0.001, 1},
                      PaceCase{"board_just_before_a_byte", "board", Pace::Board, 8 * 40.147, 0},
                      PaceCase{"board_whole_capture", "board", Pace::Board, kCaptureUs + 1, 63488},
                      PaceCase{"line_one_second", "line", Pace::Line, 1e6, 5760},
                      PaceCase{"max_is_unpaced", "max", Pace::Max, 1e6, 0}),
    velmoran::test::CaseName());

TEST(Pacing, UnknownPaceIsRefused) {
    EXPECT_FALSE(parsePace("fast"));
    EXPECT_FALSE(parsePace(""));
}

TEST(BoardStreamer, EachOpeningGetsAFreshCaptureAndNoStaleBytes) {
    PseudoTerminal pty;
    BoardStreamer streamer(pty.masterFd(), pty.slavePath(), {.seed = 40, .pace = Pace::Max});
    EXPECT_TRUE(streamer.waitingForReader());

    int fd = openSlave(pty.slavePath());
    ASSERT_GE(fd, 0);
    EXPECT_EQ(readBytes(fd, 63488), streamCapture(40, 0));
    // Capture 1 follows without a gap; the rest of what was written is left unread.
    const std::vector<uint8_t> next = streamCapture(40, 1);
    EXPECT_EQ(readBytes(fd, 1000), std::vector<uint8_t>(next.begin(), next.begin() + 1000));
    ::close(fd);

    for (int i = 0; i < 200 && streamer.connections() == 1 && !streamer.waitingForReader(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(streamer.waitingForReader());
    fd = openSlave(pty.slavePath());
    ASSERT_GE(fd, 0);
    EXPECT_EQ(readBytes(fd, 63488), next);
    ::close(fd);
    EXPECT_EQ(streamer.connections(), 2u);
}

TEST(EmulatorProgram, WritesCapturesIntoAFile) {
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("stream.bin"));
    QProcess p;
    p.start(QStringLiteral(VELMORAN_BINARY_DIR "/tools/emulator/velmoran-emulator"),
            {"--seed", "9", "--output", out, "--captures", "2"});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0);
    QFile f(out);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    std::vector<uint8_t> expected = streamCapture(9, 0);
    const std::vector<uint8_t> second = streamCapture(9, 1);
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.end()), expected);
}

TEST(EmulatorProgram, ServesAPseudoTerminalAndEndsOnSigterm) {
    QProcess p;
    p.start(QStringLiteral(VELMORAN_BINARY_DIR "/tools/emulator/velmoran-emulator"),
            {"--pace", "line", "--seed", "3"});
    ASSERT_TRUE(p.waitForReadyRead(10000));
    const std::string path = p.readLine().trimmed().toStdString();
    ASSERT_TRUE(path.starts_with("/dev/")) << path;
    const int fd = openSlave(path);
    ASSERT_GE(fd, 0);
    const auto start = std::chrono::steady_clock::now();
    const std::vector<uint8_t> head = readBytes(fd, 600);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ::close(fd);
    const std::vector<uint8_t> capture = streamCapture(3, 0);
    EXPECT_EQ(head, std::vector<uint8_t>(capture.begin(), capture.begin() + 600));
    EXPECT_GT(seconds, 0.05) << "the line pace is 5,760 bytes/s, not unlimited";
    p.terminate();
    ASSERT_TRUE(p.waitForFinished(5000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0);
}

TEST(EmulatorProgram, RefusesBadOptions) {
    for (const QStringList& args : {QStringList{"--pace", "warp"}, QStringList{"--seed", "x"},
                                    QStringList{"--frobnicate", "1"}, QStringList{"--pace"}}) {
        QProcess p;
        p.start(QStringLiteral(VELMORAN_BINARY_DIR "/tools/emulator/velmoran-emulator"), args);
        ASSERT_TRUE(p.waitForFinished(10000));
        EXPECT_EQ(p.exitCode(), 2) << args.join(' ').toStdString();
    }
}

} // namespace

namespace {

TEST(EmulatorProgram, AnUnknownOptionIsCalledUnknown) {
    QProcess p;
    p.start(QStringLiteral(VELMORAN_BINARY_DIR "/tools/emulator/velmoran-emulator"), {"--bogus"});
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 2);
    const QString said = QString::fromLocal8Bit(p.readAllStandardError());
    EXPECT_TRUE(said.contains(QStringLiteral("unknown option --bogus"))) << said.toStdString();
    EXPECT_FALSE(said.contains(QStringLiteral("needs a value"))) << said.toStdString();
}

} // namespace
