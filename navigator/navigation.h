#pragma once

// The arithmetic of the navigator, free of widgets: a channel buffer folded into pixel columns
// for the overview, and the scroll position of HScroll1 that shows a point of the capture or a
// decoded frame.

#include <cstdint>
#include <optional>
#include <vector>

#include "core/channel_buffer.h"

namespace velmoran::navigator {

// Samples one scroll unit of HScroll1 moves the chart by (two bytes).
inline constexpr int64_t kSamplesPerScrollUnit = int64_t{kBytesPerScrollUnit} * kSamplesPerByte;
// Samples of one capture: only the 63,488 captured bytes of a buffer hold samples.
inline constexpr int64_t kOverviewSamples = int64_t{kCaptureBytes} * kSamplesPerByte;
// A frame the chart is moved to starts this fraction of Picture1's width from its left edge
// (inside the left quarter, with a little idle line before it).
inline constexpr int64_t kFrameLeadDivisor = 8;
// The part of the chart, from its left edge, that a frame moved to must start in.
inline constexpr int64_t kFrameZoneDivisor = 4;

// What one overview column holds: the line low, high, or both (edges in its span).
enum OverviewLevel : uint8_t { kColumnLow = 1, kColumnHigh = 2, kColumnBoth = 3 };

// The overview of one channel `width` columns wide: column c covers samples
// [c * N / width, (c + 1) * N / width) of the capture's N samples, and says which levels occur
// there. An empty vector for a width below 1.
std::vector<uint8_t> overviewColumns(const ChannelBuffer& buffer, int width);

// Column `column` of such an overview when the line holds samples only before `reached`: 0
// (nothing) where the column starts at or after it.
uint8_t overviewColumn(const ChannelBuffer& buffer, int column, int width, int64_t reached);
// The column of a `width`-column overview whose span holds sample `sample` (`width` past the
// capture's end).
int overviewColumnAt(int64_t sample, int width);

// The first sample of the span that column `column` of a `width`-column overview covers.
int64_t columnFirstSample(int column, int width);

// The scroll value that puts the chart's left edge at `fraction` (0 ... 1) of the capture,
// rounded to the nearest unit and kept within 0 ... `scrollMax`.
int scrollValueAtFraction(double fraction, int scrollMax);

// The scroll value that shows sample `sample` one eighth of the way into a chart
// `visibleSamples` wide, kept within 0 ... `scrollMax`.
int scrollValueForSample(int64_t sample, int64_t visibleSamples, int scrollMax);

// The chart's left edge, in samples, at scroll value `value`.
inline int64_t leftSampleAt(int value) {
    return int64_t{value} * kSamplesPerScrollUnit;
}

// Of frames starting at `starts` (ascending), the first whose scroll value (as
// scrollValueForSample gives it) lies after `value`; nothing when none does.
std::optional<std::size_t> nextFrame(const std::vector<int64_t>& starts, int value,
                                     int64_t visibleSamples, int scrollMax);
// The last frame whose scroll value lies before `value`; nothing when none does.
std::optional<std::size_t> previousFrame(const std::vector<int64_t>& starts, int value,
                                         int64_t visibleSamples, int scrollMax);

// The clicks that zoom a frame to fit: first `out` clicks of 缩少, then `in` clicks of 放大,
// giving `bitWidth`.
struct ZoomSteps {
    int out = 0;
    int in = 0;
    int bitWidth = 0;
    friend bool operator==(const ZoomSteps&, const ZoomSteps&) = default;
};

// The zoom zoomToFit (display/zoom.h) gives for `frameSamples` samples from `bitWidth`, and the
// 缩少 and 放大 clicks that would reach it.
ZoomSteps zoomStepsToFit(int64_t frameSamples, double widthTwips, int bitWidth);

} // namespace velmoran::navigator
