#pragma once

// The time cursor: the absolute time under the pointer, and the two-click measurement with its
// markers and double-headed arrow.

#include <QRgb>

#include <cstdint>

#include "display/surface.h"

namespace velmoran {

inline constexpr QRgb kCursorColour = qRgb(0, 255, 0);
inline constexpr QRgb kMarkerColour = qRgb(173, 225, 255);
inline constexpr QRgb kArrowColour = qRgb(1, 117, 180);
// The cursor readout sits this many twips below the pointer.
inline constexpr int kReadoutDrop = 500;

// Milliseconds from the first sample of the buffers to the point `x` twips from the left edge
// of the chart: (x / bitWidth + 16 viewStart) * samplePeriod / 1000, in double precision.
double cursorTime(float x, int16_t bitWidth, int32_t viewStart, float samplePeriod);

// Milliseconds from the click at `x1` to the click at `x2` (negative when x2 lies left of x1),
// in single precision at every step, as the measurement prints it.
float measuredInterval(float x1, float x2, int16_t bitWidth, float samplePeriod);

// A measurement marker: a light-blue line down the full height of the surface at `x`.
void drawMarker(Surface& surface, float x);

// The double-headed arrow from `x1` to `x2` at height `y`: the shaft and two heads 200 twips
// long and 100 twips either side of it, opening towards +x at x1 and towards -x at x2.
void drawArrow(Surface& surface, float x1, float x2, float y);

} // namespace velmoran
