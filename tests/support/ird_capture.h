#pragma once

// Captures for the decoder, exporter and velmoran-ird tests: lines built from marks and spaces or
// from the board emulator's scenarios, rendered by the emulator into channel buffers and capture
// files.

#include <QString>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "core/channel_buffer.h"
#include "files/capture_file.h"
#include "tools/emulator/board_emulator.h"

namespace velmoran::test {

// A line given as marks (low, carrier received) and spaces (high), from a start time on.
class IrLine {
public:
    explicit IrLine(double startUs = 0.0) : t_(startUs) {}
    IrLine& at(double us) {
        t_ = us;
        return *this;
    }
    IrLine& mark(double us) { return level(false, us); }
    IrLine& space(double us) { return level(true, us); }
    double now() const { return t_; }
    // Moves every edge by up to `us` either way, the same for the same seed.
    std::vector<emulator::Edge> edges(double jitterUs = 0.0, uint32_t seed = 1) const {
        std::vector<emulator::Edge> out = edges_;
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> d(-jitterUs, jitterUs);
        for (emulator::Edge& e : out) {
            e.timeUs += jitterUs > 0 ? d(rng) : 0.0;
        }
        return out;
    }

private:
    IrLine& level(bool high, double us) {
        const bool current = edges_.empty() || edges_.back().high; // the line rests high
        if (current != high) {
            edges_.push_back({t_, high});
        }
        t_ += us;
        return *this;
    }
    std::vector<emulator::Edge> edges_;
    double t_;
};

inline ChannelBuffer bufferOf(const std::vector<uint8_t>& bytes) {
    ChannelBuffer b{};
    std::copy(bytes.begin(), bytes.begin() + std::min<std::size_t>(bytes.size(), b.size()),
              b.begin());
    return b;
}

inline ChannelBuffer renderLine(const std::vector<emulator::Edge>& edges) {
    return bufferOf(emulator::renderBytes(edges, 0.0, kCaptureBytes));
}

inline ChannelBuffer renderScenario(const emulator::Scenario& scenario) {
    return bufferOf(emulator::renderCapture(scenario));
}

} // namespace velmoran::test
