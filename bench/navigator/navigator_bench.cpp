// The navigator's costs on full captures from the board emulator: the overview computed and
// painted, the three channels decoded, and a click in the overview or the frame list until the
// chart has been redrawn and painted on screen.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMouseEvent>
#include <QPainter>
#include <QTableView>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "acquisition/monitor.h"
#include "app/form1.h"
#include "app/main_window.h"
#include "app/vb_label.h"
#include "bench/support/window_bench.h"
#include "core/channel_levels.h"
#include "files/capture_file.h"
#include "navigator/detail_chart.h"
#include "navigator/frame_list.h"
#include "navigator/navigator_panel.h"
#include "navigator/overview.h"
#include "tools/emulator/board_stream.h"

using namespace velmoran;

namespace {

// Captures 0, 1 and 2 of the emulator's stream in channels 1, 2 and 3.
void fillFromEmulator(CaptureStore& store) {
    for (int ch = 1; ch <= kChannelCount; ++ch) {
        const std::vector<uint8_t> bytes =
            emulator::streamCapture(1, static_cast<std::size_t>(ch - 1));
        std::copy(bytes.begin(), bytes.end(), store.channel(ch)->begin());
    }
}

// Random bytes: an edge in nearly every column, the overview's worst case.
void fillRandom(CaptureStore& store) {
    uint32_t x = 12345;
    for (int ch = 1; ch <= kChannelCount; ++ch) {
        for (uint8_t& b : *store.channel(ch)) {
            x = x * 1664525u + 1013904223u;
            b = static_cast<uint8_t>(x >> 24);
        }
    }
}

void BM_OverviewComputeAndPaint(benchmark::State& state) {
    CaptureStore store;
    state.range(0) == 0 ? fillFromEmulator(store) : fillRandom(store);
    navigator::Overview overview;
    overview.resize(static_cast<int>(state.range(1)), navigator::Overview::fixedHeight());
    overview.setBuffers(store.buffers());
    QImage target(overview.size(), QImage::Format_RGB32);
    for (auto _ : state) {
        overview.refresh();
        overview.render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_OverviewComputeAndPaint)
    ->ArgNames({"random", "width"})
    ->Args({0, 704})
    ->Args({1, 704})
    ->Args({1, 1920})
    ->Unit(benchmark::kMillisecond);

void BM_DecodeThreeChannels(benchmark::State& state) {
    CaptureStore store;
    state.range(0) == 0 ? fillFromEmulator(store) : fillRandom(store);
    std::size_t frames = 0;
    for (auto _ : state) {
        const auto found = navigator::decodeChannels(store.buffers());
        frames = found.size();
        benchmark::DoNotOptimize(found.data());
    }
    state.counters["frames"] = static_cast<double>(frames);
}
BENCHMARK(BM_DecodeThreeChannels)->ArgName("random")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The detail chart at 1920 x 1000 redrawing three full captures and their frames: the whole
// capture, a span of 1 / `divisor` of it (divisor 0: the finest zoom). Each pass moves or
// scales the view by a pixel so that everything is drawn again.
void BM_DetailChartRedraw(benchmark::State& state) {
    CaptureStore store;
    state.range(0) == 0 ? fillFromEmulator(store) : fillRandom(store);
    navigator::DetailChart chart;
    chart.resize(1920, 1000);
    for (int ch = 1; ch <= kChannelCount; ++ch) {
        chart.setLine(ch, channelLevels(*store.channel(ch)));
    }
    chart.setFrames(navigator::decodeChannels(store.buffers()));
    const auto total = static_cast<double>(kCaptureSamples);
    const double shown = state.range(1) == 0
                             ? chart.width() * navigator::DetailChart::kFinestSamplesPerPixel
                             : total / static_cast<double>(state.range(1));
    const double middle = total / 2 - shown / 2;
    int i = 0;
    for (auto _ : state) {
        // The whole capture cannot move: it narrows by a pixel instead.
        const int odd = i++ % 2;
        if (state.range(1) == 1) {
            chart.showSpan(0, shown - odd * shown / chart.width());
        } else {
            chart.showSpan(middle + odd * shown / chart.width(), shown);
        }
        benchmark::DoNotOptimize(chart.chart().constBits());
    }
    state.counters["frames"] = static_cast<double>(chart.frames().size());
}
BENCHMARK(BM_DetailChartRedraw)
    ->ArgNames({"random", "divisor"})
    ->Args({0, 1})
    ->Args({1, 1})
    ->Args({0, 10})
    ->Args({0, 200})
    ->Args({0, 5000})
    ->Args({0, 0})
    ->Args({1, 200})
    ->Unit(benchmark::kMillisecond);

// The window with three emulator captures loaded from a file, as 载入 does, and the navigator
// shown.
struct Window {
    Window() {
        CaptureStore store;
        fillFromEmulator(store);
        const QString path = QDir::temp().filePath(
            QStringLiteral("bench_navigator_%1.ird").arg(QCoreApplication::applicationPid()));
        const auto& ch = store.buffers();
        if (!saveCaptureFile(path, *ch[0], *ch[1], *ch[2]).ok || !window.openFile(path)) {
            std::fprintf(stderr, "bench_navigator: the captures could not be loaded\n");
            std::exit(1);
        }
        QFile::remove(path);
        window.show();
        window.setNavigatorShown(true);
        QApplication::processEvents();
    }
    MainWindow window{[](int) { return QString(); }};
};

void BM_OverviewClickToChartPainted(benchmark::State& state) {
    Window w;
    navigator::Overview* overview = w.window.navigatorPanel()->overview();
    int i = 0;
    for (auto _ : state) {
        // A different place each time, so that the chart really moves.
        const QPointF at((i++ * 37) % overview->width(), 5);
        QMouseEvent press(QEvent::MouseButtonPress, at, overview->mapToGlobal(at), Qt::LeftButton,
                          Qt::LeftButton, {});
        QApplication::sendEvent(overview, &press);
        QMouseEvent release(QEvent::MouseButtonRelease, at, overview->mapToGlobal(at),
                            Qt::LeftButton, Qt::NoButton, {});
        QApplication::sendEvent(overview, &release);
        w.window.repaint(); // the chart and the overview on screen
    }
}
BENCHMARK(BM_OverviewClickToChartPainted)->Unit(benchmark::kMillisecond);

void BM_FrameRowToChartPainted(benchmark::State& state) {
    Window w;
    QTableView* table = w.window.navigatorPanel()->frameTable();
    const int rows = table->model()->rowCount();
    int i = 0;
    for (auto _ : state) {
        table->setCurrentIndex(table->model()->index((i++ * 7) % rows, 0));
        w.window.repaint();
    }
    state.counters["rows"] = rows;
}
BENCHMARK(BM_FrameRowToChartPainted)->Unit(benchmark::kMillisecond);

// The frame list's viewport painted again, as when a live update adds rows below those shown.
void BM_FrameListRepaint(benchmark::State& state) {
    Window w;
    QTableView* table = w.window.navigatorPanel()->frameTable();
    for (auto _ : state) {
        table->viewport()->repaint();
    }
    state.counters["rows shown"] = table->rowAt(table->viewport()->height() - 1) + 1;
}
BENCHMARK(BM_FrameListRepaint)->Unit(benchmark::kMillisecond);

// The monitor's labels on a tick, in the window itself: the rate label (sized to its caption)
// takes one of a capture's usual rates, the percentage one the next share, and the window paints
// them.
void BM_MonitorLabelsTickInTheWindow(benchmark::State& state) {
    Form1 form([](int) { return QString(); });
    form.show();
    QCoreApplication::processEvents();
    int tick = 0;
    constexpr int kRates = 40;         // the rates one capture shows
    constexpr int kBytesPerTick = 600; // about the board's, a tick being 200 ms
    for (auto _ : state) {
        ++tick;
        form.Label2->setCaption(rateText(kBytesPerTick + tick % kRates, 0, 0));
        form.Label12->setCaption(percentText((tick % 100) * kCaptureBytes / 100 + 1));
        QCoreApplication::sendPostedEvents();
        form.repaint(form.Label2->geometry().united(
            form.Label12->geometry().translated(form.Label12->parentWidget()->pos())));
    }
}
BENCHMARK(BM_MonitorLabelsTickInTheWindow)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    return velmoran::bench::runWindowBenchmarks(argc, argv);
}
