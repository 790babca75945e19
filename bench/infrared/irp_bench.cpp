// Speed of the protocol table: reading it at start-up, decoding full captures with it after
// the family decoders (the same channels as bench_ir_decode, and a capture of every protocol of
// the table one after the other), the bit cells of every frame decoded (as the charts draw
// them), and generating a capture from a protocol's description.
//
//   bench_irp [--benchmark_repetitions=N]

#include <benchmark/benchmark.h>

#include <memory>
#include <random>

#include "core/channel_levels.h"
#include "infrared/frame_cells.h"
#include "infrared/ir_decoder.h"
#include "infrared/irp/irp_decode.h"
#include "infrared/irp/irp_table.h"
#include "tools/ird/ird_generate.h"
#include "tools/irgen/ir_generator.h"

#include "bench_captures.h"

using namespace velmoran;
using namespace velmoran::infrared;

namespace {

using bench::kJitter;
// Between two protocols' presses in the capture of the whole table.
constexpr double kRestUs = 150000;

void decodeAll(benchmark::State& state, const ChannelBuffer* buffers) {
    const irp::ProtocolTable& table = irp::builtinTable();
    std::size_t named = 0;
    for (auto _ : state) {
        named = 0;
        for (int c = 0; c < kChannelCount; ++c) {
            const ChannelLevels line = channelLevels(buffers[c]);
            const std::vector<IrFrame> frames = irp::decodeWithProtocols(
                decodeInfrared(line, c + 1, IrUnknownBursts::Listed), line, table);
            named += static_cast<std::size_t>(std::count_if(
                frames.begin(), frames.end(), [](const IrFrame& f) { return !f.named.isEmpty(); }));
        }
        benchmark::DoNotOptimize(named);
    }
    state.counters["named"] = static_cast<double>(named);
}

void BM_LoadTable(benchmark::State& state) {
    const QString text = irp::builtinTableText();
    for (auto _ : state) {
        benchmark::DoNotOptimize(irp::parseTable(text).protocols().size());
    }
}
BENCHMARK(BM_LoadTable)->Unit(benchmark::kMillisecond);

// Every protocol of the table with random parameters, one press with a repeat each, channel
// after channel until the table is used up.
void BM_DecodeTheWholeTable(benchmark::State& state) {
    std::unique_ptr<ChannelBuffer[]> buffers(new ChannelBuffer[kChannelCount]{});
    std::mt19937 rng(26);
    const auto& protocols = irp::builtinTable().protocols();
    std::size_t next = 0;
    for (int c = 0; c < kChannelCount; ++c) {
        std::vector<double> line;
        double total = 0;
        for (; next < protocols.size(); ++next) {
            const irp::Protocol& p = protocols[next]->protocol;
            irp::Values values;
            for (const irp::ParameterSpec& spec : p.parameters) {
                if (!spec.defaultValue) {
                    values[spec.name] =
                        std::uniform_int_distribution<int64_t>(spec.min, spec.max)(rng);
                }
            }
            const irp::Rendered r = irp::render(p, values);
            if (!r.signal) {
                continue;
            }
            const std::vector<double> press = interchange::pressDurations(*r.signal, 1);
            double length = kRestUs;
            for (const double d : press) {
                length += std::abs(d);
            }
            if (total + length + interchange::kGeneratedStartUs >
                kCaptureSamples * kSamplePeriodUsExact) {
                break;
            }
            total += length;
            line.insert(line.end(), press.begin(), press.end());
            line.push_back(-kRestUs);
        }
        interchange::sampleInto(line, buffers[c]);
    }
    decodeAll(state, buffers.get());
}
BENCHMARK(BM_DecodeTheWholeTable)->Unit(benchmark::kMillisecond);

void BM_DecodeFramesWithTable(benchmark::State& state) {
    decodeAll(state, bench::generatedCapture(0).get());
}
BENCHMARK(BM_DecodeFramesWithTable)->Unit(benchmark::kMillisecond);

// The bit cells of every frame of the family channels, each read again by its description.
void BM_FrameCellsOfFamilyFrames(benchmark::State& state) {
    constexpr int kCount = static_cast<int>(std::size(irgen::kFamilies));
    std::vector<IrFrame> frames;
    for (int c = 0; c < kChannelCount; ++c) {
        irgen::Options o;
        o.jitter = kJitter;
        o.seed = static_cast<uint32_t>(c);
        const ChannelBuffer buffer =
            irgen::renderChannel(irgen::generate(irgen::kFamilies[c % kCount], o));
        const ChannelLevels line = channelLevels(buffer);
        const std::vector<IrFrame> decoded = irp::decodeWithProtocols(
            decodeInfrared(line, c + 1, IrUnknownBursts::Listed), line, irp::builtinTable());
        frames.insert(frames.end(), decoded.begin(), decoded.end());
    }
    std::size_t bits = 0;
    for (auto _ : state) {
        bits = 0;
        for (const IrFrame& f : frames) {
            bits += frameCells(f).bits.size();
        }
        benchmark::DoNotOptimize(bits);
    }
    state.counters["frames"] = static_cast<double>(frames.size());
    state.counters["bits"] = static_cast<double>(bits);
}
BENCHMARK(BM_FrameCellsOfFamilyFrames)->Unit(benchmark::kMillisecond);

void BM_DecodeUnknownRemotesWithTable(benchmark::State& state) {
    decodeAll(state, bench::unknownRemotesCapture().get());
}
BENCHMARK(BM_DecodeUnknownRemotesWithTable)->Unit(benchmark::kMillisecond);

void BM_DecodeRandomBytesWithTable(benchmark::State& state) {
    decodeAll(state, bench::randomBytesCapture().get());
}
BENCHMARK(BM_DecodeRandomBytesWithTable)->Unit(benchmark::kMillisecond);

// A capture of NEC1 held for two seconds: the description rendered and sampled.
void BM_GenerateCapture(benchmark::State& state) {
    const irp::CompiledProtocol* nec = irp::builtinTable().find(QStringLiteral("NEC1"));
    ChannelBuffer buffer{};
    for (auto _ : state) {
        const irp::Rendered r = irp::render(nec->protocol, {{"D", 4}, {"F", 8}});
        interchange::sampleInto(interchange::pressDurations(*r.signal, 18), buffer);
        benchmark::DoNotOptimize(buffer.data());
    }
}
BENCHMARK(BM_GenerateCapture)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
