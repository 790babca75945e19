// Speed of the infrared decoder, the analysis of unknown bursts included: all ten families over
// the three channels of a full capture, edges extracted from the buffers included. The channels
// carry the board emulator's capture (three seeds), generated frames of three families each run
// (every family appears), the generated remotes no decoder knows, and a line of random bytes
// stands for the worst case of a channel full of edges no decoder claims.
//
//   bench_ir_decode [--benchmark_repetitions=N]

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>

#include "core/channel_levels.h"
#include "infrared/ir_decoder.h"
#include "tools/irgen/ir_generator.h"

#include "bench_captures.h"

using namespace velmoran;
using namespace velmoran::infrared;
using velmoran::bench::generatedCapture;

namespace {

void decodeAll(benchmark::State& state, const ChannelBuffer* buffers) {
    std::size_t frames = 0;
    for (auto _ : state) {
        frames = 0;
        for (int c = 0; c < kChannelCount; ++c) {
            frames +=
                decodeInfrared(channelLevels(buffers[c]), c + 1, IrUnknownBursts::Listed).size();
        }
        benchmark::DoNotOptimize(frames);
    }
    state.counters["frames"] = static_cast<double>(frames);
}

void BM_DecodeThreeChannelsOfFrames(benchmark::State& state) {
    const auto buffers = generatedCapture(static_cast<int>(state.range(0)));
    decodeAll(state, buffers.get());
}
// Families 0-2, 3-5, 6-8 and 9, 0, 1: every family in some run.
BENCHMARK(BM_DecodeThreeChannelsOfFrames)
    ->Arg(0)
    ->Arg(3)
    ->Arg(6)
    ->Arg(9)
    ->Unit(benchmark::kMillisecond);

void BM_DecodeThreeChannelsOfTheEmulator(benchmark::State& state) {
    std::unique_ptr<ChannelBuffer[]> buffers(new ChannelBuffer[kChannelCount]{});
    for (int c = 0; c < kChannelCount; ++c) {
        const std::vector<uint8_t> bytes =
            emulator::renderCapture(emulator::defaultScenario(static_cast<uint32_t>(c + 1)));
        std::copy(bytes.begin(), bytes.begin() + kCaptureBytes, buffers[c].begin());
    }
    decodeAll(state, buffers.get());
}
BENCHMARK(BM_DecodeThreeChannelsOfTheEmulator)->Unit(benchmark::kMillisecond);

void BM_DecodeThreeChannelsOfUnknownRemotes(benchmark::State& state) {
    decodeAll(state, bench::unknownRemotesCapture().get());
}
BENCHMARK(BM_DecodeThreeChannelsOfUnknownRemotes)->Unit(benchmark::kMillisecond);

void BM_DecodeThreeChannelsOfRandomBytes(benchmark::State& state) {
    decodeAll(state, bench::randomBytesCapture().get());
}
BENCHMARK(BM_DecodeThreeChannelsOfRandomBytes)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
