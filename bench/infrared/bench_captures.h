#pragma once

// The three-channel captures the infrared benchmarks decode: generated frames of the families,
// generated remotes no decoder knows, and random bytes (the worst case).

#include <cstdint>
#include <iterator>
#include <memory>
#include <random>

#include "core/channel_levels.h"
#include "tools/irgen/ir_generator.h"

namespace velmoran::bench {

// Timing error of the generated frames.
inline constexpr double kJitter = 0.15;

using Capture = std::unique_ptr<ChannelBuffer[]>;

// Three channels of generated frames, the families taken three at a time from `first` on.
inline Capture generatedCapture(int first) {
    Capture buffers(new ChannelBuffer[kChannelCount]{});
    constexpr int kCount = static_cast<int>(std::size(irgen::kFamilies));
    for (int c = 0; c < kChannelCount; ++c) {
        irgen::Options o;
        o.jitter = kJitter;
        o.seed = static_cast<uint32_t>(first + c);
        buffers[c] =
            irgen::renderChannel(irgen::generate(irgen::kFamilies[(first + c) % kCount], o));
    }
    return buffers;
}

// Three channels of generated remotes no decoder knows.
inline Capture unknownRemotesCapture() {
    Capture buffers(new ChannelBuffer[kChannelCount]{});
    for (int c = 0; c < kChannelCount; ++c) {
        irgen::Options o;
        o.jitter = kJitter;
        o.seed = static_cast<uint32_t>(c + 1);
        buffers[c] = irgen::renderChannel(irgen::generate(irgen::kUnknownRemotes[c], o));
    }
    return buffers;
}

// Three channels of random bytes.
inline Capture randomBytesCapture() {
    Capture buffers(new ChannelBuffer[kChannelCount]{});
    std::mt19937 rng(7);
    for (int c = 0; c < kChannelCount; ++c) {
        for (uint8_t& b : buffers[c]) {
            b = static_cast<uint8_t>(rng());
        }
    }
    return buffers;
}

} // namespace velmoran::bench
