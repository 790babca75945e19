// The three-row redraw, the path every scroll click takes: Cls and three square-wave rows on
// Picture1 of the real window, for every zoom the buttons reach, on worst-case data. Each case
// runs twice: with the scanline runs the program uses, and with one QPainter per segment.

#include <QApplication>
#include <benchmark/benchmark.h>

#include <functional>
#include <random>
#include <string>

#include "app/form1.h"
#include "bench/support/window_bench.h"
#include "core/channel_levels.h"
#include "display/frame_marks.h"
#include "display/picture_box.h"
#include "infrared/ir_decoder.h"
#include "tools/emulator/board_stream.h"

using namespace velmoran;

namespace {

Form1* gForm = nullptr;

constexpr int16_t kReachableZooms[] = {2,    4,    5,    8,    10,   16,   20,    32,    40,
                                       64,   80,   128,  160,  256,  320,  512,   640,   1024,
                                       1280, 2048, 2560, 4096, 5120, 8192, 10240, 16384, 20480};

enum Data { kAlternating, kRandom };

void fill(Form1& form, Data data) {
    std::mt19937 rng(42);
    for (ChannelBuffer* b : {&form.ChannelData1, &form.ChannelData2, &form.ChannelData3}) {
        for (uint8_t& v : *b) {
            v = data == kAlternating ? 0x55 : static_cast<uint8_t>(rng());
        }
    }
}

void BM_ThreeRowRedraw(benchmark::State& state, LineRasteriser rasteriser, Data data) {
    Form1& form = *gForm;
    fill(form, data);
    form.BitWidth = static_cast<int16_t>(state.range(0));
    form.ViewStart = 1000;
    form.Picture1->setRasteriser(rasteriser);
    for (auto _ : state) {
        form.redrawRows(2 * form.ViewStart);
        benchmark::DoNotOptimize(form.Picture1->image().constBits());
    }
    QApplication::processEvents(); // let the pending repaint happen outside the timing
}

// The redraw with the decoded frames of an emulator capture marked below the rows (on) or not
// (off): what 在波形上标注帧 adds to every redraw.
void BM_RedrawWithFrameMarks(benchmark::State& state, bool marked) {
    Form1& form = *gForm;
    std::vector<infrared::IrFrame> frames;
    for (int ch = 1; ch <= kChannelCount; ++ch) {
        const std::vector<uint8_t> bytes = emulator::streamCapture(ch, 0);
        std::copy(bytes.begin(), bytes.end(), form.channel(ch)->begin());
        const auto found = infrared::decodeInfrared(channelLevels(*form.channel(ch)), ch);
        frames.insert(frames.end(), found.begin(), found.end());
    }
    form.BitWidth = static_cast<int16_t>(state.range(0));
    form.Picture1->setRasteriser(LineRasteriser::Runs);
    // Where the first frame is, so that the view holds frames.
    form.ViewStart = frames.empty() ? 0 : static_cast<int32_t>(frames.front().startSample / 16);
    if (marked) {
        form.setRowsOverlay([&](Surface& surface, int64_t first) {
            drawFrameMarks(surface, frameMarks(frames, {}, first, form.BitWidth, surface.Width()));
        });
    }
    for (auto _ : state) {
        form.redrawRows(2 * form.ViewStart);
        benchmark::DoNotOptimize(form.Picture1->image().constBits());
    }
    form.setRowsOverlay({});
    QApplication::processEvents();
}

void markZooms(benchmark::internal::Benchmark* b) {
    for (int16_t w : {2, 10, 40, 160}) {
        b->Arg(w);
    }
    b->ArgName("BitWidth")->Unit(benchmark::kMillisecond)->MinTime(0.1)->Repetitions(5);
    b->ReportAggregatesOnly(true);
}

BENCHMARK_CAPTURE(BM_RedrawWithFrameMarks, off, false)->Apply(markZooms);
BENCHMARK_CAPTURE(BM_RedrawWithFrameMarks, on, true)->Apply(markZooms);

void zooms(benchmark::internal::Benchmark* b) {
    for (int16_t w : kReachableZooms) {
        b->Arg(w);
    }
    b->ArgName("BitWidth")->Unit(benchmark::kMillisecond)->MinTime(0.1)->Repetitions(5);
    b->ReportAggregatesOnly(true);
}

BENCHMARK_CAPTURE(BM_ThreeRowRedraw, runs_0x55, LineRasteriser::Runs, kAlternating)->Apply(zooms);
BENCHMARK_CAPTURE(BM_ThreeRowRedraw, painter_0x55, LineRasteriser::Painter, kAlternating)
    ->Apply(zooms);
BENCHMARK_CAPTURE(BM_ThreeRowRedraw, runs_random, LineRasteriser::Runs, kRandom)->Apply(zooms);
BENCHMARK_CAPTURE(BM_ThreeRowRedraw, painter_random, LineRasteriser::Painter, kRandom)
    ->Apply(zooms);

} // namespace

int main(int argc, char** argv) {
    return velmoran::bench::runWindowBenchmarks(argc, argv, [](const std::function<void()>& run) {
        Form1 form([](int) { return QString(); });
        form.show();
        QApplication::processEvents();
        gForm = &form;
        run();
        gForm = nullptr;
    });
}
