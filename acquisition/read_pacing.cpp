#include "acquisition/read_pacing.h"

#include <algorithm>
#include <cmath>

namespace velmoran {

int64_t fewestBytesRead(int threshold, int64_t waiting) {
    if (threshold <= 0) {
        return 1;
    }
    return std::min<int64_t>(threshold - waiting % threshold, kFewestBytesRead);
}

int nextReadDelayMs(const ReadPace& pace, int& idleDelayMs) {
    if (!pace.bytesSeen) {
        // Nothing has come yet: look again soon, then less and less often.
        const int delay = idleDelayMs;
        idleDelayMs = std::min(2 * idleDelayMs, kMaxReadDelayMs);
        return delay;
    }
    if (pace.spanMs < kRateSpanMs) {
        // Bytes have begun to come, their rate not known yet. A read that found the kernel's
        // buffer full may be holding the far end up: read again at once. Otherwise look again
        // less and less often, until the rate can be known.
        if (pace.lastReadBytes >= kDrainChunk) {
            return kMinReadDelayMs;
        }
        const int delay =
            static_cast<int>(std::min<int64_t>(idleDelayMs, kRateSpanMs - pace.spanMs));
        idleDelayMs = std::min(2 * idleDelayMs, kMaxReadDelayMs);
        return std::max(delay, kMinReadDelayMs);
    }
    if (pace.bytesSince <= 0) {
        return kMaxReadDelayMs; // a line gone quiet after its first bytes
    }
    const double due =
        std::ceil(kReadLateness * static_cast<double>(pace.lacking) *
                  static_cast<double>(pace.spanMs) / static_cast<double>(pace.bytesSince));
    return static_cast<int>(std::clamp(due, double{kMinReadDelayMs}, double{kMaxReadDelayMs}));
}

int ticksBeforeRead(int delayMs, int remainingMs, int intervalMs) {
    if (delayMs <= remainingMs || intervalMs <= 0) {
        return 0;
    }
    return (delayMs - remainingMs + intervalMs - 1) / intervalMs;
}

} // namespace velmoran
