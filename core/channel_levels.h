#pragma once

// One channel buffer seen as a line: its level at sample 0 and the samples at which it flips.
// Times are counted in samples; a sample lasts exactly 40.1474 µs, that is 401,474 units of
// 100 ps, so every sample time is a whole number of those units.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

#include "core/channel_buffer.h"

namespace velmoran {

struct ChannelLevels {
    bool initialHigh = false;
    std::vector<int32_t> edges; // sample indices (1 ... 507903) where the level flips, ascending
    int64_t samples = kCaptureSamples;

    // Level from `edges[i]` on (up to the next edge).
    bool levelAfterEdge(std::size_t i) const { return initialHigh != (i % 2 == 0); }
};

// The line of a buffer's first 63,488 bytes (index 63,488 carries no samples).
ChannelLevels channelLevels(const ChannelBuffer& buffer);

// A sample time in microseconds, exact: "401.474", "0", "20391025.0496".
QString formatSampleTimeUs(int64_t sample);
// The same text appended to `out` (for writers of many times).
void appendSampleTimeUs(QByteArray& out, int64_t sample);

// A sample time in microseconds, rounded to the nearest whole microsecond.
int64_t sampleTimeUsRounded(int64_t sample);

struct ChannelSummary {
    std::size_t edges = 0;
    int64_t highSamples = 0;
    int64_t lowSamples = 0;
    std::optional<int64_t> firstEdge; // samples
    std::optional<int64_t> lastEdge;
    // Shortest level between two edges (the levels cut by the capture's two ends do not count).
    std::optional<int64_t> shortestPulse;
    bool shortestPulseHigh = false;
};

ChannelSummary summarize(const ChannelLevels& line);

} // namespace velmoran
