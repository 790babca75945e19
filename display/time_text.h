#pragma once

// Times shown on the chart and under the cursor: milliseconds rounded to 3 decimals (halves to
// even), a blank or "-" in front, "ms" behind: " 64.236ms", "-6.022ms", " 0ms".

#include <QString>

namespace velmoran {

// A double-precision time in milliseconds (at most 15 significant digits).
QString millisecondsText(double ms);
// A single-precision time in milliseconds (at most 7 significant digits).
QString millisecondsText(float ms);

} // namespace velmoran
