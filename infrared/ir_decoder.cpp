#include "infrared/ir_decoder.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <optional>

#include "infrared/family_protocols.h"
#include "infrared/ir_analysis.h"
#include "infrared/ir_protocols.h"
#include "infrared/ir_runs.h"

namespace velmoran::infrared {

using namespace ir;

namespace {

constexpr int kNecBits = 32;
// Repeat codes come every 108 ms while a key is held (up to a quarter more from a slow remote);
// one later than this repeats no known key.
constexpr double kNecRepeatReachUs = 140000;

// A repeat code of a key no family knows comes at most this long after the key's frame or the
// repeat code before it, start to start.
constexpr double kUnknownRepeatReachUs = 150000;
// A coding this many frames show is the channel's remote's.
constexpr int kCommonCodingFrames = 3;
// Frames within this ratio of each other's length may be one remote's.
constexpr double kSameLengthRatio = 1.35;

// Sony SIRC: the line rests at least this long around a frame.
constexpr double kSircIdleUs = 2700;
constexpr int kSircMaxBits = 20;

// A frame starts only after the line has rested this long (a glitch that cuts a header mark in
// two must not leave a shorter header behind).
constexpr double kHeaderIdleUs = 4000;
// Frames without a header start only after the line has rested this long.
constexpr double kHeaderlessIdleUs = 10000;
// Sharp and Denon: the expansion and check bits after the address and command.
constexpr int kSharpAddressBits = 5;
// The runs of one Sharp or Denon frame: a mark and a space per bit, and the closing mark.
constexpr std::size_t kSharpFrameRuns = 2 * static_cast<std::size_t>(kSharp.bits) + 1;

// Raw durations are binned this finely when looking for the most common mark and space.
constexpr int kBurstBinUs = 20;

Runs runsOf(const ChannelLevels& line) {
    Runs runs;
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

// A closing mark: complete and near the nominal, or cut by the capture's end while not longer.
bool closingMark(const Runs& runs, std::size_t i, double nominal) {
    if (i >= runs.size() || runs[i].high) {
        return false;
    }
    return runs[i].cutAtEnd ? runs[i].us() <= longest(false, nominal) : fits(runs[i], nominal);
}

struct Bits {
    uint64_t data = 0;
    std::size_t next = 0; // the run after the closing mark
};

// Exactly `code.bits` bits of pulse-distance code from the mark run r on, and the closing mark,
// after which the line rests (a space longer than any bit's) or the capture ends.
std::optional<Bits> readPulseDistance(const Runs& runs, std::size_t r, const PulseDistance& code) {
    Bits out;
    int count = 0;
    for (;; r += 2) {
        if (r >= runs.size() || runs[r].high) {
            return std::nullopt;
        }
        const Run& mark = runs[r];
        if (mark.cutAtEnd || r + 1 >= runs.size()) {
            if (count != code.bits || !closingMark(runs, r, code.mark)) {
                return std::nullopt;
            }
            break;
        }
        if (!fits(mark, code.mark)) {
            return std::nullopt;
        }
        const Run& space = runs[r + 1];
        if (count < code.bits && !space.cutAtEnd) {
            int bit = -1;
            if (fits(space, code.zeroSpace)) {
                bit = 0;
            } else if (fits(space, code.oneSpace)) {
                bit = 1;
            }
            if (bit >= 0) {
                if (code.msbFirst) {
                    out.data = out.data << 1 | static_cast<uint64_t>(bit);
                } else {
                    out.data |= static_cast<uint64_t>(bit) << count;
                }
                ++count;
                continue;
            }
        }
        // Not a bit: this mark closes the frame if the line rests after it.
        if (count != code.bits || (!space.cutAtEnd && space.us() <= longest(true, code.oneSpace))) {
            return std::nullopt;
        }
        break;
    }
    out.next = r + 1;
    return out;
}

// A header of pulse-distance code at the mark run i.
bool headerAt(const Runs& runs, std::size_t i, const PulseDistance& code) {
    return i + 2 < runs.size() && idleBefore(runs, i, kHeaderIdleUs) &&
           fits(runs[i], code.headerMark) && !runs[i + 1].cutAtEnd &&
           fits(runs[i + 1], code.headerSpace);
}

IrFrame frameAt(const Runs& runs, std::size_t i, std::size_t next, IrFrame frame) {
    frame.startSample = runs[i].start;
    frame.endSample = runs[next - 1].end();
    return frame;
}

// A frame of a pulse-distance family with a leader at the mark run i.
std::optional<Found> tryLeader(const Runs& runs, std::size_t i, IrProtocol protocol,
                               const PulseDistance& code) {
    if (!headerAt(runs, i, code)) {
        return std::nullopt;
    }
    const std::optional<Bits> bits = readPulseDistance(runs, i + 2, code);
    if (!bits) {
        return std::nullopt;
    }
    return Found{frameAt(runs, i, bits->next, familyFrameOfBits(protocol, bits->data, code.bits)),
                 bits->next};
}

std::optional<Found> tryNec(const Runs& runs, std::size_t i) {
    if (i + 2 >= runs.size() || !idleBefore(runs, i, kHeaderIdleUs) ||
        !fits(runs[i], kNec.headerMark) || runs[i + 1].cutAtEnd) {
        return std::nullopt;
    }
    if (fits(runs[i + 1], kNecRepeatSpace)) {
        if (!closingMark(runs, i + 2, kNec.mark)) {
            return std::nullopt;
        }
        IrFrame repeat;
        repeat.protocol = IrProtocol::NecRepeat;
        return Found{frameAt(runs, i, i + 3, repeat), i + 3};
    }
    if (std::optional<Found> nec = tryLeader(runs, i, IrProtocol::Nec, kNec)) {
        return nec;
    }
    return tryLeader(runs, i, IrProtocol::Sanyo, kSanyo);
}

std::optional<Found> trySamsung32(const Runs& runs, std::size_t i) {
    return tryLeader(runs, i, IrProtocol::Samsung32, kSamsung32);
}

std::optional<Found> tryJvc(const Runs& runs, std::size_t i) {
    return tryLeader(runs, i, IrProtocol::Jvc, kJvc);
}

// A JVC frame without its header: only right after a JVC frame, with or without its header,
// that started 45 to 70 ms earlier (held keys repeat every 50 to 60 ms) or ended one JVC gap
// earlier, and after the line has rested longer than any space inside a frame.
std::optional<Found> tryJvcRepeat(const Runs& runs, std::size_t i, int64_t previousStart) {
    const double periodUs =
        static_cast<double>(runs[i].start - previousStart) * kSamplePeriodUsExact;
    const bool inPeriod = periodUs >= kJvcRepeatPeriodMinUs - kAbsoluteToleranceUs &&
                          periodUs <= kJvcRepeatPeriodMaxUs + kAbsoluteToleranceUs;
    if (runs[i].cutAtStart || !idleBefore(runs, i, longest(true, kJvc.headerSpace)) ||
        (!inPeriod && !fits(runs[i - 1], kJvc.gapUs))) {
        return std::nullopt;
    }
    const std::optional<Bits> bits = readPulseDistance(runs, i, kJvc);
    if (!bits) {
        return std::nullopt;
    }
    IrFrame frame =
        frameAt(runs, i, bits->next, familyFrameOfBits(IrProtocol::Jvc, bits->data, kJvc.bits));
    frame.repeat = true;
    return Found{frame, bits->next};
}

std::optional<Found> tryKaseikyo(const Runs& runs, std::size_t i) {
    return tryLeader(runs, i, IrProtocol::Kaseikyo, kKaseikyo);
}

std::optional<Found> tryRca(const Runs& runs, std::size_t i) {
    return tryLeader(runs, i, IrProtocol::Rca, kRca);
}

// Sharp and Denon: a frame, a gap, and the same frame with the command, expansion and check bits
// inverted; their descriptions tell the two families and the two frames apart by those tail
// bits.
constexpr uint32_t kSharpAddressMask = (1u << kSharpAddressBits) - 1;

// A Sharp or Denon frame (or pair) whose fixed bits hold; nothing when none does.
std::optional<IrFrame> sharpOrDenon(uint64_t bits, int count) {
    for (const IrProtocol protocol : {IrProtocol::Sharp, IrProtocol::Denon}) {
        IrFrame frame = familyFrameOfBits(protocol, bits, count);
        if (frame.bits == count) {
            frame.bits = kSharp.bits; // the bits of one frame, a pair's too
            return frame;
        }
    }
    return std::nullopt;
}

// Both frames of a pair, when the second is the first's partner: of the same address, with the
// tail bits of the first frame and of its partner.
std::optional<IrFrame> sharpPair(uint32_t a, uint32_t b) {
    if ((a & kSharpAddressMask) != (b & kSharpAddressMask)) {
        return std::nullopt;
    }
    return sharpOrDenon(a | uint64_t{b} << kSharp.bits, 2 * kSharp.bits);
}

// A frame of a pair alone, the first or the second by its tail bits.
IrFrame sharpHalf(uint32_t a) {
    // Every tail is one family's first or second frame.
    return sharpOrDenon(a, kSharp.bits).value_or(IrFrame{});
}

// A frame whose partner was lost (or does not match it) is reported alone, as the first or the
// second of its pair.
std::optional<Found> trySharp(const Runs& runs, std::size_t i) {
    if (runs[i].cutAtStart || !idleBefore(runs, i, kHeaderlessIdleUs)) {
        return std::nullopt;
    }
    const std::optional<Bits> first = readPulseDistance(runs, i, kSharp);
    if (!first) {
        return std::nullopt;
    }
    const auto a = static_cast<uint32_t>(first->data);
    if (first->next + 1 < runs.size() && !runs[first->next].cutAtEnd &&
        fits(runs[first->next], kSharp.gapUs)) {
        if (const std::optional<Bits> second = readPulseDistance(runs, first->next + 1, kSharp)) {
            if (std::optional<IrFrame> pair = sharpPair(a, static_cast<uint32_t>(second->data))) {
                return Found{frameAt(runs, i, second->next, *pair), second->next};
            }
        }
    }
    // Alone only when the partner's place is empty or holds a frame of its own: a partner
    // damaged beyond reading, or beyond the capture's ends, leaves the whole pair unread.
    const auto frameOrRest = [&](std::size_t gap, bool before) {
        if (runs[gap].us() > longest(true, kSharp.gapUs)) {
            return true;
        }
        if (runs[gap].cutAtStart || runs[gap].cutAtEnd || !fits(runs[gap], kSharp.gapUs)) {
            return false;
        }
        if (!before) {
            return gap + 1 < runs.size() && readPulseDistance(runs, gap + 1, kSharp).has_value();
        }
        const std::size_t start = gap - kSharpFrameRuns;
        return gap >= kSharpFrameRuns && !runs[start].high &&
               readPulseDistance(runs, start, kSharp).has_value();
    };
    const IrFrame half = sharpHalf(a);
    if (half.half == IrPairHalf::FirstOnly
            ? first->next < runs.size() && !frameOrRest(first->next, false)
            : !frameOrRest(i - 1, true)) {
        return std::nullopt;
    }
    return Found{frameAt(runs, i, first->next, half), first->next};
}

std::optional<Found> trySirc(const Runs& runs, std::size_t i) {
    if (runs[i].cutAtStart || !fits(runs[i], kSircLeader) || !idleBefore(runs, i, kSircIdleUs)) {
        return std::nullopt;
    }
    uint32_t data = 0;
    int count = 0;
    std::size_t r = i + 1;
    // Each bit is a space and a mark; a longer space (or the capture's end) closes the frame.
    while (r + 1 < runs.size() && !runs[r].cutAtEnd && fits(runs[r], kSircUnit)) {
        const Run& mark = runs[r + 1];
        if (mark.cutAtEnd || count == kSircMaxBits) {
            return std::nullopt;
        }
        if (fits(mark, 2 * kSircUnit)) {
            data |= 1u << count;
        } else if (!fits(mark, kSircUnit)) {
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
    return Found{frameAt(runs, i, r, familyFrameOfBits(IrProtocol::Sirc, data, count)), r};
}

// Every decoder that can start at a mark, the most specific first.
std::optional<Found> tryAll(const Runs& runs, std::size_t i) {
    using Try = std::optional<Found> (*)(const Runs&, std::size_t);
    static constexpr Try kDecoders[] = {tryNec, tryJvc,  trySamsung32, tryRca,  tryKaseikyo,
                                        tryRc6, trySirc, tryRc5,       trySharp};
    for (const Try decoder : kDecoders) {
        if (std::optional<Found> found = decoder(runs, i)) {
            return found;
        }
    }
    return std::nullopt;
}

// The pulse-distance families with a leader and a check that a burst's analysed structure can
// be: a fixed bit count, a leader, two bit lengths.
struct Shape {
    IrProtocol protocol;
    const PulseDistance* code;
};
constexpr Shape kShapes[] = {
    {IrProtocol::Nec, &kNec},
    {IrProtocol::Sanyo, &kSanyo},
    {IrProtocol::Samsung32, &kSamsung32},
    {IrProtocol::Kaseikyo, &kKaseikyo},
    {IrProtocol::Rca, &kRca},
};

// Published descriptions of one family differ in their timings by up to a tenth (Samsung's
// leader is given as 4.4 ms and as 4.5 ms, its bits in units of 550 µs and of 560 µs), and a
// remote may run a fifth fast or slow on top: a burst is that family's when its leader lies
// within a quarter of the family's, each duration measured alone, its bits' periods (a mark and
// its space, whatever the receiver's stretch), averaged over the frame, within three tenths,
// and the long period within a tenth of its ratio to the short one.
constexpr double kPublishedVariance = 0.1;
constexpr double kStructureLeaderTolerance = kRelativeTolerance + 0.05;
constexpr double kStructurePeriodTolerance = kRelativeTolerance + kPublishedVariance;

bool nearLeader(bool high, double us, double nominal) {
    return std::abs(centredUs(high, us) - nominal) <=
           nominal * kStructureLeaderTolerance + kAbsoluteToleranceUs + 0.5 * kMarkStretchUs;
}

// The bits' periods of a structure against a family's.
bool periodsFit(const IrAnalysis& a, const PulseDistance& c) {
    const double zero = a.zeroMarkUs + a.zeroSpaceUs;
    const double scale = zero / (c.mark + c.zeroSpace);
    const double ratio =
        (a.oneMarkUs + a.oneSpaceUs) / zero / ((c.mark + c.oneSpace) / (c.mark + c.zeroSpace));
    return std::abs(scale - 1) <= kStructurePeriodTolerance &&
           std::abs(ratio - 1) <= kRelativeTolerance;
}

// The family whose structure an analysed burst has (its coding, bit count, leader and bit
// periods), when the family's check holds on its bits.
std::optional<IrFrame> familyOfStructure(const IrAnalysis& a) {
    if (a.scheme != IrScheme::PulseDistance || a.repeatCode || a.headerMarkUs == 0) {
        return std::nullopt;
    }
    for (const Shape& shape : kShapes) {
        const PulseDistance& c = *shape.code;
        if (static_cast<int>(a.bits.size()) != c.bits ||
            !nearLeader(false, a.headerMarkUs, c.headerMark) ||
            !nearLeader(true, a.headerSpaceUs, c.headerSpace) || !periodsFit(a, c)) {
            continue;
        }
        uint64_t data = 0;
        for (int b = 0; b < c.bits; ++b) {
            const int shift = c.msbFirst ? c.bits - 1 - b : b;
            data |= static_cast<uint64_t>(a.bits[static_cast<std::size_t>(b)] ? 1 : 0) << shift;
        }
        IrFrame frame = familyFrameOfBits(shape.protocol, data, c.bits);
        if (frame.check == IrCheck::Passed) {
            return frame;
        }
    }
    return std::nullopt;
}

// Sharp and Denon frames read alone, the first of a pair and its partner, are one pair when
// the second follows within this of the first's end.
constexpr double kSharpPairReachUs = 2 * kSharp.gapUs;

// Joins each lone first frame of a Sharp or Denon pair to the second that follows it as its
// partner (a remote that rests longer between them than the published gap).
void joinPairs(std::vector<IrFrame>& frames) {
    std::vector<IrFrame> out;
    out.reserve(frames.size());
    for (std::size_t k = 0; k < frames.size(); ++k) {
        IrFrame& a = frames[k];
        if (k + 1 < frames.size() && a.half == IrPairHalf::FirstOnly &&
            frames[k + 1].half == IrPairHalf::SecondOnly) {
            const IrFrame& b = frames[k + 1];
            const double gapUs =
                static_cast<double>(b.startSample - a.endSample) * kSamplePeriodUsExact;
            std::optional<IrFrame> pair =
                sharpPair(static_cast<uint32_t>(a.received), static_cast<uint32_t>(b.received));
            if (pair && pair->check == IrCheck::Passed && pair->protocol == b.protocol &&
                gapUs <= kSharpPairReachUs) {
                pair->channel = a.channel;
                pair->startSample = a.startSample;
                pair->endSample = b.endSample;
                pair->durationsUs = a.durationsUs;
                pair->durationsUs.push_back(-static_cast<int32_t>(
                    sampleTimeUsRounded(b.startSample) - sampleTimeUsRounded(a.endSample)));
                pair->durationsUs.insert(pair->durationsUs.end(), b.durationsUs.begin(),
                                         b.durationsUs.end());
                out.push_back(std::move(*pair));
                ++k;
                continue;
            }
        }
        out.push_back(std::move(a));
    }
    frames = std::move(out);
}

// Marks positive, spaces negative, in whole microseconds, for runs first ... last.
std::vector<int32_t> durationsOf(const Runs& runs, std::size_t first, std::size_t last) {
    std::vector<int32_t> out;
    out.reserve(last - first + 1);
    for (std::size_t r = first; r <= last; ++r) {
        const auto us = static_cast<int32_t>(sampleTimeUsRounded(runs[r].end()) -
                                             sampleTimeUsRounded(runs[r].start));
        out.push_back(runs[r].high ? -us : us);
    }
    return out;
}

} // namespace

std::vector<IrFrame> decodeInfrared(const ChannelLevels& line, int channel,
                                    IrUnknownBursts unknown) {
    const Runs runs = runsOf(line);
    std::vector<IrFrame> frames;
    constexpr std::size_t kNone = SIZE_MAX;
    std::size_t lastNecFrame = kNone; // the key that repeat codes repeat
    int64_t lastNecStart = 0;         // the last NEC frame or repeat code
    std::size_t lastFrameNext = kNone;
    std::size_t burstFirst = kNone; // the unclaimed marks gathered so far
    std::size_t burstLast = kNone;
    const auto flushBurst = [&] {
        if (burstFirst == kNone) {
            return;
        }
        // A line low from the capture's start to its end (an empty buffer) has no edge: there
        // is no burst to show.
        const bool edgeless =
            burstFirst == burstLast && runs[burstFirst].cutAtStart && runs[burstFirst].cutAtEnd;
        if (!edgeless) {
            const auto unknownFrame = [&](std::size_t first, std::size_t last) {
                IrFrame frame;
                frame.channel = channel;
                frame.protocol = IrProtocol::Unknown;
                frame.keyKnown = false;
                frame.startSample = runs[first].start;
                frame.endSample = runs[last].end();
                frame.durationsUs = durationsOf(runs, first, last);
                return frame;
            };
            IrFrame whole = unknownFrame(burstFirst, burstLast);
            // The frames the burst carries, each by its coding, else the burst as it is.
            std::vector<IrFrame> parts;
            // A burst the capture's end follows closely may be cut short: it stays raw.
            const bool cut = burstLast + 1 < runs.size() && runs[burstLast + 1].cutAtEnd &&
                             runs[burstLast + 1].us() < kIrBurstGapUs;
            for (BurstFrame& b :
                 cut ? std::vector<BurstFrame>{} : analyseBurst(whole.durationsUs)) {
                IrFrame part =
                    unknownFrame(burstFirst + b.first, burstFirst + b.first + b.count - 1);
                part.analysis = std::move(b.analysis);
                part.keyKnown = true; // its bits name it
                parts.push_back(std::move(part));
            }
            if (parts.empty()) {
                parts.push_back(std::move(whole));
            }
            for (IrFrame& part : parts) {
                // A frame of a known family whose timings lie beyond a single duration's
                // tolerance, as one remote's may, is that family's all the same.
                if (std::optional<IrFrame> family = familyOfStructure(part.analysis)) {
                    family->channel = channel;
                    family->startSample = part.startSample;
                    family->endSample = part.endSample;
                    family->durationsUs = std::move(part.durationsUs);
                    if (family->protocol == IrProtocol::Nec ||
                        family->protocol == IrProtocol::Sanyo) {
                        lastNecFrame = frames.size();
                        lastNecStart = family->startSample;
                    }
                    frames.push_back(std::move(*family));
                } else {
                    frames.push_back(std::move(part)); // dropped at the end unless listed
                }
            }
        }
        burstFirst = kNone;
    };
    std::size_t i = 0;
    while (i < runs.size()) {
        if (runs[i].high) {
            ++i;
            continue;
        }
        std::optional<Found> found;
        if (!frames.empty() && frames.back().protocol == IrProtocol::Jvc &&
            lastFrameNext == i - 1) {
            found = tryJvcRepeat(runs, i, frames.back().startSample);
        }
        if (!found) {
            found = tryAll(runs, i);
        }
        if (!found) {
            if (burstFirst != kNone && (burstLast + 2 != i || runs[i - 1].us() > kIrBurstGapUs)) {
                flushBurst();
            }
            if (burstFirst == kNone) {
                burstFirst = i;
            }
            burstLast = i;
            ++i;
            continue;
        }
        flushBurst();
        IrFrame& frame = found->frame;
        frame.channel = channel;
        frame.durationsUs = durationsOf(runs, i, found->next - 1);
        if (frame.protocol == IrProtocol::NecRepeat) {
            const double sinceUs =
                static_cast<double>(frame.startSample - lastNecStart) * kSamplePeriodUsExact;
            frame.keyKnown = lastNecFrame != kNone && sinceUs <= kNecRepeatReachUs;
            if (frame.keyKnown && frames[lastNecFrame].protocol == IrProtocol::Sanyo) {
                // Sanyo's held keys send NEC's repeat code: it repeats the Sanyo frame.
                const IrFrame& key = frames[lastNecFrame];
                frame.protocol = IrProtocol::Sanyo;
                frame.repeat = true;
                frame.address = key.address;
                frame.command = key.command;
            } else if (frame.keyKnown) {
                const IrFrame& key = frames[lastNecFrame];
                frame.address = key.address;
                frame.command = key.command;
                frame.extended = key.extended;
            } else {
                lastNecFrame = kNone;
            }
            lastNecStart = frame.startSample;
        } else if (frame.protocol == IrProtocol::Nec || frame.protocol == IrProtocol::Sanyo) {
            lastNecFrame = frames.size();
            lastNecStart = frame.startSample;
        }
        frames.push_back(std::move(frame));
        lastFrameNext = found->next;
        i = found->next;
    }
    flushBurst();
    // A frame whose own lengths cannot tell its coding is read with the coding of the
    // nearest analysed frame before or after it (not the last one when the capture's end
    // follows closely: it may be cut short).
    const auto analysed = [&](std::size_t k) {
        return k < frames.size() && frames[k].analysis.scheme != IrScheme::None;
    };
    // One remote's frames can look like another coding alone (a bi-phase payload with a
    // single double space reads as a leader and pulse-width bits): a frame that fits the
    // channel's most common coding is read with it; one that does not, but is the only frame
    // of its own coding and about as long as the common coding's frames, is left unread.
    const std::vector<IrCoding> codings = codingsOf(frames);
    const auto common =
        std::max_element(codings.begin(), codings.end(),
                         [](const IrCoding& a, const IrCoding& b) { return a.frames < b.frames; });
    const auto lengthUs = [](const auto& durations) {
        double sum = 0;
        for (const auto d : durations) {
            sum += std::abs(static_cast<double>(d));
        }
        return sum;
    };
    for (IrFrame& f : frames) {
        if (common == codings.end() || common->frames < kCommonCodingFrames ||
            f.analysis.scheme == IrScheme::None || sameStructure(f.analysis, common->like)) {
            continue;
        }
        if (IrAnalysis as = analyseAs(f.durationsUs, common->like); as.scheme != IrScheme::None) {
            f.analysis = std::move(as);
            continue;
        }
        const auto own = std::find_if(codings.begin(), codings.end(), [&](const IrCoding& c) {
            return sameStructure(c.like, f.analysis) &&
                   c.like.bits.size() == f.analysis.bits.size();
        });
        const double ratio = lengthUs(f.durationsUs) / lengthUs(analysedDurations(common->like));
        if (own != codings.end() && own->frames == 1 && ratio > 1 / kSameLengthRatio &&
            ratio < kSameLengthRatio) {
            f.analysis = {};
            f.keyKnown = false;
        }
    }
    for (std::size_t k = 0; k < frames.size(); ++k) {
        IrFrame& f = frames[k];
        const bool nearEnd =
            k + 1 == frames.size() &&
            static_cast<double>(line.samples - f.endSample) * kSamplePeriodUsExact < kIrBurstGapUs;
        if (f.protocol != IrProtocol::Unknown || analysed(k) || nearEnd) {
            continue;
        }
        for (std::size_t step = 1; step <= k || k + step < frames.size(); ++step) {
            const std::size_t like = step <= k && analysed(k - step) ? k - step : k + step;
            if (analysed(like)) {
                f.analysis = analyseAs(f.durationsUs, frames[like].analysis);
                f.keyKnown = f.analysis.scheme != IrScheme::None;
                break;
            }
        }
    }
    // A held key's repeat codes: each within reach of the key's frame or of the repeat code
    // before it.
    for (std::size_t k = 1; k < frames.size(); ++k) {
        IrFrame& f = frames[k];
        const IrFrame& before = frames[k - 1];
        const double sinceUs =
            static_cast<double>(f.startSample - before.startSample) * kSamplePeriodUsExact;
        // NEC's repeat code after a frame of another coding with NEC's leader is that frame's.
        const bool unclaimed =
            f.protocol == IrProtocol::Unknown ||
            (f.protocol == IrProtocol::NecRepeat && before.protocol == IrProtocol::Unknown);
        if (unclaimed && !analysed(k) && analysed(k - 1) && sinceUs <= kUnknownRepeatReachUs &&
            isRepeatCode(f.durationsUs, before.analysis)) {
            f.protocol = IrProtocol::Unknown;
            f.address = 0;
            f.command = 0;
            f.analysis = before.analysis;
            f.analysis.repeatCode = true;
            f.analysis.gapUs = 0;
            f.keyKnown = true;
        }
    }
    for (std::size_t k = 0; k + 1 < frames.size(); ++k) {
        if (frames[k].analysis.scheme != IrScheme::None) {
            frames[k].analysis.gapUs =
                static_cast<int>(sampleTimeUsRounded(frames[k + 1].startSample) -
                                 sampleTimeUsRounded(frames[k].endSample));
        }
    }
    joinPairs(frames);
    for (IrFrame& f : frames) {
        if (f.protocol != IrProtocol::Unknown) {
            f.named = familyNamed(f);
        }
    }
    if (unknown == IrUnknownBursts::Omitted) {
        std::erase_if(frames, [](const IrFrame& f) { return f.protocol == IrProtocol::Unknown; });
    }
    return frames;
}

QString protocolName(const IrFrame& frame) {
    const IrFamilyProtocol* d = familyProtocolOf(frame);
    return d == nullptr ? QStringLiteral("Unknown") : QString::fromLatin1(d->label);
}

BurstSummary summarizeBurst(const IrFrame& frame) {
    BurstSummary s;
    std::map<int, int> marks;
    std::map<int, int> spaces;
    for (const int32_t d : frame.durationsUs) {
        const int bin = (std::abs(d) + kBurstBinUs / 2) / kBurstBinUs * kBurstBinUs;
        ++(d > 0 ? marks : spaces)[bin];
        s.durationUs += std::abs(d);
        s.pulses += d > 0 ? 1 : 0;
    }
    const auto common = [](const std::map<int, int>& bins) {
        const auto it =
            std::max_element(bins.begin(), bins.end(),
                             [](const auto& a, const auto& b) { return a.second < b.second; });
        return it == bins.end() ? 0 : it->first;
    };
    s.commonMarkUs = common(marks);
    s.commonSpaceUs = common(spaces);
    return s;
}

} // namespace velmoran::infrared
