// RC-5 and RC-6: Manchester-coded bits whose halves merge into longer runs where two adjacent
// halves have the same level.

#include <array>
#include <cmath>
#include <utility>

#include "infrared/family_protocols.h"
#include "infrared/ir_protocols.h"
#include "infrared/ir_runs.h"

namespace velmoran::infrared::ir {

namespace {

// RC-5: a run is one half or two; the split lies at one and a half halves.
constexpr double kRc5OneHalfMin = 0.6 * kRc5Half;
constexpr double kRc5SplitUs = 1.5 * kRc5Half;
constexpr double kRc5TwoHalvesMax = 2.6 * kRc5Half;
constexpr int kRc5Bits = 14;
constexpr int kRc5Halves = 2 * kRc5Bits;
constexpr double kRc5IdleUs = 2700; // the line rests at least three halves around a frame

// RC-6 slots (half bits) after the leader: start bit and three mode bits of one unit each, the
// trailer bit of two units each, then the data bits.
constexpr int kRc6TrailerSlot = 8;
constexpr int kRc6HeaderSlots = 10;
constexpr int kRc6MaxSlots = kRc6HeaderSlots + 2 * kRc6ABits;
constexpr int kRc6AShortBits = 24; // RC-6A with an 8-bit customer code
constexpr int kRc6AShortCustomerBits = 8;
constexpr int kRc6LongestRunUnits = 3;
// The line rests for at least the six units of signal-free time after a frame.
constexpr double kRc6IdleUs = 4.5 * kRc6Unit;
constexpr int kRc6Mode6A = 6;
// Runs tried per reading of an RC-6 frame, the choices between two slot counts included.
constexpr int kRc6SearchSteps = 400;

int rc6SlotUnits(int slot) {
    return slot == kRc6TrailerSlot || slot == kRc6TrailerSlot + 1 ? 2 : 1;
}

// A run's duration as the remote sent it, when the receiver lengthened every mark by `stretchUs`.
double sentUs(const Run& run, double stretchUs) {
    return run.us() + (run.high ? stretchUs : -stretchUs);
}

// The receiver's stretching is not known: a frame is read assuming each of these, and the
// reading whose runs lie nearest their nominal lengths is taken.
constexpr double kAssumedStretchesUs[] = {0, 0.5 * kMarkStretchUs, kMarkStretchUs};

struct Reading {
    Found found;
    double residual; // the sum of the runs' squared relative deviations from nominal
};

std::optional<Found> nearestReading(const Runs& runs, std::size_t i,
                                    std::optional<Reading> (*read)(const Runs&, std::size_t,
                                                                   double)) {
    std::optional<Reading> best;
    for (const double stretch : kAssumedStretchesUs) {
        std::optional<Reading> r = read(runs, i, stretch);
        if (r && (!best || r->residual < best->residual)) {
            best = std::move(r);
        }
    }
    if (!best) {
        return std::nullopt;
    }
    return std::move(best->found);
}

std::optional<Reading> readRc5(const Runs& runs, std::size_t i, double stretchUs) {
    // The first half of the start bit is the resting level; the first mark is its second half.
    std::array<bool, kRc5Halves + 1> halves{};
    int filled = 1;
    halves[0] = true;
    std::size_t r = i;
    bool endedInIdle = false;
    int64_t endSample = 0;
    double residual = 0;
    while (filled < kRc5Halves) {
        if (r >= runs.size()) {
            return std::nullopt;
        }
        const Run& run = runs[r];
        const int missing = kRc5Halves - filled;
        int count = 0;
        const double us = sentUs(run, stretchUs);
        if (run.high && (run.cutAtEnd || us > kRc5TwoHalvesMax)) {
            count = missing; // the line rests: the frame's last half merges with the idle level
            endedInIdle = true;
        } else if (!run.cutAtEnd && us >= kRc5OneHalfMin && us < kRc5SplitUs) {
            count = 1;
        } else if (!run.cutAtEnd && us >= kRc5SplitUs && us <= kRc5TwoHalvesMax) {
            count = 2;
        }
        if (!endedInIdle) {
            residual += std::pow(us / (count * kRc5Half) - 1, 2);
        }
        if (count == 0 || (count > missing && !endedInIdle)) {
            return std::nullopt;
        }
        if (count > missing) {
            count = missing;
        }
        for (int k = 0; k < count; ++k) {
            halves[static_cast<std::size_t>(filled++)] = run.high;
        }
        if (!run.high) {
            endSample = run.end();
        }
        ++r;
    }
    // Ending on a mark, the line must rest afterwards; ending on a space, that space is the rest.
    if (!endedInIdle && r < runs.size() && !runs[r].cutAtEnd && runs[r].us() < kRc5IdleUs) {
        return std::nullopt;
    }
    uint32_t bits = 0;
    for (int b = 0; b < kRc5Bits; ++b) {
        const bool first = halves[static_cast<std::size_t>(2 * b)];
        const bool second = halves[static_cast<std::size_t>(2 * b + 1)];
        if (first == second) {
            return std::nullopt;
        }
        bits = bits << 1 | (first ? 1u : 0u); // space then mark (high then low) is a 1
    }
    // The fields as the family's description lays them out; none when the start bit is 0.
    IrFrame frame = familyFrameOfBits(IrProtocol::Rc5, bits, kRc5Bits);
    if (frame.bits != kRc5Bits) {
        return std::nullopt;
    }
    frame.startSample = runs[i].start;
    frame.endSample = endSample;
    // The run after the last mark: a frame ending in a space has already consumed that space.
    return Reading{Found{frame, endedInIdle ? r - 1 : r}, residual};
}

} // namespace

std::optional<Found> tryRc5(const Runs& runs, std::size_t i) {
    if (runs[i].cutAtStart || !idleBefore(runs, i, kRc5IdleUs)) {
        return std::nullopt;
    }
    return nearestReading(runs, i, readRc5);
}

namespace {

// RC-6's slots after the leader, read run by run. A run may fit two slot counts (a 2-unit run
// 20 % long and a 3-unit one 20 % short look alike): the nearest is tried first, the other
// when the nearest leads to a bit whose halves agree or to a run that fits nothing.
struct Rc6Slots {
    const Runs& runs;
    double stretchUs;
    std::array<bool, kRc6MaxSlots + 1> slots{}; // true: high (space)
    int budget = kRc6SearchSteps;
    int filled = 0;
    std::size_t next = 0; // the resting run after the frame
    int64_t endSample = 0;
    double residual = 0;

