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

// A duration is taken for a nominal one within a quarter of it plus one and a half samples: the
// sampling moves each edge by up to a sample, and remotes drift by up to a fifth.
inline constexpr double kRelativeTolerance = 0.25;
inline constexpr double kAbsoluteToleranceUs = 1.5 * kSamplePeriodUsExact;

inline double upperBound(double nominal) {
    return nominal * (1 + kRelativeTolerance) + kAbsoluteToleranceUs;
}
inline double lowerBound(double nominal) {
    return nominal * (1 - kRelativeTolerance) - kAbsoluteToleranceUs;
}
inline bool near(double us, double nominal) {
    return us >= lowerBound(nominal) && us <= upperBound(nominal);
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
