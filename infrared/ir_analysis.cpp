#include "infrared/ir_analysis.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>

#include "infrared/ir_runs.h"

namespace velmoran::infrared {

namespace {

using ir::kAbsoluteToleranceUs;
using ir::kMarkStretchUs;

// Durations whose sorted neighbour lies within this ratio (plus the sampling's slack) are one
// length.

constexpr double kClusterRatio = 1.2;
// A duration this far beyond the mean of the shorter ones starts a new length.
constexpr double kLengthRatio = 1.35;
constexpr double kClusterSlackUs = kAbsoluteToleranceUs;
constexpr std::size_t kMostLengths = 3;
// Two lengths are distinct codes only this far apart; a bi-phase double lies in this range.
constexpr double kDistinctRatio = 1.5;
constexpr double kDoubleMin = 1.6;
constexpr double kDoubleMax = 2.5;
// A leader is this much longer than every mark or space of the bits.
constexpr double kLeaderRatio = 1.6;
constexpr int kFewestBits = 4;
// A frame ends where the line rests this many times the longest space of its bits.
constexpr double kFrameGapRatio = 3;
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

// Manchester halves of `unit` from the bits' first mark on: a 1 is space then mark.
std::optional<std::vector<bool>> biPhaseBits(const std::vector<int32_t>& d, double stretch,
                                             double unit) {
    std::vector<bool> halves{false}; // the resting level before the first mark is a half
    for (const int32_t v : d) {
        const double len = v > 0 ? v - stretch : -v + stretch;
        const int n = len < 1.5 * unit ? 1 : len < 2.5 * unit ? 2 : 0;
        if (n == 0) {
            return std::nullopt;
        }
        halves.insert(halves.end(), static_cast<std::size_t>(n), v > 0);
    }
    if (halves.size() % 2 == 1) {
        halves.push_back(false); // the last half rests
    }
    std::vector<bool> bits;
    for (std::size_t h = 0; h < halves.size(); h += 2) {
        if (halves[h] == halves[h + 1]) {
            return std::nullopt;
        }
        bits.push_back(halves[h + 1]);
    }
    return bits;
}

} // namespace

std::vector<std::vector<int32_t>> splitFrames(const std::vector<int32_t>& d) {
    std::vector<int32_t> spaces;
    for (const int32_t v : d) {
        if (v < 0) {
            spaces.push_back(-v);
        }
    }
    std::sort(spaces.begin(), spaces.end());
    // The longest space inside a bit: the median's cluster bounds it well enough.
    const int32_t typical = spaces.empty() ? 0 : spaces[spaces.size() / 2];
    const double limit = std::max<double>(kFrameGapMinUs, kFrameGapRatio * 2 * typical);
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

IrAnalysis analyseDurations(const std::vector<int32_t>& d) {
    IrAnalysis a;
    if (d.size() < 2 * kFewestBits + 1 || d.front() < 0 || d.back() < 0) {
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
    if (!m || !s || s->empty()) {
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
            a.zeroMarkUs = a.zeroSpaceUs = a.oneMarkUs = a.oneSpaceUs = us(unit);
            a.bits = *bits;
        }
    }
    if (a.scheme == IrScheme::None || static_cast<int>(a.bits.size()) < kFewestBits) {
        return IrAnalysis{};
    }
    return a;
}

bool sameStructure(const IrAnalysis& a, const IrAnalysis& b) {
    const auto same = [](int x, int y) { return (x == 0) == (y == 0) && near(x, y); };
    return a.scheme == b.scheme && a.scheme != IrScheme::None &&
           same(a.headerMarkUs, b.headerMarkUs) && same(a.headerSpaceUs, b.headerSpaceUs) &&
           same(a.zeroMarkUs, b.zeroMarkUs) && same(a.zeroSpaceUs, b.zeroSpaceUs) &&
           same(a.oneMarkUs, b.oneMarkUs) && same(a.oneSpaceUs, b.oneSpaceUs) &&
           same(a.trailMarkUs, b.trailMarkUs);
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

QString differingBits(const std::vector<IrFrame>& frames) {
    const auto ranges = differing(frames);
    if (!ranges) {
        return QStringLiteral("structures differ");
    }
    if (ranges->empty()) {
        return {};
    }
    QStringList parts;
    for (const auto& [from, to] : *ranges) {
        parts << (from == to ? QString::number(from) : QStringLiteral("%1–%2").arg(from).arg(to));
    }
    return QStringLiteral("bits ") + parts.join(QStringLiteral(", ")) + QStringLiteral(" differ");
}

QString differingBitsText(const std::vector<IrFrame>& frames) {
    const auto ranges = differing(frames);
    if (!ranges) {
        return QStringLiteral("所选帧结构不同");
    }
    if (ranges->empty()) {
        return {};
    }
    QStringList parts;
    for (const auto& [from, to] : *ranges) {
        parts << (from == to ? QString::number(from) : QStringLiteral("%1–%2").arg(from).arg(to));
    }
    return QStringLiteral("第 ") + parts.join(QStringLiteral("、")) + QStringLiteral(" 位不同");
}

} // namespace velmoran::infrared
