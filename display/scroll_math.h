#pragma once

#include <cstdint>

namespace velmoran {

// Largest scroll position (units of two bytes) for a surface `surfaceWidth` twips wide at
// `bitWidth` twips per sample: 63486 / 2 - width / bitWidth / 8, rounded half to even.
int16_t scrollMaximum(float surfaceWidth, int16_t bitWidth);

} // namespace velmoran
