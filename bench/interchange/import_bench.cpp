// Speed of the imports: a LIRC mode2 recording of a whole capture (20.39 s of NEC key presses
// and repeat codes, and a line flipping every third sample) read into a channel buffer, as
// 导入波形… and velmoran-ird import do; and a
// lircd.conf of 1 MB (250 remotes of 48 keys) added to an empty remote library, each remote
// first looked up among those already there, as 导入遥控器定义… does.
//
//   bench_import [--benchmark_repetitions=N]

#include <benchmark/benchmark.h>

#include <QFile>
#include <QTemporaryDir>

#include "core/channel_levels.h"
#include "interchange/capture_import.h"
#include "interchange/exporters.h"
#include "interchange/remote_library.h"
#include "tools/irgen/ir_generator.h"

using namespace velmoran;
using namespace velmoran::interchange;

namespace {

constexpr int kRemotes = 250;
constexpr int kKeysPerRemote = 48;
constexpr qint64 kWantedConfBytes = 1000 * 1000;

void write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
        std::abort();
    }
}

void BM_ImportMode2OfAWholeCapture(benchmark::State& state) {
    QTemporaryDir dir;
    irgen::Options o;
    o.jitter = 0.1;
    const ChannelLevels line =
        channelLevels(irgen::renderChannel(irgen::generate(irgen::Family::Nec, o)));
    const QString path = dir.filePath(QStringLiteral("capture.mode2"));
    const QByteArray text = exportMode2({1, line});
    write(path, text);
    for (auto _ : state) {
        const ImportedCapture got = importCaptureFile(path);
        ChannelBuffer buffer = channelBufferOf(*got.line);
        benchmark::DoNotOptimize(buffer);
    }
    state.counters["edges"] = static_cast<double>(line.edges.size());
    state.counters["file_bytes"] = static_cast<double>(text.size());
}
BENCHMARK(BM_ImportMode2OfAWholeCapture)->Unit(benchmark::kMillisecond);

// The worst a recording of 20.39 s can be for the board: the line flips every third sample.
void BM_ImportMode2FlippingAllThrough(benchmark::State& state) {
    constexpr int kSamplesPerLevel = 3;
    QTemporaryDir dir;
    ChannelLevels line;
    for (int32_t s = kSamplesPerLevel; s < kCaptureSamples; s += kSamplesPerLevel) {
        line.edges.push_back(s);
    }
    const QString path = dir.filePath(QStringLiteral("dense.mode2"));
    const QByteArray text = exportMode2({1, line});
    write(path, text);
    for (auto _ : state) {
        const ImportedCapture got = importCaptureFile(path);
        ChannelBuffer buffer = channelBufferOf(*got.line);
        benchmark::DoNotOptimize(buffer);
    }
    state.counters["edges"] = static_cast<double>(line.edges.size());
    state.counters["file_bytes"] = static_cast<double>(text.size());
}
BENCHMARK(BM_ImportMode2FlippingAllThrough)->Unit(benchmark::kMillisecond);

QByteArray bigLircdConf() {
    QByteArray out = "# 250 NEC remotes of 48 keys each\n";
    for (int r = 0; r < kRemotes; ++r) {
        out += "\nbegin remote\n  name remote_" + QByteArray::number(r) +
               "\n  bits 16\n  flags SPACE_ENC|CONST_LENGTH\n  eps 30\n  aeps 100\n"
               "  header 9000 4500\n  one 563 1687\n  zero 563 562\n  ptrail 563\n"
               "  repeat 9000 2250\n  pre_data_bits 16\n  pre_data 0x" +
               QByteArray::number(0x1000 + r, 16) +
               "\n  gap 108000\n  toggle_bit_mask 0x0\n  frequency 38000\n  begin codes\n";
        for (int k = 0; k < kKeysPerRemote; ++k) {
            const int command = (r * 7 + k) & 0xFF;
            out += "      KEY_FUNCTION_" + QByteArray::number(k).rightJustified(3, '0') +
                   "                0x" +
                   QByteArray::number(command << 8 | (~command & 0xFF), 16).rightJustified(4, '0') +
                   "  # key " + QByteArray::number(k) + " of remote " + QByteArray::number(r) +
                   ", as irrecord wrote it\n";
        }
        out += "  end codes\nend remote\n";
    }
    return out;
}

void BM_ImportLircdConfOfOneMegabyte(benchmark::State& state) {
    QTemporaryDir dir;
    const QString conf = dir.filePath(QStringLiteral("lircd.conf.big"));
    const QByteArray text = bigLircdConf();
    if (text.size() < kWantedConfBytes) {
        state.SkipWithError("the lircd.conf is smaller than 1 MB");
        return;
    }
    write(conf, text);
    int round = 0;
    for (auto _ : state) {
        RemoteLibrary library;
        library.load(dir.filePath(QStringLiteral("library%1.lircd.conf").arg(++round)));
        std::vector<infrared::LircRemote> read;
        RemoteLibrary::readRemoteFiles({conf}, read);
        std::vector<infrared::LircRemote> added;
        for (infrared::LircRemote& r : read) {
            if (!library.sameCodesAs(r)) {
                added.push_back(std::move(r));
            }
        }
        if (const auto error = library.addRemotes(std::move(added));
            error || library.remotes().size() != kRemotes) {
            state.SkipWithError(
                error.value_or(QStringLiteral("remotes lost")).toStdString().c_str());
            break;
        }
    }
    state.counters["conf_bytes"] = static_cast<double>(text.size());
}
BENCHMARK(BM_ImportLircdConfOfOneMegabyte)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
