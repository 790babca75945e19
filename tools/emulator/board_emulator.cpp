#include "tools/emulator/board_emulator.h"

#include <algorithm>
#include <random>

namespace velmoran::emulator {

namespace {

constexpr double kCaptureUs = static_cast<double>(kCaptureSamples) * kBoardSamplePeriodUs;
constexpr int kNecBits = 32;

// Appends a low pulse of `lowUs` followed by a high gap, starting at `t`; returns the end time.
double pulse(std::vector<Edge>& edges, double t, double lowUs, double highUs) {
    edges.push_back({t, false});
    edges.push_back({t + lowUs, true});
    return t + lowUs + highUs;
}

void necFrame(std::vector<Edge>& edges, const NecPress& press) {
    double t = pulse(edges, press.startUs, kNecLeaderLowUs, kNecLeaderHighUs);
    const uint8_t bytes[4] = {press.address, static_cast<uint8_t>(~press.address), press.command,
                              static_cast<uint8_t>(~press.command)};
    for (int bit = 0; bit < kNecBits; ++bit) {
        const bool one = (bytes[bit / 8] >> (bit % 8)) & 1; // least significant bit first
        t = pulse(edges, t, kNecBitLowUs, one ? kNecOneHighUs : kNecZeroHighUs);
    }
    pulse(edges, t, kNecBitLowUs, 0.0); // stop bit
    for (int r = 1; r <= press.repeats; ++r) {
        const double rt = press.startUs + r * kNecRepeatPeriodUs;
        const double after = pulse(edges, rt, kNecLeaderLowUs, kNecRepeatHighUs);
        pulse(edges, after, kNecBitLowUs, 0.0);
    }
}

} // namespace

Scenario defaultScenario(uint32_t seed, double jitterUs) {
    std::mt19937 rng(seed);
    Scenario s;
    s.seed = seed;
    s.jitterUs = jitterUs;
    // Seven presses, one in each slot of the capture, with a random start inside the slot.
    constexpr int kPresses = 7;
    constexpr double kSlotUs = kCaptureUs / kPresses;
    const uint8_t address = static_cast<uint8_t>(rng() & 0xFF);
    for (int i = 0; i < kPresses; ++i) {
        NecPress p;
        p.address = (i == kPresses - 1) ? static_cast<uint8_t>(rng() & 0xFF) : address;
        p.command = static_cast<uint8_t>(rng() & 0xFF);
        p.repeats = static_cast<int>(rng() % 6); // up to 5 repeat codes: under 0.7 s held
        const double longest = 0.7e6;
        const double room = kSlotUs - longest - 50000.0;
        p.startUs = i * kSlotUs + 50000.0 + std::uniform_real_distribution<double>(0, room)(rng);
        s.presses.push_back(p);
    }
    return s;
}

std::vector<Edge> scenarioEdges(const Scenario& scenario) {
    std::vector<Edge> edges;
    for (const NecPress& p : scenario.presses) {
        necFrame(edges, p);
    }
    std::stable_sort(edges.begin(), edges.end(),
                     [](const Edge& a, const Edge& b) { return a.timeUs < b.timeUs; });
    if (scenario.jitterUs > 0.0) {
        std::mt19937 rng(scenario.seed ^ 0x9E3779B9u);
        std::uniform_real_distribution<double> d(-scenario.jitterUs, scenario.jitterUs);
        for (Edge& e : edges) {
            e.timeUs += d(rng);
        }
        std::stable_sort(edges.begin(), edges.end(),
                         [](const Edge& a, const Edge& b) { return a.timeUs < b.timeUs; });
    }
    return edges;
}

std::vector<uint8_t> renderBytes(const std::vector<Edge>& edges, double startUs,
                                 std::size_t bytes) {
    std::vector<uint8_t> out(bytes, 0);
    bool level = true;
    auto next = std::lower_bound(edges.begin(), edges.end(), startUs,
                                 [](const Edge& e, double t) { return e.timeUs <= t; });
    if (next != edges.begin()) {
        level = std::prev(next)->high;
    }
    for (std::size_t n = 0; n < bytes; ++n) {
        uint8_t v = 0;
        for (int k = 0; k < 8; ++k) {
            const double t = startUs + static_cast<double>(n * 8 + static_cast<std::size_t>(k)) *
                                           kBoardSamplePeriodUs;
            while (next != edges.end() && next->timeUs <= t) {
                level = next->high;
                ++next;
            }
            v = static_cast<uint8_t>(v | (level ? 0x80 >> k : 0)); // earliest sample in bit 7
        }
        out[n] = v;
    }
    return out;
}

std::vector<uint8_t> renderCapture(const Scenario& scenario, std::size_t bytes) {
    return renderBytes(scenarioEdges(scenario), 0.0, bytes);
}

} // namespace velmoran::emulator
