// Speed of the remote matcher: every frame of a full three-channel capture from the board
// emulator (NEC frames and repeat codes) looked up in a library of 100 remotes, as the frame
// list does after each capture. The library holds the remotes of all ten families, made from
// generated captures as naming their keys would make them, copies of them with other codes, and
// the emulator's own remotes last, so that every frame is tried against all the others first.
//
//   bench_remote_match [--benchmark_repetitions=N]

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>

#include "core/channel_levels.h"
#include "infrared/remote_definition.h"
#include "interchange/lircd_conf.h"
#include "interchange/lircd_export.h"
#include "tools/emulator/board_stream.h"
#include "tools/irgen/ir_generator.h"

using namespace velmoran;
using namespace velmoran::infrared;

namespace {

constexpr std::size_t kLibraryRemotes = 100;
constexpr uint64_t kOtherCodes = 0x5a5a5a5a5a5aULL;

std::vector<IrFrame> decode(const ChannelBuffer& buffer, int channel) {
    return decodeInfrared(channelLevels(buffer), channel, IrUnknownBursts::Listed);
}

// The remotes a capture's keys go into, every key named.
void addRemotesOf(const std::vector<IrFrame>& frames, std::vector<LircRemote>& remotes) {
    for (const IrFrame& f : frames) {
        if (!f.keyKnown || f.protocol == IrProtocol::NecRepeat ||
            f.protocol == IrProtocol::Unknown) {
            continue;
        }
        LircRemote r = interchange::lircRemoteOf(f);
        auto it = std::find_if(remotes.begin(), remotes.end(),
                               [&](const LircRemote& x) { return x.name == r.name; });
        if (it == remotes.end()) {
            remotes.push_back(r);
            it = remotes.end() - 1;
        }
        const uint64_t code = interchange::lircCodeOf(f);
        if (std::none_of(it->codes.begin(), it->codes.end(),
                         [&](const LircCode& c) { return c.code == code; })) {
            it->codes.push_back({interchange::keyName(f, {}), code, {}});
        }
    }
}

struct Fixture {
    std::vector<IrFrame> frames;
    std::vector<LircRemote> library;
};

Fixture makeFixture() {
    Fixture fx;
    std::unique_ptr<ChannelBuffer[]> buffers(new ChannelBuffer[kChannelCount]{});
    for (int c = 0; c < kChannelCount; ++c) {
        const std::vector<uint8_t> bytes = emulator::streamCapture(1, static_cast<std::size_t>(c));
        std::copy_n(bytes.begin(), std::min(bytes.size(), buffers[c].size()), buffers[c].begin());
        const std::vector<IrFrame> found = decode(buffers[c], c + 1);
        fx.frames.insert(fx.frames.end(), found.begin(), found.end());
    }
    std::vector<LircRemote> families;
    for (const irgen::Family family : irgen::kFamilies) {
        irgen::Options o;
        o.seed = static_cast<uint32_t>(family);
        addRemotesOf(decode(irgen::renderChannel(irgen::generate(family, o)), 1), families);
    }
    std::vector<LircRemote> own;
    addRemotesOf(fx.frames, own);
    for (std::size_t i = 0; fx.library.size() + own.size() < kLibraryRemotes; ++i) {
        LircRemote r = families[i % families.size()];
        if (i >= families.size()) {
            r.name += QStringLiteral("_copy%1").arg(i);
            for (LircCode& c : r.codes) {
                c.code ^= kOtherCodes & ((uint64_t{1} << std::min(r.bits, 63)) - 1);
            }
        }
        fx.library.push_back(r);
    }
    fx.library.insert(fx.library.end(), own.begin(), own.end());
    return fx;
}

void BM_MatchCaptureAgainst100Remotes(benchmark::State& state) {
    const Fixture fx = makeFixture();
    const LircMatcher matcher(fx.library);
    std::size_t matched = 0;
    for (auto _ : state) {
        const std::vector<std::optional<LircKey>> keys = matcher.matchFrames(fx.frames);
        matched = static_cast<std::size_t>(
            std::count_if(keys.begin(), keys.end(),
                          [](const std::optional<LircKey>& k) { return k.has_value(); }));
        benchmark::DoNotOptimize(matched);
    }
    state.counters["frames"] = static_cast<double>(fx.frames.size());
    state.counters["matched"] = static_cast<double>(matched);
    state.counters["remotes"] = static_cast<double>(fx.library.size());
}
BENCHMARK(BM_MatchCaptureAgainst100Remotes)->Unit(benchmark::kMillisecond);

// A hostile library: 1,000 bi-phase remotes with a 40 µs unit, each with its own codes, against
// a capture of 0x55 bytes (the line flips every sample), where every remote reads bits
// everywhere. The matcher gives up on such a stream instead of taking seconds.
void BM_Match0x55Against1000BiphaseRemotes(benchmark::State& state) {
    constexpr std::size_t kRemotes = 1000;
    constexpr int kUnitUs = 40;
    constexpr int kBits = 13;
    constexpr uint8_t kAlternate = 0x55;
    std::vector<LircRemote> remotes(kRemotes);
    for (std::size_t i = 0; i < kRemotes; ++i) {
        LircRemote& r = remotes[i];
        r.name = QStringLiteral("biphase%1").arg(i);
        r.flags = kLircRc5;
        r.bits = kBits;
        r.one = {kUnitUs, kUnitUs};
        r.zero = {kUnitUs, kUnitUs};
        r.gap = kUnitUs;
        r.codes = {{QStringLiteral("KEY_%1").arg(i), i, {}}};
    }
    ChannelBuffer buffer{};
    std::fill(buffer.begin(), buffer.end(), kAlternate);
    const std::vector<IrFrame> frames = decode(buffer, 1);
    const LircMatcher matcher(remotes);
    for (auto _ : state) {
        benchmark::DoNotOptimize(matcher.matchFrames(frames));
    }
    state.counters["frames"] = static_cast<double>(frames.size());
}
BENCHMARK(BM_Match0x55Against1000BiphaseRemotes)->Unit(benchmark::kMillisecond);

// The library read from its lircd.conf text as at start-up, and its matcher built.
void BM_ReadLibraryOf100Remotes(benchmark::State& state) {
    const QByteArray text = interchange::writeLircdConf(makeFixture().library);
    for (auto _ : state) {
        std::vector<LircRemote> remotes;
        benchmark::DoNotOptimize(
            interchange::readLircdConf(text, QStringLiteral("bench"), remotes));
        const LircMatcher matcher(remotes);
        benchmark::DoNotOptimize(&matcher);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * text.size());
}
BENCHMARK(BM_ReadLibraryOf100Remotes)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
