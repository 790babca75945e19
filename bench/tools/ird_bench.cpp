// Times velmoran-ird on a full three-channel capture file (export in every format, decode)
// against sigrok-cli converting the same data, a session file, to VCD, in the same run.
// Each command runs as a process, as a user would run it; the figure is the median wall time.
//
//   bench_ird [runs]      (default 9 runs per command)

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

#include "core/channel_levels.h"
#include "files/capture_file.h"
#include "infrared/ir_decoder.h"
#include "interchange/exporters.h"
#include "tools/emulator/board_emulator.h"

using namespace velmoran;
using namespace velmoran::infrared;
using namespace velmoran::interchange;

namespace {

constexpr int kDefaultRuns = 9;

ChannelBuffer emulatorChannel(uint32_t seed, double jitterUs) {
    const std::vector<uint8_t> bytes =
        emulator::renderCapture(emulator::defaultScenario(seed, jitterUs));
    ChannelBuffer b{};
    std::copy(bytes.begin(), bytes.end(), b.begin());
    return b;
}

ChannelBuffer randomChannel(uint32_t seed) {
    std::mt19937 rng(seed);
    ChannelBuffer b{};
    for (uint8_t& v : b) {
        v = static_cast<uint8_t>(rng());
    }
    return b;
}

// Median wall time of a command in milliseconds; -1 if it fails.
double medianMs(const QString& program, const QStringList& args, int runs) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QProcess p;
        p.setStandardOutputFile(QProcess::nullDevice());
        QElapsedTimer t;
        t.start();
        p.start(program, args);
        if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit ||
            p.exitCode() != 0) {
            std::fprintf(stderr, "failed: %s %s\n%s\n", qPrintable(program),
                         qPrintable(args.join(' ')), p.readAllStandardError().constData());
            return -1;
        }
        times.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

template <class F> double medianInProcessMs(F work, int runs) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        work();
        times.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void benchFile(const char* title, const QString& ird, const QTemporaryDir& dir,
               const QString& sigrok, int runs) {
    const QString ird_tool = QStringLiteral(VELMORAN_IRD_PROGRAM);
    ChannelBuffer a{}, b{}, c{};
    loadCaptureFile(ird, a, b, c);
    std::size_t edges = 0;
    for (const ChannelBuffer* buf : {&a, &b, &c}) {
        edges += channelLevels(*buf).edges.size();
    }
    std::printf("\n%s: 3 x 507,904 samples, %zu edges\n", title, edges);
    std::printf("  %-44s %10s\n", "command (process, median of runs)", "ms");
    const QString sr = dir.filePath("capture.sr");
    struct Row {
        const char* label;
        QStringList args;
    };
    const std::vector<Row> rows{
        {"velmoran-ird export --format vcd (+ .gtkw)",
         {"export", ird, "--format", "vcd", "-o", dir.filePath("out.vcd")}},
        {"velmoran-ird export --format sr", {"export", ird, "--format", "sr", "-o", sr}},
        {"velmoran-ird export --format csv",
         {"export", ird, "--format", "csv", "-o", dir.filePath("out.csv")}},
        {"velmoran-ird export --format mode2",
         {"export", ird, "--format", "mode2", "-o", dir.filePath("out.mode2")}},
        {"velmoran-ird decode (all three channels)", {"decode", ird}},
    };
    double vcdMs = 0;
    for (const Row& row : rows) {
        const double ms = medianMs(ird_tool, row.args, runs);
        if (vcdMs == 0) {
            vcdMs = ms;
        }
        std::printf("  %-44s %10.2f\n", row.label, ms);
    }
    if (sigrok.isEmpty()) {
        std::printf("  sigrok-cli not found: no comparison\n");
        return;
    }
    const double sigrokMs =
        medianMs(sigrok, {"-i", sr, "-O", "vcd", "-o", dir.filePath("sigrok.vcd")}, runs);
    std::printf("  %-44s %10.2f\n", "sigrok-cli -i capture.sr -O vcd", sigrokMs);
    std::printf("  ratio sigrok-cli / velmoran-ird (VCD): %.2f\n", sigrokMs / vcdMs);

    const double libVcd = medianInProcessMs(
        [&] {
            std::vector<ExportChannel> ch{
                {1, channelLevels(a)}, {2, channelLevels(b)}, {3, channelLevels(c)}};
            volatile auto size = exportVcd(ch).size();
            (void)size;
        },
        runs);
    const double libDecode = medianInProcessMs(
        [&] {
            std::size_t n = 0;
            for (const ChannelBuffer* buf : {&a, &b, &c}) {
                n += decodeInfrared(channelLevels(*buf), 1).size();
            }
            volatile std::size_t frames = n;
            (void)frames;
        },
        runs);
    std::printf("  in process: edges + VCD %.2f ms, edges + decode %.2f ms\n", libVcd, libDecode);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : kDefaultRuns;
    QTemporaryDir dir;
    if (!dir.isValid()) {
        return 1;
    }
    const QString sigrok = QStandardPaths::findExecutable(QStringLiteral("sigrok-cli"));
    const QString infrared = dir.filePath("infrared.ird");
    saveCaptureFile(infrared, emulatorChannel(1, 30), emulatorChannel(2, 30),
                    emulatorChannel(3, 0));
    const QString dense = dir.filePath("dense.ird");
    saveCaptureFile(dense, randomChannel(1), randomChannel(2), randomChannel(3));
    std::printf("velmoran-ird against sigrok-cli, %d runs each\n", runs);
    benchFile("infrared capture (emulator, NEC presses)", infrared, dir, sigrok, runs);
    benchFile("dense capture (random bytes, an edge every other sample)", dense, dir, sigrok, runs);
    return 0;
}
