// The exported files, read back by a real peer where one exists: sigrok-cli reads the session
// file and the VCD; the other formats are parsed back and compared sample by sample.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "support/case_name.h"

#include <cmath>

#include "interchange/exporters.h"
#include "interchange/stored_zip.h"
#include "support/ird_capture.h"

using namespace velmoran;
using namespace velmoran::interchange;

namespace {

// Three channels unlike each other: NEC key presses with jitter; a fast, irregular pattern
// that flips on almost every sample; a line low from the start with one long high. The end
// byte (index 63,488) of each is set and must not appear in any export.
struct ThreeChannels {
    std::array<ChannelBuffer, 3> buffers{};
    ThreeChannels() {
        buffers[0] = test::renderScenario(emulator::defaultScenario(5, 30));
        std::mt19937 rng(17);
        for (int n = 0; n < kCaptureBytes; ++n) {
            buffers[1][static_cast<std::size_t>(n)] =
                n % 1000 < 40 ? static_cast<uint8_t>(rng()) : (n % 3 ? 0x55 : 0xFF);
        }
        std::fill(buffers[2].begin() + 30000, buffers[2].begin() + 30010, 0xFF);
        for (ChannelBuffer& b : buffers) {
            b[kCaptureBytes] = 0xA5;
        }
    }
    std::vector<ExportChannel> channels(const std::vector<int>& numbers) const {
        std::vector<ExportChannel> out;
        for (const int n : numbers) {
            out.push_back({n, channelLevels(buffers[static_cast<std::size_t>(n - 1)])});
        }
        return out;
    }
    // One byte per sample with the i-th listed channel in bit i: what sigrok hands out.
    QByteArray logic(const std::vector<int>& numbers) const {
        QByteArray out(static_cast<qsizetype>(kCaptureSamples), '\0');
        for (int s = 0; s < kCaptureSamples; ++s) {
            int v = 0;
            for (std::size_t i = 0; i < numbers.size(); ++i) {
                v |= sampleAt(buffers[static_cast<std::size_t>(numbers[i] - 1)], s) << i;
            }
            out[s] = static_cast<char>(v);
        }
        return out;
    }
};

const ThreeChannels& capture() {
    static const ThreeChannels c;
    return c;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

struct ToolRun {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

ToolRun sigrokCli(const QStringList& args) {
    QProcess p;
    p.start(QStandardPaths::findExecutable(QStringLiteral("sigrok-cli")), args);
    ToolRun r;
    if (!p.waitForFinished(60000)) {
        return r;
    }
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

class SigrokPeer : public ::testing::Test {
protected:
    void SetUp() override {
        if (QStandardPaths::findExecutable(QStringLiteral("sigrok-cli")).isEmpty()) {
            GTEST_SKIP() << "sigrok-cli is not installed (scripts/setup sigrok-cli)";
        }
        ASSERT_TRUE(dir_.isValid());
    }
    QTemporaryDir dir_;
};

struct ChannelSelection {
    std::string name;
    std::vector<int> numbers;
    friend void PrintTo(const ChannelSelection& c, std::ostream* os) { *os << c.name; }
};

class SessionRoundTrip : public SigrokPeer,
                         public ::testing::WithParamInterface<ChannelSelection> {};

TEST_P(SessionRoundTrip, SigrokCliReadsEverySampleBack) {
    const std::vector<int>& numbers = GetParam().numbers;
    const QString sr = dir_.filePath("capture.sr");
    ASSERT_TRUE(writeFile(sr, exportSigrokSession(capture().channels(numbers))));

    const ToolRun show = sigrokCli({"-i", sr, "--show"});
    ASSERT_EQ(show.status, 0) << show.err.toStdString();
    EXPECT_TRUE(show.out.contains("Samplerate: 24908\n")) << show.out.toStdString();
    EXPECT_TRUE(show.out.contains("Logic sample count: 507904\n")) << show.out.toStdString();
    EXPECT_TRUE(show.out.contains(QStringLiteral("Channels: %1\n").arg(numbers.size()).toUtf8()));
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        EXPECT_TRUE(show.out.contains(QStringLiteral("- CH%1: logic").arg(numbers[i]).toUtf8()));
    }

    const QString raw = dir_.filePath("samples.bin");
    const ToolRun binary = sigrokCli({"-i", sr, "-O", "binary", "-o", raw});
    ASSERT_EQ(binary.status, 0) << binary.err.toStdString();
    QFile f(raw);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll() == capture().logic(numbers));
}

INSTANTIATE_TEST_SUITE_P(Channels, SessionRoundTrip,
                         ::testing::Values(ChannelSelection{"all_three", {1, 2, 3}},
                                           ChannelSelection{"third_then_first", {3, 1}},
                                           ChannelSelection{"second_alone", {2}}),
                         velmoran::test::CaseName());

TEST_F(SigrokPeer, BitsOutputShowsTheFirstSamplesOfEachChannel) {
    const QString sr = dir_.filePath("capture.sr");
    ASSERT_TRUE(writeFile(sr, exportSigrokSession(capture().channels({1, 2, 3}))));
    const ToolRun bits = sigrokCli({"-i", sr, "-O", "bits:width=16", "--samples", "16"});
    ASSERT_EQ(bits.status, 0) << bits.err.toStdString();
    // Channel 2 starts with bytes 0xFF 0x55 (n % 3 == 0, then not); channel 3 is low.
    EXPECT_TRUE(bits.out.contains("CH2:11111111 01010101")) << bits.out.toStdString();
    EXPECT_TRUE(bits.out.contains("CH3:00000000 00000000")) << bits.out.toStdString();
}

TEST_F(SigrokPeer, ReadsTheVcdBackSampleForSample) {
    const QString vcd = dir_.filePath("capture.vcd");
    ASSERT_TRUE(writeFile(vcd, exportVcd(capture().channels({1, 2, 3}))));
    // The VCD counts 100 ps steps; one sample is 401,474 of them.
    const QString input = QStringLiteral("vcd:downsample=%1").arg(kSamplePeriod100ps);
    const ToolRun show = sigrokCli({"-I", input, "-i", vcd, "--show"});
    ASSERT_EQ(show.status, 0) << show.err.toStdString();
    EXPECT_TRUE(show.out.contains("Logic sample count: 507904\n")) << show.out.toStdString();
    EXPECT_TRUE(show.out.contains("Samplerate: 24908\n")) << show.out.toStdString();

    const QString raw = dir_.filePath("samples.bin");
    const ToolRun binary = sigrokCli({"-I", input, "-i", vcd, "-O", "binary", "-o", raw});
    ASSERT_EQ(binary.status, 0) << binary.err.toStdString();
    QFile f(raw);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QByteArray samples = f.readAll();
    // sigrok-cli 0.7 puts its "META samplerate: ..." line in front of binary output from a
    // file input that states a rate.
    if (samples.startsWith("META ")) {
        samples.remove(0, samples.indexOf('\n') + 1);
    }
    EXPECT_TRUE(samples == capture().logic({1, 2, 3}));
}

TEST(VcdText, TimesAreWholeSamplesAndValuesAppearOnlyAtEdges) {
    const std::vector<ExportChannel> channels = capture().channels({1, 3});
    const QList<QByteArray> lines = exportVcd(channels).split('\n');
    ASSERT_TRUE(lines.contains("$timescale 100ps $end"));
    ASSERT_TRUE(lines.contains("$var wire 1 ! CH1 $end"));
    ASSERT_TRUE(lines.contains("$var wire 1 \" CH3 $end"));
    const qsizetype body = lines.indexOf("$enddefinitions $end") + 1;
    ASSERT_GT(body, 0);
    EXPECT_EQ(lines[body], "#0");
    std::size_t values = 0;
    int64_t last = -1;
    for (qsizetype i = body; i < lines.size() && !lines[i].isEmpty(); ++i) {
        if (lines[i].startsWith('#')) {
            const int64_t t = lines[i].mid(1).toLongLong();
            EXPECT_EQ(t % kSamplePeriod100ps, 0) << lines[i].toStdString();
            EXPECT_GT(t, last);
            last = t;
        } else {
            ++values;
        }
    }
    EXPECT_EQ(last, kCaptureSamples * kSamplePeriod100ps); // the bare end timestamp
    EXPECT_EQ(lines[lines.size() - 2], "#203910250496");
    EXPECT_EQ(values, 2 + channels[0].line.edges.size() + channels[1].line.edges.size());
}

TEST(GtkwaveSaveFile, ShowsEveryChannelZoomedToFit) {
    QTemporaryDir dir;
    const QString vcd = dir.filePath("capture.vcd");
    const QString save = gtkwaveSavePathFor(vcd);
    EXPECT_EQ(save, dir.filePath("capture.gtkw"));
    EXPECT_EQ(gtkwaveSavePathFor("capture"), "capture.gtkw");
    const QList<QByteArray> lines =
        gtkwaveSaveFile(vcd, save, capture().channels({2, 3})).split('\n');
    EXPECT_TRUE(lines.contains("[dumpfile] \"" + vcd.toUtf8() + "\""));
    EXPECT_TRUE(lines.contains("[timestart] 0"));
    const qsizetype traces = lines.indexOf("@28");
    ASSERT_GT(traces, 0);
    EXPECT_EQ(lines[traces + 1], "velmoran.CH2");
    EXPECT_EQ(lines[traces + 2], "velmoran.CH3");
    // Zoom z shows 2^-z of GTKWave's time units per 200 pixels; GTKWave counts a 100 ps
    // timescale in ps, 100 units per VCD step. The whole capture must fit in the 740-pixel wave
    // pane of the 1200-pixel window and fill at least half of it.
    const auto zoomLine = std::find_if(lines.begin(), lines.end(),
                                       [](const QByteArray& l) { return l.startsWith('*'); });
    ASSERT_NE(zoomLine, lines.end());
    const double zoom = zoomLine->mid(1).split(' ').front().toDouble();
    const double pixels = static_cast<double>(kCaptureSamples * kSamplePeriod100ps) * 100.0 /
                          std::pow(2.0, -zoom) * 200.0;
    EXPECT_LT(pixels, 740.0);
    EXPECT_GT(pixels, 370.0);
}

TEST(SessionFile, MetadataKeysComeInTheOrderSigrokWritesThem) {
    const QByteArray zip = exportSigrokSession(capture().channels({1, 2, 3}));
    // Members are stored, so the metadata text sits in the archive as it is.
    const qsizetype at = zip.indexOf("[global]");
    ASSERT_GE(at, 0);
    const QByteArray text = zip.mid(at, zip.indexOf("unitsize=1\n", at) + 11 - at);
    EXPECT_EQ(text, "[global]\nsigrok version=0.5.2\n\n[device 1]\ncapturefile=logic-1\n"
                    "total probes=3\nsamplerate=24908 Hz\ntotal analog=0\nprobe1=CH1\n"
                    "probe2=CH2\nprobe3=CH3\nunitsize=1\n");
}

TEST(StoredZip, Crc32MatchesTheStandardCheckValue) {
    EXPECT_EQ(crc32("123456789"), 0xCBF43926u);
    EXPECT_EQ(crc32(""), 0u);
}

// Rebuilds a channel's samples from its mode2 text (pulse = low) and its CSV rows.
TEST(Mode2Text, PulsesAreTheLowTimesAndAddUpToTheCapture) {
    const ExportChannel nec = capture().channels({1}).front();
    const QList<QByteArray> lines = exportMode2(nec).trimmed().split('\n');
    ASSERT_EQ(static_cast<std::size_t>(lines.size()), nec.line.edges.size() + 1);
    EXPECT_TRUE(lines.front().startsWith("space ")); // the receiver rests high
    int64_t total = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QList<QByteArray> words = lines[i].split(' ');
        ASSERT_EQ(words.size(), 2);
        EXPECT_EQ(words[0], i % 2 ? "pulse" : "space");
        total += words[1].toLongLong();
    }
    EXPECT_EQ(total, 20391025); // 507,904 × 40.1474 µs, rounded
    // The first key press: a 9 ms leader pulse, a 4.5 ms space.
    EXPECT_NEAR(lines[1].mid(6).toDouble(), 9000, 100);
    EXPECT_NEAR(lines[2].mid(6).toDouble(), 4500, 100);
}

TEST(CsvText, RowsRebuildEveryChannelExactly) {
    const std::vector<ExportChannel> channels = capture().channels({1, 2, 3});
    const QList<QByteArray> rows = exportCsv(channels).trimmed().split('\n');
    ASSERT_EQ(rows.front(), "time_us,channel,level");
    std::array<std::vector<int32_t>, 3> edges;
    std::array<int, 3> initial{-1, -1, -1};
    double lastTime = 0;
    for (qsizetype i = 1; i < rows.size(); ++i) {
        const QList<QByteArray> f = rows[i].split(',');
        ASSERT_EQ(f.size(), 3);
        const double us = f[0].toDouble();
        const auto ch = static_cast<std::size_t>(f[1].toInt() - 1);
        EXPECT_GE(us, lastTime);
        lastTime = us;
        if (us == 0) {
            initial[ch] = f[2].toInt();
            continue;
        }
        const double sample = us / kSamplePeriodUsExact;
        EXPECT_NEAR(sample, std::round(sample), 1e-6) << rows[i].toStdString();
        edges[ch].push_back(static_cast<int32_t>(std::llround(sample)));
    }
    for (std::size_t c = 0; c < 3; ++c) {
        SCOPED_TRACE(c + 1);
        EXPECT_EQ(initial[c], channels[c].line.initialHigh ? 1 : 0);
        EXPECT_EQ(edges[c], channels[c].line.edges);
    }
}

TEST(ChannelLevels, EdgesMatchTheSamplesAndStopBeforeTheEndByte) {
    const ChannelBuffer& b = capture().buffers[1];
    const ChannelLevels line = channelLevels(b);
    std::vector<int32_t> expected;
    for (int s = 1; s < kCaptureSamples; ++s) {
        if (sampleAt(b, s) != sampleAt(b, s - 1)) {
            expected.push_back(s);
        }
    }
    EXPECT_EQ(line.initialHigh, sampleAt(b, 0));
    EXPECT_EQ(line.edges, expected);
    EXPECT_EQ(formatSampleTimeUs(10), "401.474");
    EXPECT_EQ(formatSampleTimeUs(kCaptureSamples), "20391025.0496");
}

} // namespace