    bool read(std::size_t r, int at, double sum, int64_t end) {
        if (--budget < 0 || r >= runs.size()) {
            return false;
        }
        const Run& run = runs[r];
        if (run.high && (run.cutAtEnd || run.us() >= kRc6IdleUs)) {
            if (at % 2 == 1) {
                slots[static_cast<std::size_t>(at++)] = true; // a final 1 ends in a space
            }
            filled = at;
            next = r;
            endSample = end;
            residual = sum;
            return true;
        }
        if (run.cutAtEnd) {
            return false;
        }
        struct Choice {
            int slots;
            double error; // relative
        };
        std::array<Choice, kRc6LongestRunUnits> choices{};
        int count = 0;
        int units = 0;
        const double us = sentUs(run, stretchUs);
        for (int n = 1; n <= kRc6LongestRunUnits && at + n <= kRc6MaxSlots; ++n) {
            units += rc6SlotUnits(at + n - 1);
            const double nominal = units * kRc6Unit;
            const double error = std::abs(us - nominal);
            if (error <= nominal * kRelativeTolerance + kAbsoluteToleranceUs) {
                choices[static_cast<std::size_t>(count++)] = {n, error / nominal};
            }
        }
        for (int a = 1; a < count; ++a) { // nearest first
            for (int b = a; b > 0 && choices[static_cast<std::size_t>(b)].error <
                                         choices[static_cast<std::size_t>(b - 1)].error;
                 --b) {
                std::swap(choices[static_cast<std::size_t>(b)],
                          choices[static_cast<std::size_t>(b - 1)]);
            }
        }
        for (int c = 0; c < count; ++c) {
            const int n = choices[static_cast<std::size_t>(c)].slots;
            bool halvesDiffer = true;
            for (int k = at; k < at + n; ++k) {
                slots[static_cast<std::size_t>(k)] = run.high;
                halvesDiffer = halvesDiffer &&
                               (k % 2 == 0 || slots[static_cast<std::size_t>(k - 1)] != run.high);
            }
            const double e = choices[static_cast<std::size_t>(c)].error;
            if (halvesDiffer && read(r + 1, at + n, sum + e * e, run.high ? end : run.end())) {
                return true;
            }
        }
        return false;
    }
};

std::optional<Reading> readRc6(const Runs& runs, std::size_t i, double stretchUs) {
    Rc6Slots reading{runs, stretchUs};
    if (!reading.read(i + 2, 0, 0, 0)) {
        return std::nullopt;
    }
    const std::array<bool, kRc6MaxSlots + 1>& slots = reading.slots;
    const int filled = reading.filled;
    const std::size_t r = reading.next;
    const int64_t endSample = reading.endSample;
    const double residual = reading.residual;
    const int dataBits = (filled - kRc6HeaderSlots) / 2;
    if (filled < kRc6HeaderSlots || filled % 2 != 0) {
        return std::nullopt;
    }
    uint64_t bits = 0;
    for (int b = 0; b < filled / 2; ++b) {
        const bool first = slots[static_cast<std::size_t>(2 * b)];
        if (first == slots[static_cast<std::size_t>(2 * b + 1)]) {
            return std::nullopt;
        }
        bits = bits << 1 | (first ? 0u : 1u); // mark then space is a 1
    }
    // The fields as the family's descriptions lay them out: mode 0's 16 data bits, RC-6A's
    // 24 or 32 (a 16-bit customer code's first bit is 1); of RC-6A, mode 6 alone is read, and an
    // 8-bit customer code's first bit is 0.
    const int totalBits = filled / 2;
    IrFrame frame = familyFrameOfBits(IrProtocol::Rc6, bits, totalBits);
    if (frame.bits != totalBits || (frame.mode != 0 && frame.mode != kRc6Mode6A) ||
        (dataBits == kRc6AShortBits && (frame.vendor >> (kRc6AShortCustomerBits - 1) & 1) != 0)) {
        return std::nullopt;
    }
    frame.startSample = runs[i].start;
    frame.endSample = endSample;
    frame.bits = dataBits;
    return Reading{Found{frame, r}, residual};
}

} // namespace

std::optional<Found> tryRc6(const Runs& runs, std::size_t i) {
    if (i + 2 >= runs.size() || !idleBefore(runs, i, kRc6IdleUs) ||
        !fits(runs[i], kRc6LeaderMarkUnits * kRc6Unit) || runs[i + 1].cutAtEnd ||
        !fits(runs[i + 1], kRc6LeaderSpaceUnits * kRc6Unit)) {
        return std::nullopt;
    }
    return nearestReading(runs, i, readRc6);
}

} // namespace velmoran::infrared::ir
