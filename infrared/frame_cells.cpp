#include "infrared/frame_cells.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "core/constants.h"
#include "infrared/ir_protocols.h"
#include "infrared/irp/irp_table.h"

namespace velmoran::infrared {

namespace {

using namespace ir;

// A space this many times the one-space long is the rest between two frames of a pair.
constexpr double kPairGapFactor = 3;

// The samples at which each duration of the frame starts, and where the last one ends.
std::vector<int64_t> edgeSamples(const IrFrame& f) {
    std::vector<int64_t> at{f.startSample};
    double us = 0;
    for (const int32_t d : f.durationsUs) {
        us += std::abs(d);
        at.push_back(f.startSample + std::llround(us / kSamplePeriodUsExact));
    }
    return at;
}

// Mark-and-space bits after `first` durations (the leader): a space over `split` is a 1; a space
// longer than `gap` separates two frames of a pair and carries no bit.
void pulseDistance(const IrFrame& f, std::size_t first, double split, double gap,
                   FrameCells& cells) {
    const std::vector<int64_t> at = edgeSamples(f);
    const std::vector<int32_t>& d = f.durationsUs;
    for (std::size_t k = first; k + 1 < d.size(); k += 2) {
        const double space = -d[k + 1];
        if (space > gap) {
            continue;
        }
        cells.bits.push_back({at[k], at[k + 2], space > split});
    }
}

// Space-and-mark bits after the leader mark (SIRC): a mark over `split` is a 1.
void pulseWidth(const IrFrame& f, std::size_t first, double split, FrameCells& cells) {
    const std::vector<int64_t> at = edgeSamples(f);
    const std::vector<int32_t>& d = f.durationsUs;
    for (std::size_t k = first; k + 1 < d.size(); k += 2) {
        cells.bits.push_back({at[k], at[k + 2], d[k + 1] > split});
    }
}

// Bi-phase cells of `unit` µs from `from` (samples); `halves` says how many units each half of
// bit i spans (RC-6's trailer bit is double). A bit whose first half is a mark is `markFirst`.
void biPhase(const IrFrame& f, std::size_t firstDuration, int64_t from, double unit,
             const std::vector<int>& halves, bool markFirst, FrameCells& cells) {
    // The line's level unit by unit, from `from` on.
    std::vector<bool> level;
    for (std::size_t k = firstDuration; k < f.durationsUs.size(); ++k) {
        const int32_t d = f.durationsUs[k];
        const long n = std::max(1L, std::lround(std::abs(d) / unit));
        level.insert(level.end(), static_cast<std::size_t>(n), d > 0);
    }
    const double unitSamples = unit / kSamplePeriodUsExact;
    std::size_t u = 0;
    for (const int h : halves) {
        if (u + 2 * static_cast<std::size_t>(h) > level.size() + 1) {
            break; // the last half of the last bit may be the line at rest
        }
        const int64_t start = from + std::llround(static_cast<double>(u) * unitSamples);
        const int64_t end = from + std::llround(static_cast<double>(u + 2 * h) * unitSamples);
        cells.bits.push_back({start, end, level[u] == markFirst});
        u += 2 * static_cast<std::size_t>(h);
    }
}

// The space after a frame's last mark, which its durations leave out: as long as the reading
// needs.
constexpr double kRestAfterFrameUs = 1e9;
// Nominal times this close (µs) are one.
constexpr double kSameTimeUs = 1e-3;

// The sample at nominal time `us` of a part read from `f`: on the edge where a duration starts
// at that time, else that far into the duration it falls in (the part's closing space runs on
// past the frame's last edge).
int64_t sampleAt(const std::vector<int64_t>& at, const std::vector<double>& startsUs, double us) {
    const auto next = std::upper_bound(startsUs.begin(), startsUs.end(), us + kSameTimeUs);
    const std::size_t i =
        next == startsUs.begin() ? 0 : static_cast<std::size_t>(next - startsUs.begin()) - 1;
    const int64_t from = i < at.size() ? at[i] : at.back();
    const int64_t into = std::llround(std::max(0.0, us - startsUs[i]) / kSamplePeriodUsExact);
    return i + 1 < at.size() ? std::min(from + into, at[i + 1]) : from + into;
}

// A frame the protocol table named, read again by its description with the parameters it was
// named with: each bitfield bit sent is a cell over the symbol that carries it (a symbol of
// several bits is shared out evenly, the first bit sent first); the mark and space before the
// first symbol, or of a part without symbols, are its leader.
FrameCells describedCells(const IrFrame& f) {
    FrameCells cells;
    const irp::CompiledProtocol* protocol = irp::builtinTable().find(f.named.name);
    if (protocol == nullptr || f.durationsUs.empty()) {
        return cells;
    }
    std::vector<double> durations(f.durationsUs.begin(), f.durationsUs.end());
    durations.push_back(-kRestAfterFrameUs);
    irp::Values values;
    for (const auto& [name, value] : f.named.parameters) {
        values[name.toStdString()] = value;
    }
    std::optional<irp::Match> read;
    const std::vector<irp::Part> parts =
        f.repeat ? std::vector{irp::Repeat, irp::Ending} : std::vector{irp::firstPart(*protocol)};
    for (const irp::Part part : parts) {
        if (!protocol->flat.parts[part].empty() &&
            (read = irp::readPart(*protocol, part, durations, &values))) {
            break;
        }
    }
    if (!read) {
        return cells;
    }
    const std::vector<int64_t> at = edgeSamples(f);
    const bool markSpace = durations.size() > 2 && durations[0] > 0 && durations[1] < 0;
    if (markSpace && read->startsUs.size() > 2 &&
        (read->symbols.empty() ||
         std::abs(read->symbols.front().fromUs - read->startsUs[2]) < kSameTimeUs)) {
        cells.leaderStart = at[0];
        cells.leaderEnd = at[2];
    }
    for (const irp::SymbolRead& symbol : read->symbols) {
        const double share = (symbol.toUs - symbol.fromUs) / std::max(1, symbol.bits);
        for (int k = 0; k < symbol.bits; ++k) {
            cells.bits.push_back({sampleAt(at, read->startsUs, symbol.fromUs + k * share),
                                  sampleAt(at, read->startsUs, symbol.fromUs + (k + 1) * share),
                                  ((symbol.sent >> k) & 1) != 0});
        }
    }
    return cells;
}

} // namespace

FrameCells frameCells(const IrFrame& f) {
    if (f.protocol == IrProtocol::Unknown && !f.named.isEmpty()) {
        return describedCells(f);
    }
    FrameCells cells;
    const std::vector<int64_t> at = edgeSamples(f);
    const auto leader = [&](std::size_t durations) {
        if (at.size() > durations) {
            cells.leaderStart = at[0];
            cells.leaderEnd = at[durations];
        }
    };
    const auto distance = [&](const PulseDistance& p, bool header) {
        if (header && p.headerMark > 0) {
            leader(2);
        }
        pulseDistance(f, header && p.headerMark > 0 ? 2 : 0, (p.zeroSpace + p.oneSpace) / 2,
                      kPairGapFactor * p.oneSpace, cells);
    };
    switch (f.protocol) {
    case IrProtocol::Nec:
        distance(kNec, true);
        break;
    case IrProtocol::NecRepeat:
        leader(2);
        break;
    case IrProtocol::Samsung32:
        distance(kSamsung32, true);
        break;
    case IrProtocol::Jvc:
        distance(kJvc, !f.repeat);
        break;
    case IrProtocol::Kaseikyo:
        distance(kKaseikyo, true);
        break;
    case IrProtocol::Sharp:
    case IrProtocol::Denon:
        distance(kSharp, false);
        break;
    case IrProtocol::Rca:
        distance(kRca, true);
        break;
    case IrProtocol::Sanyo:
        if (f.repeat) {
            leader(2);
        } else {
            distance(kSanyo, true);
        }
        break;
    case IrProtocol::Sirc:
        leader(1);
        pulseWidth(f, 1, 1.5 * kSircUnit, cells);
        break;
    case IrProtocol::Rc5: {
        // The start bit's first half is the line at rest before the first mark.
        const int64_t from = f.startSample - std::llround(kRc5Half / kSamplePeriodUsExact);
        IrFrame shifted = f;
        shifted.durationsUs.insert(shifted.durationsUs.begin(), -static_cast<int32_t>(kRc5Half));
        biPhase(shifted, 0, from, kRc5Half, std::vector<int>(static_cast<std::size_t>(f.bits), 1),
                false, cells);
        break;
    }
    case IrProtocol::Rc6: {
        leader(2);
        // Start bit, three mode bits, the double trailer bit, then the data.
        std::vector<int> halves{1, 1, 1, 1, 2};
        halves.insert(halves.end(), static_cast<std::size_t>(f.bits), 1);
        if (at.size() > 2) {
            biPhase(f, 2, at[2], kRc6Unit, halves, true, cells);
        }
        break;
    }
    case IrProtocol::Unknown: {
        const IrAnalysis& a = f.analysis;
        if (a.scheme == IrScheme::None || a.repeatCode) {
            break;
        }
        const std::size_t first = a.headerMarkUs > 0 ? 2 : 0;
        if (first > 0) {
            leader(2);
        }
        FrameCells read;
        if (a.scheme == IrScheme::PulseDistance) {
            pulseDistance(f, first, (a.zeroSpaceUs + a.oneSpaceUs) / 2.0,
                          std::numeric_limits<double>::max(), read);
        } else if (a.scheme == IrScheme::PulseWidth) {
            // Bits are a mark and the space after it here; the mark's length tells the value.
            for (std::size_t k = first; k + 1 < f.durationsUs.size(); k += 2) {
                read.bits.push_back(
                    {at[k], at[k + 2], f.durationsUs[k] > (a.zeroMarkUs + a.oneMarkUs) / 2.0});
            }
        } else if (a.scheme == IrScheme::FourSymbol) {
            // Two bits per mark and space: each takes half of the pair's time.
            for (std::size_t k = first; k + 1 < f.durationsUs.size(); k += 2) {
                const int64_t middle = (at[k] + at[k + 2]) / 2;
                read.bits.push_back({at[k], middle, false});
                read.bits.push_back({middle, at[k + 2], false});
            }
        } else {
            biPhase(f, first, at[first], a.zeroMarkUs, std::vector<int>(a.bits.size(), 1),
                    a.bits.empty() || a.bits[0], read);
        }
        // The analysis' own bits win where both are known.
        for (std::size_t b = 0; b < read.bits.size() && b < a.bits.size(); ++b) {
            read.bits[b].value = a.bits[b];
        }
        read.bits.resize(std::min(read.bits.size(), a.bits.size()));
        cells.bits = std::move(read.bits);
        break;
    }
    }
    return cells;
}

} // namespace velmoran::infrared
