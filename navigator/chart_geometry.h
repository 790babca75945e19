#pragma once

// The detail chart's arithmetic, free of widgets: a line folded into pixel columns (which levels
// each column's span of samples holds), the time axis's ticks and labels, and the mapping
// between samples and pixels of a view that starts at a fractional sample.

#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

#include "core/channel_levels.h"

namespace velmoran::navigator {

// What one chart column holds: nothing (beyond the capture), the line low, high, or both (an
// edge in its span, drawn as a stroke from low to high).
enum ColumnLevels : uint8_t { kColumnNone = 0, kLevelLow = 1, kLevelHigh = 2, kLevelBoth = 3 };

// A view of the capture: its left edge in samples (fractional) and its scale.
struct ChartView {
    double firstSample = 0;
    double samplesPerPixel = 1;

    double sampleAt(double x) const { return firstSample + x * samplesPerPixel; }
    double xOf(double sample) const { return (sample - firstSample) / samplesPerPixel; }
};

// The columns of `line` across `width` pixels of `view`: column x covers the samples
// [first + x * s, first + (x + 1) * s) and holds both levels when an edge falls in that span.
// Runs in time proportional to the columns and the edges shown, whatever the zoom.
std::vector<uint8_t> chartColumns(const ChannelLevels& line, const ChartView& view, int width);

// One tick of the time axis: its x in pixels and its label, with the label's left edge and
// width in pixels.
struct AxisTick {
    double x = 0;
    QString label;
    double labelLeft = 0;
    double labelWidth = 0;
};

// Microseconds between two labelled ticks (1, 2 or 5 times a power of ten) and the unit their
// labels are written in.
struct AxisStep {
    double us = 0;
    const char* unit = "";
    double usPerUnit = 1;
    int decimals = 0;
};

// The step for a spacing of `us` microseconds: s from a second up, ms from a millisecond, µs
// below, with the decimals the step needs.
AxisStep axisStep(double us);

// The time text of `us` microseconds in the units of `step`: "1.25 ms".
QString axisLabel(double us, const AxisStep& step);

// The ticks of a time axis across `width` pixels of `view`: the finest 1-2-5 step whose
// labels, centred on their ticks and measured by `textWidth`, keep at least `gap` pixels
// between each other. Labels that would cross the chart's edges are left out; the ticks stay.
std::vector<AxisTick> axisTicks(const ChartView& view, int width,
                                const std::function<double(const QString&)>& textWidth, double gap);

// A view showing samples [first, first + count) across `width` pixels, kept within the
// capture (`total` samples) and no finer than `minSamplesPerPixel`.
ChartView fitView(double first, double count, int width, double total, double minSamplesPerPixel);

// `view` zoomed by `factor` (above 1 shows more samples) about pixel `x`, kept as fitView keeps.
ChartView zoomView(const ChartView& view, double factor, double x, int width, double total,
                   double minSamplesPerPixel);

} // namespace velmoran::navigator
