#pragma once

// The state a run of the program holds: three channel buffers and the scalar fields that every
// handler of the main window reads and writes.

#include <cstdint>
#include <optional>

#include "core/channel_buffer.h"

namespace velmoran {

struct CaptureStore {
    ChannelBuffer ChannelData1{};
    ChannelBuffer ChannelData2{};
    ChannelBuffer ChannelData3{};

    int32_t RecvCount = 0;              // bytes of the current capture stored; next write index
    int16_t BitWidth = 0;               // twips per sample (the zoom)
    float SamplePeriod = 0.0f;          // microseconds between samples
    int16_t ElapsedTicks = 0;           // monitor ticks since the first block of this capture
    int32_t LastCount = 0;              // bytes arrived at the previous monitor tick
    int32_t ViewStart = 0;              // scroll position, in units of two bytes
    int16_t MeasurePending = 0;         // -1 after a first click, 0 otherwise
    std::optional<float> MeasureStartX; // twips; empty until the first click
    int16_t AboutBlink = 0;             // blink phase of the About label

    // The buffer of channel 1, 2 or 3; nullptr for any other number.
    ChannelBuffer* channel(double number) {
        if (number == 1) {
            return &ChannelData1;
        }
        if (number == 2) {
            return &ChannelData2;
        }
        if (number == 3) {
            return &ChannelData3;
        }
        return nullptr;
    }
    const ChannelBuffer* channel(double number) const {
        return const_cast<CaptureStore*>(this)->channel(number);
    }
    // The three buffers, read-only, for the chart's neighbours.
    ChannelBuffers buffers() const { return {&ChannelData1, &ChannelData2, &ChannelData3}; }
};

} // namespace velmoran
