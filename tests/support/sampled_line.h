#pragma once

// A line made straight from marks and spaces, each edge on the nearest sample, for the decoder's
// tests that need no emulator.

#include <cmath>
#include <cstdint>
#include <vector>

#include "core/channel_levels.h"
#include "core/constants.h"

namespace velmoran::test {

// A line resting high, then `durations` (µs, marks positive, sent low) from `startUs` on, back at
// rest after the last mark (trailing spaces are the rest itself).
inline ChannelLevels sampledLine(std::vector<double> durations, double startUs = 100000) {
    while (!durations.empty() && durations.back() < 0) {
        durations.pop_back();
    }
    ChannelLevels line;
    line.initialHigh = true;
    double t = startUs;
    for (const double d : durations) {
        line.edges.push_back(static_cast<int32_t>(std::llround(t / kSamplePeriodUsExact)));
        t += std::abs(d);
    }
    line.edges.push_back(static_cast<int32_t>(std::llround(t / kSamplePeriodUsExact)));
    return line;
}

} // namespace velmoran::test
