#include "infrared/ir_analysis.h"

#include <QStringList>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <optional>

#include "infrared/ir_runs.h"

namespace velmoran::infrared {

namespace {

using ir::kAbsoluteToleranceUs;
using ir::kMarkStretchUs;

// A duration is taken for a length within a fifth of it, the sampling's slack and a
// receiver's stretch.
constexpr double kClusterRatio = 1.2;
constexpr double kClusterSlackUs = kAbsoluteToleranceUs;
// Sorted, a duration this far beyond the mean of the shorter ones starts a new length.
constexpr double kLengthRatio = 1.35;
constexpr std::size_t kMostLengths = 3;
// Two lengths are distinct codes only this far apart; a bi-phase double lies in this range.
constexpr double kDistinctRatio = 1.5;
constexpr double kDoubleMin = 1.6;
constexpr double kDoubleMax = 2.5;
// A bi-phase run of one unit or of two, in units (after the receiver's stretch is taken back).
constexpr double kOneUnitLeast = 0.5;
constexpr double kOneUnitMost = 1.4;
constexpr double kTwoUnitsLeast = 1.55;
constexpr double kTwoUnitsMost = 2.5;
// A leader is this much longer than every mark or space of the bits.
constexpr double kLeaderRatio = 1.6;
constexpr double kLeaderSpaceLeast = 0.6;
constexpr int kFewestBits = 4;
// No remote's frame has more marks and spaces than this (a 112-bit frame has 227): a longer
// burst is noise, not worth sorting.
constexpr std::size_t kMostDurations = 1024;
// A frame ends where the line rests this many times its median space (of a pulse-distance
// code about thrice its long space).
constexpr double kFrameGapRatio = 6;
constexpr int32_t kFrameGapMinUs = 5000;

struct Length {
    double mean = 0;
    double longest = 0;
    int count = 0;
};

// The values sorted into lengths (none when more than kMostLengths).
std::optional<std::vector<Length>> lengthsOf(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    std::vector<Length> out;
    for (const double v : values) {
        if (out.empty() || v > out.back().mean * kLengthRatio + kClusterSlackUs) {
            if (out.size() == kMostLengths) {
                return std::nullopt;
            }
            out.push_back({0, 0, 0});
        }
        Length& l = out.back();
        l.mean = (l.mean * l.count + v) / (l.count + 1);
        l.longest = v;
        ++l.count;
    }
    return out;
}

int us(double v) {
    return static_cast<int>(std::lround(v));
}

bool near(double a, double b) {
    return std::abs(a - b) <=
           std::max(a, b) * (kClusterRatio - 1) + kClusterSlackUs + kMarkStretchUs;
}

// Two durations measured in different frames, each off by its own error: alike within twice
// the cluster tolerance.
bool alike(double a, double b) {
    return std::abs(a - b) <=
           std::max(a, b) * 2 * (kClusterRatio - 1) + kClusterSlackUs + kMarkStretchUs;
}

// Manchester halves of `unit` from the bits' first mark on: a 1 is space then mark. The first
// mark is a bit's second half (the line rested for its first, a 1) or, when that does not read,
// a bit's first half (a 0).
std::optional<std::vector<bool>> biPhaseBits(const std::vector<int32_t>& d, double stretch,
                                             double unit) {
    std::vector<bool> halves;
    for (const int32_t v : d) {
        const double len = v > 0 ? v - stretch : -v + stretch;
        // Between one unit and two lies a span too far from both to tell: no guess there.
        const double units = len / unit;
        const int n = units >= kOneUnitLeast && units <= kOneUnitMost     ? 1
                      : units >= kTwoUnitsLeast && units <= kTwoUnitsMost ? 2
                                                                          : 0;
        if (n == 0) {
            return std::nullopt;
        }
        halves.insert(halves.end(), static_cast<std::size_t>(n), v > 0);
    }
    for (const bool restFirst : {true, false}) {
        std::vector<bool> h;
        if (restFirst) {
            h.push_back(false); // the resting level before the first mark is a half
        }
        h.insert(h.end(), halves.begin(), halves.end());
        if (h.size() % 2 == 1) {
            h.push_back(false); // the last half rests
        }
        std::vector<bool> bits;
        for (std::size_t k = 0; k < h.size() && bits.size() * 2 == k; k += 2) {
            if (h[k] != h[k + 1]) {
                bits.push_back(h[k + 1]);
            }
        }
        if (bits.size() * 2 == h.size()) {
            return bits;
        }
    }
    return std::nullopt;
}

// Four-symbol codes: four space lengths equally apart, each within this share of the step
// between them of its place, and this share of a step clear of its neighbours.
constexpr std::size_t kSymbols = 4;
constexpr double kSymbolPlaceSlack = 0.25;
constexpr double kSymbolClearance = 0.3;

// The means of four space lengths equally apart, the shortest first; nullopt when the values
// are not four such lengths.
std::optional<std::array<double, kSymbols>> fourLengths(std::vector<double> values) {
    if (values.size() < kSymbols) {
        return std::nullopt;
    }
    std::sort(values.begin(), values.end());
    // The three widest steps between neighbours part the four lengths.
    std::vector<std::size_t> cuts(values.size() - 1);
    for (std::size_t k = 0; k < cuts.size(); ++k) {
        cuts[k] = k + 1;
    }
    std::partial_sort(cuts.begin(), cuts.begin() + (kSymbols - 1), cuts.end(),
                      [&](std::size_t a, std::size_t b) {
                          return values[a] - values[a - 1] > values[b] - values[b - 1];
                      });
    cuts.resize(kSymbols - 1);
    std::sort(cuts.begin(), cuts.end());
    std::array<double, kSymbols> mean{};
    std::array<double, kSymbols> least{};
    std::array<double, kSymbols> most{};
    std::size_t from = 0;
    for (std::size_t c = 0; c < kSymbols; ++c) {
        const std::size_t to = c + 1 < kSymbols ? cuts[c] : values.size();
        double sum = 0;
        for (std::size_t k = from; k < to; ++k) {
            sum += values[k];
        }
        mean[c] = sum / static_cast<double>(to - from);
        least[c] = values[from];
        most[c] = values[to - 1];
        from = to;
    }
    const double step = (mean[kSymbols - 1] - mean[0]) / (kSymbols - 1);
    if (step < 2 * kClusterSlackUs) {
        return std::nullopt;
    }
    for (std::size_t c = 0; c < kSymbols; ++c) {
        if (std::abs(mean[c] - mean[0] - static_cast<double>(c) * step) >
                kSymbolPlaceSlack * step ||
            (c > 0 && least[c] - most[c - 1] < kSymbolClearance * step)) {
            return std::nullopt;
        }
    }
    return mean;
}

// The symbol of a space: the nearest of the four lengths.
std::size_t symbolOf(double space, const std::array<int, kSymbols>& lengths) {
    std::size_t best = 0;
    for (std::size_t c = 1; c < kSymbols; ++c) {
        if (std::abs(space - lengths[c]) < std::abs(space - lengths[best])) {
            best = c;
        }
    }
    return best;
}

std::array<int, kSymbols> symbolSpaces(const IrAnalysis& a) {
    return {a.zeroSpaceUs, a.oneSpaceUs, a.twoSpaceUs, a.threeSpaceUs};
}

void pushSymbol(std::vector<bool>& bits, std::size_t symbol) {
    bits.push_back((symbol & 2u) != 0);
    bits.push_back((symbol & 1u) != 0);
}

} // namespace

std::vector<std::vector<int32_t>> splitFrames(const std::vector<int32_t>& d) {
    std::vector<int32_t> spaces;
    spaces.reserve(d.size() / 2);
    for (const int32_t v : d) {
        if (v < 0) {
            spaces.push_back(-v);
        }
    }
    // The median space tells the bits' lengths well enough.
    const auto middle = spaces.begin() + static_cast<std::ptrdiff_t>(spaces.size() / 2);
    std::nth_element(spaces.begin(), middle, spaces.end());
    const int32_t typical = spaces.empty() ? 0 : *middle;
    const double limit = std::max<double>(kFrameGapMinUs, kFrameGapRatio * typical);
    std::vector<std::vector<int32_t>> out(1);
    for (const int32_t v : d) {
        if (v < 0 && -v > limit) {
            out.emplace_back();
        } else {
            out.back().push_back(v);
        }
    }
    return out;
}

namespace {

// The longest spaces of a burst are tried as frame ends in up to this many lengths.
constexpr std::size_t kMostEndLengths = 3;
constexpr std::size_t kFramesToTellCoding = 2;
// No frame has fewer marks and spaces than this (four bits and a closing mark).
constexpr std::size_t kFewestFrameDurations = 9;

// The burst cut at the spaces `ends` (indices, ascending), each part analysed; nullopt
// unless every part shows one coding.
std::optional<std::vector<BurstFrame>> cutAt(const std::vector<int32_t>& d,
                                             const std::vector<std::size_t>& ends) {
    std::vector<BurstFrame> out;
    std::size_t from = 0;
    for (std::size_t k = 0; k <= ends.size(); ++k) {
        const std::size_t to = k < ends.size() ? ends[k] : d.size();
        if (to <= from) {
            return std::nullopt;
        }
        out.push_back({from, to - from, {}});
        from = to + 1;
    }
    const auto piece = [&](const BurstFrame& f) {
        return std::vector<int32_t>(d.begin() + static_cast<std::ptrdiff_t>(f.first),
                                    d.begin() + static_cast<std::ptrdiff_t>(f.first + f.count));
    };
    // The coding is told by one of the first frames (a frame whose bits are all alike tells
    // none); every frame after it must be read with it, the first that is not ends the search.
    IrAnalysis reference;
    for (std::size_t k = 0; k < out.size() && k < kFramesToTellCoding; ++k) {
        out[k].analysis = analyseDurations(piece(out[k]));
        if (out[k].analysis.scheme != IrScheme::None) {
            reference = out[k].analysis;
            break;
        }
    }
    if (reference.scheme == IrScheme::None) {
        return std::nullopt;
    }
    for (BurstFrame& f : out) {
        const std::vector<int32_t> p = piece(f);
        if (f.analysis.scheme == IrScheme::None) {
            f.analysis = analyseDurations(p);
        }
        if (f.analysis.scheme != IrScheme::None && sameStructure(f.analysis, reference) &&
            f.analysis.bits.size() == reference.bits.size()) {
            continue;
        }
        if (IrAnalysis as = analyseAs(p, reference); as.scheme != IrScheme::None) {
            f.analysis = std::move(as);
        } else if (isRepeatCode(p, reference)) {
            f.analysis = reference;
            f.analysis.repeatCode = true;
        } else {
            return std::nullopt;
        }
    }
    return out;
}

// The burst cut at the spaces `ends` as one pulse-distance frame sent in parts, each of one
// coding whatever its bit count, the parts after the first all with the leader or all without,
// the separators alike.
std::optional<BurstFrame> joinedAt(const std::vector<int32_t>& d,
                                   const std::vector<std::size_t>& ends) {
    if (ends.empty()) {
        return std::nullopt;
    }
    BurstFrame out{0, d.size(), {}};
    IrAnalysis& whole = out.analysis;
    double separators = 0;
    std::size_t from = 0;
    for (std::size_t k = 0; k <= ends.size(); ++k) {
        const std::size_t to = k < ends.size() ? ends[k] : d.size();
        if (to <= from) {
            return std::nullopt;
        }
        const IrAnalysis part =
            analyseDurations(std::vector<int32_t>(d.begin() + static_cast<std::ptrdiff_t>(from),
                                                  d.begin() + static_cast<std::ptrdiff_t>(to)));
        if (part.scheme != IrScheme::PulseDistance) {
            return std::nullopt;
        }
        if (k == 0) {
            whole = part;
        } else {
            // The first part's coding, its separators aside.
            IrAnalysis first = whole;
            first.separatorsAt.clear();
            first.separatorUs = 0;
            first.leaderAfterSeparator = false;
            IrAnalysis timings = part;
            timings.headerMarkUs = whole.headerMarkUs;
            timings.headerSpaceUs = whole.headerSpaceUs;
            const bool leader = part.headerMarkUs > 0;
            if (!sameStructure(timings, first) || (leader && !sameStructure(part, first)) ||
                (k > 1 && leader != whole.leaderAfterSeparator) ||
                (k > 1 && !alike(-d[from - 1], whole.separatorUs))) {
                return std::nullopt;
            }
            whole.leaderAfterSeparator = leader;
            whole.separatorsAt.push_back(static_cast<int>(whole.bits.size()));
            whole.bits.insert(whole.bits.end(), part.bits.begin(), part.bits.end());
        }
        if (k < ends.size()) {
            separators += -d[to];
            whole.separatorUs = us(separators / static_cast<double>(k + 1));
        }
        from = to + 1;
    }
    return out;
}

} // namespace

std::vector<BurstFrame> analyseBurst(const std::vector<int32_t>& d) {
    const std::vector<std::vector<int32_t>> split = splitFrames(d);
    if (split.size() == 1) {
        if (IrAnalysis a = analyseDurations(d); a.scheme != IrScheme::None) {
            return {{0, d.size(), std::move(a)}};
        }
    } else {
        std::vector<std::size_t> ends;
        std::size_t at = 0;
        for (std::size_t k = 0; k + 1 < split.size(); ++k) {
            at += split[k].size();
            ends.push_back(at);
            ++at;
        }
        if (std::optional<std::vector<BurstFrame>> frames = cutAt(d, ends)) {
            return std::move(*frames);
        }
        if (std::optional<BurstFrame> frame = joinedAt(d, ends)) {
            return {std::move(*frame)};
        }
    }
    // The spaces by length, the longest first: each length in turn joins the frame ends.
    std::vector<int32_t> spaces;
    for (const int32_t v : d) {
        if (v < 0) {
            spaces.push_back(-v);
        }
    }
    std::sort(spaces.begin(), spaces.end(), std::greater<>());
    std::size_t lengths = 0;
    for (std::size_t k = 0; k < spaces.size() && lengths < kMostEndLengths; ++k) {
        const bool lengthEnds =
            k + 1 == spaces.size() || spaces[k] > spaces[k + 1] * kLengthRatio + kClusterSlackUs;
        if (!lengthEnds) {
            continue;
        }
        ++lengths;
        std::vector<std::size_t> ends;
        for (std::size_t i = 1; i < d.size(); i += 2) {
            if (-d[i] >= spaces[k]) {
                ends.push_back(i);
            }
        }
        if ((ends.size() + 1) * kFewestFrameDurations > d.size()) {
            break; // frames this short are no code's: more ends make them shorter still
        }
        if (std::optional<std::vector<BurstFrame>> frames = cutAt(d, ends)) {
            return std::move(*frames);
        }
        if (std::optional<BurstFrame> frame = joinedAt(d, ends)) {
            return {std::move(*frame)};
        }
    }
    // A long leader space may pass for a frame's end: the burst whole, when one coding
    // explains it after all.
    if (split.size() > 1) {
        if (IrAnalysis a = analyseDurations(d); a.scheme != IrScheme::None) {
            return {{0, d.size(), std::move(a)}};
        }
    }
    return {};
}

IrAnalysis analyseDurations(const std::vector<int32_t>& d) {
    IrAnalysis a;
    if (d.size() < 2 * kFewestBits + 1 || d.size() > kMostDurations || d.front() < 0 ||
        d.back() < 0) {
        return a;
    }
    // The leader: a first mark or space longer than every later one by far.
    double longestMark = 0;
    double longestSpace = 0;
    for (std::size_t k = 2; k < d.size(); ++k) {
        (d[k] > 0 ? longestMark : longestSpace) =
            std::max(d[k] > 0 ? longestMark : longestSpace, std::abs(static_cast<double>(d[k])));
    }
    const bool leader = d[0] > kLeaderRatio * longestMark || -d[1] > kLeaderRatio * longestSpace;
    const std::size_t from = leader ? 2 : 0;
    std::vector<double> marks;
    std::vector<double> spaces;
    for (std::size_t k = from; k < d.size(); ++k) {
        (d[k] > 0 ? marks : spaces).push_back(std::abs(d[k]));
    }
    const std::optional<std::vector<Length>> m = lengthsOf(marks);
    const std::optional<std::vector<Length>> s = lengthsOf(spaces);
    if (m && m->size() == 1) {
        // Four spaces equally apart, however the looser sorting above grouped them: two bits
        // per mark and space.
        if (const auto four = fourLengths(spaces)) {
            a.scheme = IrScheme::FourSymbol;
            a.zeroMarkUs = a.oneMarkUs = a.trailMarkUs = us(m->at(0).mean);
            a.zeroSpaceUs = us((*four)[0]);
            a.oneSpaceUs = us((*four)[1]);
            a.twoSpaceUs = us((*four)[2]);
            a.threeSpaceUs = us((*four)[3]);
            if (leader) {
                a.headerMarkUs = d[0];
                a.headerSpaceUs = -d[1];
            }
            for (std::size_t k = from + 1; k < d.size(); k += 2) {
                pushSymbol(a.bits, symbolOf(-d[k], symbolSpaces(a)));
            }
            return static_cast<int>(a.bits.size()) < kFewestBits ? IrAnalysis{} : a;
        }
    }
    if (!m || !s || s->empty()) {
        return a;
    }
    // A leader's space is no shorter than the bits' (a glitch that cuts the leader's mark in
    // two leaves a sliver of space behind).
    if (leader && -d[1] < kLeaderSpaceLeast * s->front().mean) {
        return a;
    }
    if (leader) {
        a.headerMarkUs = d[0];
        a.headerSpaceUs = -d[1];
    }
    if (m->size() == 1 && s->size() == 2 && s->at(1).mean > kDistinctRatio * s->at(0).mean) {
        // Pulse-distance: each bit a mark and a short (0) or long (1) space, a closing mark.
        a.scheme = IrScheme::PulseDistance;
        a.zeroMarkUs = a.oneMarkUs = us(m->at(0).mean);
        a.zeroSpaceUs = us(s->at(0).mean);
        a.oneSpaceUs = us(s->at(1).mean);
        a.trailMarkUs = a.zeroMarkUs;
        const double split = (s->at(0).longest + s->at(1).mean) / 2;
        for (std::size_t k = from + 1; k < d.size(); k += 2) {
            a.bits.push_back(-d[k] > split);
        }
    } else if (m->size() == 2 && s->size() == 1 && m->at(1).mean > kDistinctRatio * m->at(0).mean) {
        // Pulse-width: each bit a short (0) or long (1) mark; the space between is constant.
        a.scheme = IrScheme::PulseWidth;
        a.zeroMarkUs = us(m->at(0).mean);
        a.oneMarkUs = us(m->at(1).mean);
        a.zeroSpaceUs = a.oneSpaceUs = us(s->at(0).mean);
        const double split = (m->at(0).longest + m->at(1).mean) / 2;
        for (std::size_t k = from; k < d.size(); k += 2) {
            a.bits.push_back(d[k] > split);
        }
    }
    // Bi-phase: marks and spaces of one unit and its double, no leader (and neither of the
    // above, which need one of them constant).
    // A stretching receiver lengthens the marks as much as it shortens the spaces.
    const double stretch = (m->at(0).mean - s->at(0).mean) / 2;
    const auto unitAndDouble = [](const std::vector<Length>& l, double by) {
        return l.size() == 1 || (l.size() == 2 && l[1].mean + by >= kDoubleMin * (l[0].mean + by) &&
                                 l[1].mean + by <= kDoubleMax * (l[0].mean + by));
    };
    // (A train of equal marks and spaces is no code: a double length must occur.)
    if (a.scheme == IrScheme::None && !leader && m->size() + s->size() > 2 &&
        unitAndDouble(*m, -stretch) && unitAndDouble(*s, stretch)) {
        const double unit = (m->at(0).mean + s->at(0).mean) / 2;
        if (const std::optional<std::vector<bool>> bits = biPhaseBits(d, stretch, unit)) {
            a.scheme = IrScheme::BiPhase;
            // The unit as marks and as spaces measure it.
            a.zeroMarkUs = a.oneMarkUs = us(unit + stretch);
            a.zeroSpaceUs = a.oneSpaceUs = us(unit - stretch);
            a.bits = *bits;
        }
    }
    if (a.scheme == IrScheme::None || static_cast<int>(a.bits.size()) < kFewestBits) {
        return IrAnalysis{};
    }
    return a;
}

IrAnalysis analyseAs(const std::vector<int32_t>& d, const IrAnalysis& like) {
    if (!like.separatorsAt.empty()) {
        return {}; // a frame in parts is read by its own lengths only
    }
    IrAnalysis a = like;
    a.bits.clear();
    a.gapUs = 0;
    std::size_t from = 0;
    if (like.headerMarkUs > 0) {
        if (d.size() < 2 || !alike(d[0], like.headerMarkUs) || !alike(-d[1], like.headerSpaceUs)) {
            return {};
        }
        from = 2;
    }
    // The nearer of the two lengths a bit may take, when near enough.
    const auto bitOf = [](double v, int zero, int one) -> std::optional<bool> {
        const bool isOne = std::abs(v - one) < std::abs(v - zero);
        if (!near(v, isOne ? one : zero)) {
            return std::nullopt;
        }
        return isOne;
    };
    switch (like.scheme) {
    case IrScheme::None:
        return {};
    case IrScheme::PulseDistance:
        if ((d.size() - from) % 2 == 0) {
            return {};
        }
        for (std::size_t k = from; k < d.size(); k += 2) {
            if (!near(d[k], like.zeroMarkUs)) {
                return {};
            }
            if (k + 1 < d.size()) {
                const std::optional<bool> bit = bitOf(-d[k + 1], like.zeroSpaceUs, like.oneSpaceUs);
                if (!bit) {
                    return {};
                }
                a.bits.push_back(*bit);
            }
        }
        break;
    case IrScheme::PulseWidth:
        for (std::size_t k = from; k < d.size(); ++k) {
            if (d[k] < 0 ? !near(-d[k], like.zeroSpaceUs) : false) {
                return {};
            }
            if (d[k] > 0) {
                const std::optional<bool> bit = bitOf(d[k], like.zeroMarkUs, like.oneMarkUs);
                if (!bit) {
                    return {};
                }
                a.bits.push_back(*bit);
            }
        }
        break;
    case IrScheme::FourSymbol:
        if ((d.size() - from) % 2 == 0) {
            return {};
        }
        for (std::size_t k = from; k < d.size(); k += 2) {
            if (!near(d[k], like.zeroMarkUs)) {
                return {};
            }
            if (k + 1 < d.size()) {
                const std::size_t symbol = symbolOf(-d[k + 1], symbolSpaces(like));
                if (!near(-d[k + 1], symbolSpaces(like)[symbol])) {
                    return {};
                }
                pushSymbol(a.bits, symbol);
            }
        }
        break;
    case IrScheme::BiPhase:
        if (const std::optional<std::vector<bool>> bits =
                biPhaseBits(d, (like.oneMarkUs - like.oneSpaceUs) / 2.0,
                            (like.oneMarkUs + like.oneSpaceUs) / 2.0)) {
            a.bits = *bits;
        }
        break;
    }
    if (a.bits.size() != like.bits.size()) {
        return {};
    }
    return a;
}

bool isRepeatCode(const std::vector<int32_t>& d, const IrAnalysis& key) {
    constexpr std::size_t kMostDurations = 5;
    return key.scheme != IrScheme::None && key.headerMarkUs > 0 && d.size() % 2 == 1 &&
           d.size() <= kMostDurations && alike(d.front(), key.headerMarkUs);
}

std::vector<double> analysedDurations(const IrAnalysis& a) {
    std::vector<double> out;
    if (a.headerMarkUs > 0) {
        out = {static_cast<double>(a.headerMarkUs), -static_cast<double>(a.headerSpaceUs)};
    }
    switch (a.scheme) {
    case IrScheme::None:
        return {};
    case IrScheme::PulseDistance:
        for (std::size_t b = 0; b < a.bits.size(); ++b) {
            const bool bit = a.bits[b];
            if (std::find(a.separatorsAt.begin(), a.separatorsAt.end(), static_cast<int>(b)) !=
                a.separatorsAt.end()) {
                out.push_back(a.trailMarkUs);
                out.push_back(-a.separatorUs);
                if (a.leaderAfterSeparator) {
                    out.push_back(a.headerMarkUs);
                    out.push_back(-a.headerSpaceUs);
                }
            }
            out.push_back(bit ? a.oneMarkUs : a.zeroMarkUs);
            out.push_back(-(bit ? a.oneSpaceUs : a.zeroSpaceUs));
        }
        out.push_back(a.trailMarkUs);
        return out;
    case IrScheme::PulseWidth:
        for (const bool bit : a.bits) {
            if (out.size() % 2 == 1) {
                out.push_back(-(bit ? a.oneSpaceUs : a.zeroSpaceUs));
            }
            out.push_back(bit ? a.oneMarkUs : a.zeroMarkUs);
        }
        return out;
    case IrScheme::FourSymbol:
        for (std::size_t b = 0; b + 1 < a.bits.size(); b += 2) {
            out.push_back(a.zeroMarkUs);
            out.push_back(-symbolSpaces(a)[(a.bits[b] ? 2u : 0u) | (a.bits[b + 1] ? 1u : 0u)]);
        }
        out.push_back(a.trailMarkUs);
        return out;
    case IrScheme::BiPhase: {
        // A 1 is space then mark; the first space merges into the rest before the frame.
        for (const bool bit : a.bits) {
            for (const bool mark : {!bit, bit}) {
                const double v = mark ? a.oneMarkUs : -a.oneSpaceUs;
                if (out.empty() && !mark) {
                    continue;
                }
                if (!out.empty() && (out.back() > 0) == mark) {
                    out.back() += v;
                } else {
                    out.push_back(v);
                }
            }
        }
        if (!out.empty() && out.back() < 0) {
            out.pop_back();
        }
        return out;
    }
    }
    return out;
}

bool sameStructure(const IrAnalysis& a, const IrAnalysis& b) {
    const auto same = [](int x, int y) { return (x == 0) == (y == 0) && near(x, y); };
    return a.scheme == b.scheme && a.scheme != IrScheme::None &&
           same(a.headerMarkUs, b.headerMarkUs) && same(a.headerSpaceUs, b.headerSpaceUs) &&
           same(a.zeroMarkUs, b.zeroMarkUs) && same(a.zeroSpaceUs, b.zeroSpaceUs) &&
           same(a.oneMarkUs, b.oneMarkUs) && same(a.oneSpaceUs, b.oneSpaceUs) &&
           same(a.trailMarkUs, b.trailMarkUs) && same(a.twoSpaceUs, b.twoSpaceUs) &&
           same(a.threeSpaceUs, b.threeSpaceUs) && a.separatorsAt == b.separatorsAt &&
           same(a.separatorUs, b.separatorUs) && a.leaderAfterSeparator == b.leaderAfterSeparator;
}

std::vector<IrCoding> codingsOf(const std::vector<IrFrame>& frames) {
    std::vector<IrCoding> out;
    std::vector<std::vector<std::vector<bool>>> payloads;
    std::vector<const std::vector<bool>*> last;
    for (const IrFrame& f : frames) {
        if (f.protocol != IrProtocol::Unknown || f.analysis.scheme == IrScheme::None) {
            continue;
        }
        std::size_t c = 0;
        while (c < out.size() && !(sameStructure(out[c].like, f.analysis) &&
                                   out[c].like.bits.size() == f.analysis.bits.size())) {
            ++c;
        }
        if (c == out.size()) {
            out.push_back({f.analysis, 0, 0, 0});
            payloads.emplace_back();
            last.push_back(nullptr);
        }
        ++out[c].frames;
        const std::vector<bool>& bits = f.analysis.bits;
        if (f.analysis.repeatCode || (last[c] != nullptr && *last[c] == bits)) {
            ++out[c].repeats;
        }
        if (std::find(payloads[c].begin(), payloads[c].end(), bits) == payloads[c].end()) {
            payloads[c].push_back(bits);
            ++out[c].keys;
        }
        last[c] = &bits;
    }
    return out;
}

QString bitsHex(const std::vector<bool>& bits, bool lsbFirst) {
    const std::size_t n = bits.size();
    QString out;
    for (std::size_t nibble = (n + 3) / 4; nibble-- > 0;) {
        int v = 0;
        for (int b = 3; b >= 0; --b) {
            const std::size_t weight = nibble * 4 + static_cast<std::size_t>(b);
            if (weight < n) {
                const bool bit = lsbFirst ? bits[weight] : bits[n - 1 - weight];
                v = v << 1 | (bit ? 1 : 0);
            } else {
                v <<= 1;
            }
        }
        out += QString::number(v, 16);
    }
    return QStringLiteral("0x") + out;
}

namespace {

// The 1-based positions where the frames' bits differ, as ranges; nullopt when the frames are
// not of one structure and length.
std::optional<std::vector<std::pair<int, int>>> differing(const std::vector<IrFrame>& frames) {
    std::vector<std::pair<int, int>> ranges;
    if (frames.empty()) {
        return ranges;
    }
    // Bursts no coding was inferred for agree when they send the same marks and spaces.
    if (std::any_of(frames.begin(), frames.end(),
                    [](const IrFrame& f) { return f.analysis.scheme == IrScheme::None; })) {
        const std::vector<int32_t>& d = frames.front().durationsUs;
        const bool same = std::all_of(frames.begin(), frames.end(), [&](const IrFrame& f) {
            return std::equal(d.begin(), d.end(), f.durationsUs.begin(), f.durationsUs.end(),
                              [](int32_t x, int32_t y) {
                                  return (x < 0) == (y < 0) && alike(std::abs(x), std::abs(y));
                              });
        });
        return same ? std::optional(ranges) : std::nullopt;
    }
    const IrAnalysis& first = frames.front().analysis;
    for (const IrFrame& f : frames) {
        if (!sameStructure(f.analysis, first) || f.analysis.bits.size() != first.bits.size()) {
            return std::nullopt;
        }
    }
    for (std::size_t b = 0; b < first.bits.size(); ++b) {
        const bool differs = std::any_of(frames.begin(), frames.end(), [&](const IrFrame& f) {
            return f.analysis.bits[b] != first.bits[b];
        });
        const int pos = static_cast<int>(b) + 1;
        if (!differs) {
            continue;
        }
        if (!ranges.empty() && ranges.back().second == pos - 1) {
            ranges.back().second = pos;
        } else {
            ranges.emplace_back(pos, pos);
        }
    }
    return ranges;
}

} // namespace

namespace {

// The differing bit ranges as "3" or "5–7", joined by the separator; an empty list when all agree.
std::optional<QString> rangesText(const std::vector<IrFrame>& frames, const QString& separator) {
    const auto ranges = differing(frames);
    if (!ranges) {
        return std::nullopt;
    }
    QStringList parts;
    for (const auto& [from, to] : *ranges) {
        parts << (from == to ? QString::number(from) : QStringLiteral("%1–%2").arg(from).arg(to));
    }
    return parts.join(separator);
}

} // namespace

QString differingBits(const std::vector<IrFrame>& frames) {
    const auto parts = rangesText(frames, QStringLiteral(", "));
    if (!parts) {
        return QStringLiteral("structures differ");
    }
    return parts->isEmpty() ? QString()
                            : QStringLiteral("bits ") + *parts + QStringLiteral(" differ");
}

QString differingBitsText(const std::vector<IrFrame>& frames) {
    const auto parts = rangesText(frames, QStringLiteral("、"));
    if (!parts) {
        return QStringLiteral("所选帧结构不同");
    }
    return parts->isEmpty() ? QString()
                            : QStringLiteral("第 ") + *parts + QStringLiteral(" 位不同");
}

} // namespace velmoran::infrared
