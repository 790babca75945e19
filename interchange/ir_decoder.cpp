#include "interchange/ir_decoder.h"

#include <cstdint>
#include <optional>

namespace velmoran::interchange {

namespace {

// Accepted durations, in microseconds. The nominal values are the protocols'; the windows are
// wide enough for ±1 sample of quantisation on each edge plus some timing error of the remote,
// and narrow enough that the protocols' marks and spaces cannot be mistaken for each other.
struct Window {
    double min;
    double max;
    bool holds(double us) const { return us >= min && us <= max; }
};

// NEC: 9 ms leader mark, 4.5 ms space (2.25 ms for a repeat code), 32 bits of a 562.5 µs mark
// and a 562.5 µs (0) or 1687.5 µs (1) space, least significant bit first, then a stop mark.
constexpr Window kNecLeaderMark{7500, 10500};
constexpr Window kNecLeaderSpace{3700, 5300};
constexpr Window kNecRepeatSpace{1700, 2800};
constexpr Window kNecMark{300, 850};
constexpr Window kNecZeroSpace{300, 850};
constexpr Window kNecOneSpace{1300, 2100};
constexpr int kNecBits = 32;
// Repeat codes come every 108 ms while a key is held; one later than this repeats no known key.
constexpr double kNecRepeatReachUs = 120000;

// RC-5: 14 bits of Manchester code with 889 µs halves; a 1 is space then mark, a 0 mark then
// space. Bits: start (1), field (inverted command bit 6), toggle, 5 address bits, 6 command bits.
constexpr Window kRc5OneHalf{600, 1250};
constexpr Window kRc5TwoHalves{1400, 2200};
constexpr int kRc5Bits = 14;
constexpr int kRc5Halves = 2 * kRc5Bits;
constexpr double kRc5IdleUs = 2700; // the line rests at least three halves around a frame

// Sony SIRC: 2.4 ms leader mark, then per bit a 600 µs space and a 600 µs (0) or 1200 µs (1)
// mark, least significant bit first: 7 command bits, then 5 or 8 address bits (and 8 more in
// the 20-bit form).
constexpr Window kSircLeader{1900, 2900};
constexpr Window kSircSpace{350, 900};
constexpr Window kSircZero{350, 900};
constexpr Window kSircOne{950, 1550};
constexpr double kSircIdleUs = 2700;
constexpr int kSircCommandBits = 7;
constexpr int kSircMaxBits = 20;

struct Run {
    bool high;
    int64_t start;  // samples
    int64_t length; // samples
    bool cutAtStart;
    bool cutAtEnd;
    double us() const { return static_cast<double>(length) * kSamplePeriodUsExact; }
};

std::vector<Run> runsOf(const ChannelLevels& line) {
    std::vector<Run> runs;
    runs.reserve(line.edges.size() + 1);
    int64_t start = 0;
    bool high = line.initialHigh;
    for (std::size_t i = 0; i <= line.edges.size(); ++i) {
        const int64_t end = i < line.edges.size() ? line.edges[i] : line.samples;
        runs.push_back({high, start, end - start, i == 0, i == line.edges.size()});
        start = end;
        high = !high;
    }
    return runs;
}

struct Found {
    IrFrame frame;
    std::size_t next; // the run after the frame
};

// A closing mark: complete and in the window, or cut by the capture's end while in it.
bool closingMark(const std::vector<Run>& runs, std::size_t i, const Window& window) {
    if (i >= runs.size() || runs[i].high) {
        return false;
    }
    return runs[i].cutAtEnd ? runs[i].us() <= window.max : window.holds(runs[i].us());
}

// The line rests high before run i (or the capture starts with the line resting).
bool idleBefore(const std::vector<Run>& runs, std::size_t i, double us) {
    return i > 0 && (runs[i - 1].cutAtStart || runs[i - 1].us() >= us);
}

std::optional<Found> tryNec(const std::vector<Run>& runs, std::size_t i) {
    if (i + 2 >= runs.size() || runs[i].cutAtStart || !kNecLeaderMark.holds(runs[i].us()) ||
        runs[i + 1].cutAtEnd) {
        return std::nullopt;
    }
    IrFrame frame;
    frame.startSample = runs[i].start;
    const double space = runs[i + 1].us();
    if (kNecRepeatSpace.holds(space)) {
        if (!closingMark(runs, i + 2, kNecMark)) {
            return std::nullopt;
        }
        frame.protocol = IrProtocol::NecRepeat;
        return Found{frame, i + 3};
    }
    if (!kNecLeaderSpace.holds(space)) {
        return std::nullopt;
    }
    uint32_t data = 0;
    std::size_t r = i + 2;
    for (int bit = 0; bit < kNecBits; ++bit, r += 2) {
        if (r + 1 >= runs.size() || runs[r + 1].cutAtEnd || !kNecMark.holds(runs[r].us())) {
            return std::nullopt;
        }
        const double gap = runs[r + 1].us();
        if (kNecOneSpace.holds(gap)) {
            data |= 1u << bit;
        } else if (!kNecZeroSpace.holds(gap)) {
            return std::nullopt;
        }
    }
    if (!closingMark(runs, r, kNecMark)) {
        return std::nullopt;
    }
    const auto byte = [data](int n) { return (data >> (8 * n)) & 0xFFu; };
    const bool addressInverted = byte(1) == (~byte(0) & 0xFFu);
    const bool commandInverted = byte(3) == (~byte(2) & 0xFFu);
    frame.protocol = IrProtocol::Nec;
    frame.bits = kNecBits;
    frame.extended = !addressInverted;
    frame.address = addressInverted ? byte(0) : (byte(0) | byte(1) << 8);
    frame.command = byte(2);
    frame.check = commandInverted ? IrCheck::Passed : IrCheck::Failed;
    return Found{frame, r + 1};
}

std::optional<Found> tryRc5(const std::vector<Run>& runs, std::size_t i) {
    if (runs[i].cutAtStart || !idleBefore(runs, i, kRc5IdleUs)) {
        return std::nullopt;
    }
    // The first half of the start bit is the resting level; the first mark is its second half.
    std::vector<bool> halves{true};
    std::size_t r = i;
    bool endedInIdle = false;
    while (static_cast<int>(halves.size()) < kRc5Halves) {
        if (r >= runs.size()) {
            return std::nullopt;
        }
        const Run& run = runs[r];
        const int missing = kRc5Halves - static_cast<int>(halves.size());
        int count = 0;
        if (run.high && (run.cutAtEnd || run.us() > kRc5TwoHalves.max)) {
            count = missing; // the line rests: the frame's last half merges with the idle level
            endedInIdle = true;
        } else if (!run.cutAtEnd && kRc5OneHalf.holds(run.us())) {
            count = 1;
        } else if (!run.cutAtEnd && kRc5TwoHalves.holds(run.us())) {
            count = 2;
        }
        if (count == 0 || (count > missing && !endedInIdle)) {
            return std::nullopt;
        }
        halves.insert(halves.end(), static_cast<std::size_t>(count), run.high);
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
    if (((bits >> 13) & 1) == 0) {
        return std::nullopt; // the start bit is always 1
    }
    IrFrame frame;
    frame.startSample = runs[i].start;
    frame.protocol = IrProtocol::Rc5;
    frame.bits = kRc5Bits;
    const bool field = (bits >> 12) & 1;
    frame.toggle = (bits >> 11) & 1;
    frame.address = (bits >> 6) & 0x1F;
    frame.command = (bits & 0x3F) | (field ? 0 : 0x40);
    return Found{frame, r};
}

std::optional<Found> trySirc(const std::vector<Run>& runs, std::size_t i) {
    if (runs[i].cutAtStart || !kSircLeader.holds(runs[i].us()) ||
        !idleBefore(runs, i, kSircIdleUs)) {
        return std::nullopt;
    }
    uint32_t data = 0;
    int count = 0;
    std::size_t r = i + 1;
    // Each bit is a space and a mark; a longer space (or the capture's end) closes the frame.
    while (r + 1 < runs.size() && !runs[r].cutAtEnd && kSircSpace.holds(runs[r].us())) {
        const Run& mark = runs[r + 1];
        if (mark.cutAtEnd || count == kSircMaxBits) {
            return std::nullopt;
        }
        if (kSircOne.holds(mark.us())) {
            data |= 1u << count;
        } else if (!kSircZero.holds(mark.us())) {
            return std::nullopt;
        }
        ++count;
        r += 2;
    }
    if (r < runs.size() && !runs[r].cutAtEnd && runs[r].us() < kSircIdleUs) {
        return std::nullopt;
    }
    if (count != 12 && count != 15 && count != 20) {
        return std::nullopt;
    }
    IrFrame frame;
    frame.startSample = runs[i].start;
    frame.protocol = IrProtocol::Sirc;
    frame.bits = count;
    frame.command = data & 0x7F;
    const uint32_t rest = data >> kSircCommandBits;
    frame.address = count == 15 ? (rest & 0xFF) : (rest & 0x1F) | ((rest >> 5) & 0xFF) << 5;
    return Found{frame, r};
}

} // namespace

std::vector<IrFrame> decodeInfrared(const ChannelLevels& line, int channel) {
    const std::vector<Run> runs = runsOf(line);
    std::vector<IrFrame> frames;
    constexpr std::size_t kNoKey = SIZE_MAX;
    std::size_t lastNecFrame = kNoKey; // the key that repeat codes repeat
    int64_t lastNecStart = 0;          // the last NEC frame or repeat code
    std::size_t i = 0;
    while (i < runs.size()) {
        if (runs[i].high) {
            ++i;
            continue;
        }
        std::optional<Found> found = tryNec(runs, i);
        if (!found) {
            found = trySirc(runs, i);
        }
        if (!found) {
            found = tryRc5(runs, i);
        }
        if (!found) {
            ++i;
            continue;
        }
        IrFrame& frame = found->frame;
        frame.channel = channel;
        if (frame.protocol == IrProtocol::NecRepeat) {
            const double sinceUs =
                static_cast<double>(frame.startSample - lastNecStart) * kSamplePeriodUsExact;
            frame.keyKnown = lastNecFrame != kNoKey && sinceUs <= kNecRepeatReachUs;
            if (frame.keyKnown) {
                const IrFrame& key = frames[lastNecFrame];
                frame.address = key.address;
                frame.command = key.command;
                frame.extended = key.extended;
            } else {
                lastNecFrame = kNoKey;
            }
            lastNecStart = frame.startSample;
        } else if (frame.protocol == IrProtocol::Nec) {
            lastNecFrame = frames.size();
            lastNecStart = frame.startSample;
        }
        frames.push_back(frame);
        i = found->next;
    }
    return frames;
}

QString protocolName(const IrFrame& frame) {
    switch (frame.protocol) {
    case IrProtocol::Nec:
        return QStringLiteral("NEC");
    case IrProtocol::NecRepeat:
        return QStringLiteral("NEC-repeat");
    case IrProtocol::Rc5:
        return QStringLiteral("RC5");
    case IrProtocol::Sirc:
        return QStringLiteral("SIRC%1").arg(frame.bits);
    }
    return {};
}

} // namespace velmoran::interchange
