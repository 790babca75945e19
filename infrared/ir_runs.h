#pragma once

// The decoder's view of a line: runs of one level, and the tolerance every decoder applies to a
// duration. Internal to the infrared decoder's source files.

#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

#include "core/channel_levels.h"
#include "infrared/ir_decoder.h"

namespace velmoran::infrared::ir {

struct Run {
    bool high;
    int64_t start;  // samples
    int64_t length; // samples
    bool cutAtStart;
    bool cutAtEnd;
    double us() const { return static_cast<double>(length) * kSamplePeriodUsExact; }
    int64_t end() const { return start + length; }
};

using Runs = std::vector<Run>;

// A duration is taken for a nominal one when it lies within a fifth of it plus one and a half
// samples (remotes drift, the sampling moves each edge by up to a sample), after allowing for a
// receiver that lengthens every mark, and shortens every space, by up to kMarkStretchUs.
inline constexpr double kRelativeTolerance = 0.2;
inline constexpr double kAbsoluteToleranceUs = 1.5 * kSamplePeriodUsExact;
inline constexpr double kMarkStretchUs = 100;

// A run's duration with half the largest stretch taken back: marks shorter, spaces longer.
inline double centredUs(bool high, double us) {
    return us + (high ? 0.5 : -0.5) * kMarkStretchUs;
}
inline double slackUs(double nominal) {
    return nominal * kRelativeTolerance + kAbsoluteToleranceUs + 0.5 * kMarkStretchUs;
}
inline bool fits(bool high, double us, double nominal) {
    return std::abs(centredUs(high, us) - nominal) <= slackUs(nominal);
}
inline bool fits(const Run& run, double nominal) {
    return fits(run.high, run.us(), nominal);
}
// The longest a run of this level may last for a nominal duration.
inline double longest(bool high, double nominal) {
    return nominal + slackUs(nominal) - (high ? 0.5 : -0.5) * kMarkStretchUs;
}

// The line rests before run i for at least `us` (or the capture starts with the line resting).
inline bool idleBefore(const Runs& runs, std::size_t i, double us) {
    return i > 0 && runs[i - 1].high && (runs[i - 1].cutAtStart || runs[i - 1].us() >= us);
}

// A decoded frame and the run after its last mark.
struct Found {
    IrFrame frame;
    std::size_t next;
};

// The Manchester-coded families (RC-5, RC-6), tried at the mark run i.
std::optional<Found> tryRc5(const Runs& runs, std::size_t i);
std::optional<Found> tryRc6(const Runs& runs, std::size_t i);

} // namespace velmoran::infrared::ir
