#pragma once

// The chart's zoom, in twips per sample, and its steps: 放大 doubles it, 缩少 halves it, and a
// frame zoomed to fits along those same steps.

#include <cstdint>

namespace velmoran {

// The zoom after one 放大: doubled, the largest zoom staying as it is.
int16_t zoomedIn(int16_t bitWidth);

// The zoom after one 缩少: halved with the number rules' rounding, never below the smallest.
int16_t zoomedOut(int16_t bitWidth);

// A span zoomed to fits in this part of the chart's width (it starts one eighth in, as a chosen
// frame does, and leaves idle line after it).
inline constexpr double kFitShare = 0.75;

// The largest zoom, among those 放大 and 缩少 reach from `bitWidth`, at which `samples` samples
// fit in kFitShare of a chart `widthTwips` wide (the smallest zoom when none does).
int16_t zoomToFit(int64_t samples, double widthTwips, int16_t bitWidth);

} // namespace velmoran
