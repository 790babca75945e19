// Load (with the redraw that follows it in the window) and save of one 190,467-byte capture file.
// Run: build/bench/files/bench_files [--benchmark_filter=...]

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include "app/form1.h"
#include "bench/support/window_bench.h"
#include "core/constants.h"
#include "display/vb_scroll_bar.h"
#include "files/capture_file.h"

using namespace velmoran;

namespace {

void fill(CaptureStore& store) {
    uint32_t x = 88172645u;
    for (ChannelBuffer* b : {&store.ChannelData1, &store.ChannelData2, &store.ChannelData3}) {
        for (uint8_t& byte : *b) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            byte = static_cast<uint8_t>(x);
        }
    }
}

// Where the file lives: the disk (/tmp), or memory (/dev/shm, where the flush to disk that a
// safe replace ends with costs nothing) to see the transfer alone.
enum Place { kDisk = 0, kMemory = 1 };

QString folder(int place) {
    return place == kMemory ? QStringLiteral("/dev/shm/velmoran-bench-XXXXXX")
                            : QDir::tempPath() + QStringLiteral("/velmoran-bench-XXXXXX");
}

struct Fixture {
    explicit Fixture(int place = kDisk) : dir(folder(place)) {
        path = dir.filePath(QStringLiteral("bench.ird"));
        fill(store);
        saveCaptureFile(path, store.ChannelData1, store.ChannelData2, store.ChannelData3);
    }
    QTemporaryDir dir;
    QString path;
    CaptureStore store;
};

void BM_Save(benchmark::State& state) {
    Fixture f(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        const auto r = saveCaptureFile(f.path, f.store.ChannelData1, f.store.ChannelData2,
                                       f.store.ChannelData3);
        if (!r.ok) {
            state.SkipWithError("save failed");
        }
    }
    state.SetBytesProcessed(state.iterations() * kCaptureFileBytes);
}
BENCHMARK(BM_Save)->ArgName("in_memory")->Arg(kDisk)->Arg(kMemory)->Unit(benchmark::kMicrosecond);

void BM_Load(benchmark::State& state) {
    Fixture f(static_cast<int>(state.range(0)));
    CaptureStore into;
    for (auto _ : state) {
        const auto r =
            loadCaptureFile(f.path, into.ChannelData1, into.ChannelData2, into.ChannelData3);
        if (!r.ok) {
            state.SkipWithError("load failed");
        }
        benchmark::DoNotOptimize(into.ChannelData3.data());
    }
    state.SetBytesProcessed(state.iterations() * kCaptureFileBytes);
}
BENCHMARK(BM_Load)->ArgName("in_memory")->Arg(kDisk)->Arg(kMemory)->Unit(benchmark::kMicrosecond);

// What Command1_Click does once the dialog has closed: the load, then the three-row redraw
// from the scroll bar's position at the zoom given as argument (twips per sample).
void BM_LoadAndRedraw(benchmark::State& state) {
    Fixture f;
    Form1 form([](int) { return QString(); });
    form.BitWidth = static_cast<int16_t>(state.range(0));
    form.HScroll1->setValue(100);
    for (auto _ : state) {
        const auto r =
            loadCaptureFile(f.path, form.ChannelData1, form.ChannelData2, form.ChannelData3);
        if (!r.ok) {
            state.SkipWithError("load failed");
        }
        form.ViewStart = form.HScroll1->Value();
        form.redrawRows(kBytesPerScrollUnit * form.ViewStart);
    }
}
BENCHMARK(BM_LoadAndRedraw)->Arg(2)->Arg(10)->Arg(20480)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return velmoran::bench::runWindowBenchmarks(argc, argv);
}
