#pragma once

// One channel buffer: the bytes the sampler sent for one channel, eight samples per byte.

#include <array>
#include <cstdint>

#include "core/constants.h"

namespace velmoran {

using ChannelBuffer = std::array<uint8_t, kChannelBytes>;

// The three channel buffers, read-only, in channel order (what the chart, the overview and the
// decoders read).
using ChannelBuffers = std::array<const ChannelBuffer*, kChannelCount>;

// A sample of a buffer: sample 8n+k is bit 7-k of byte n; true is the high level.
inline bool sampleAt(const ChannelBuffer& buffer, int sample) {
    const int byte = sample / kSamplesPerByte;
    const int bit = kSamplesPerByte - 1 - sample % kSamplesPerByte;
    return (buffer[byte] >> bit) & 1;
}

} // namespace velmoran
