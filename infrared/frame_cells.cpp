#include "infrared/frame_cells.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <initializer_list>
#include <optional>
#include <span>

#include "core/constants.h"
#include "infrared/family_protocols.h"
#include "infrared/irp/irp_table.h"

namespace velmoran::infrared {

namespace {

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

// Mark-and-space bits after `first` durations (the leader): a space over `split` is a 1.
void pulseDistance(const IrFrame& f, std::size_t first, double split, FrameCells& cells) {
    const std::vector<int64_t> at = edgeSamples(f);
    const std::vector<int32_t>& d = f.durationsUs;
    for (std::size_t k = first; k + 1 < d.size(); k += 2) {
        cells.bits.push_back({at[k], at[k + 2], -d[k + 1] > split});
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
// past the frame's last edge, a symbol that starts with the line at rest before it).
int64_t sampleAt(const std::vector<int64_t>& at, const std::vector<double>& startsUs, double us) {
    const auto next = std::upper_bound(startsUs.begin(), startsUs.end(), us + kSameTimeUs);
    const std::size_t i =
        next == startsUs.begin() ? 0 : static_cast<std::size_t>(next - startsUs.begin()) - 1;
    const int64_t from = i < at.size() ? at[i] : at.back();
    const int64_t into = std::llround((us - startsUs[i]) / kSamplePeriodUsExact);
    return i + 1 < at.size() ? std::min(from + into, at[i + 1]) : from + into;
}

// Whether the protocol sends its bits in bi-phase: a 0 and a 1 start at different levels.
bool biPhaseCoded(const irp::CompiledProtocol& protocol) {
    return std::any_of(protocol.flat.bitspecs.begin(), protocol.flat.bitspecs.end(),
                       [](const irp::FlatBitspec& spec) {
                           return spec.symbols.size() >= 2 && !spec.symbols[0].empty() &&
                                  !spec.symbols[1].empty() &&
                                  (spec.symbols[0][0] < 0) != (spec.symbols[1][0] < 0);
                       });
}

// A frame read again by its protocol's description, the first of `parts` that reads it: each
// bitfield bit sent is a cell over the symbol that carries it (a symbol of several bits is shared
// out evenly, the first bit sent first). The durations before the first symbol are the leader,
// the mark and space a part without symbols starts with too. Bi-phase cells lie on a grid of
// the description's units from the first symbol's start; other cells start and end on the
// frame's edges, or as far into a duration as the description puts them where one symbol's
// duration runs on into the next one's.
FrameCells describedCells(const IrFrame& f, const irp::CompiledProtocol& protocol,
                          std::initializer_list<irp::Part> parts) {
    FrameCells cells;
    if (f.durationsUs.empty()) {
        return cells;
    }
    std::vector<double> durations(f.durationsUs.begin(), f.durationsUs.end());
    durations.push_back(-kRestAfterFrameUs);
    std::optional<irp::Match> read;
    for (const irp::Part part : parts) {
        if (!protocol.flat.parts[part].empty() &&
            (read = irp::readPart(protocol, part, durations))) {
            break;
        }
    }
    if (!read) {
        return cells;
    }
    const std::vector<int64_t> at = edgeSamples(f);
    const std::vector<double>& starts = read->startsUs;
    if (read->symbols.empty()) {
        if (durations.size() > 2 && durations[0] > 0 && durations[1] < 0 && starts.size() > 2) {
            cells.leaderStart = at[0];
            cells.leaderEnd = at[2];
        }
        return cells;
    }
    const double firstUs = read->symbols.front().fromUs;
    for (std::size_t n = 1; n < starts.size() && n < at.size(); ++n) {
        if (std::abs(starts[n] - firstUs) < kSameTimeUs) {
            cells.leaderStart = at[0];
            cells.leaderEnd = at[n];
        }
    }
    const bool grid = biPhaseCoded(protocol);
    const int64_t origin = sampleAt(at, starts, firstUs);
    const auto place = [&](double us) {
        return grid ? origin + std::llround((us - firstUs) / kSamplePeriodUsExact)
                    : sampleAt(at, starts, us);
    };
    for (const irp::SymbolRead& symbol : read->symbols) {
        const double share = (symbol.toUs - symbol.fromUs) / std::max(1, symbol.bits);
        for (int k = 0; k < symbol.bits; ++k) {
            cells.bits.push_back({place(symbol.fromUs + k * share),
                                  place(symbol.fromUs + (k + 1) * share),
                                  ((symbol.sent >> k) & 1) != 0});
        }
    }
    return cells;
}

} // namespace

const irp::CompiledProtocol* familyCompiled(const IrFamilyProtocol& description) {
    static const std::vector<std::optional<irp::CompiledProtocol>> compiled = [] {
        std::vector<std::optional<irp::CompiledProtocol>> out;
        out.reserve(familyProtocols().size());
        for (const IrFamilyProtocol& d : familyProtocols()) {
            out.push_back(
                irp::compile(QString::fromLatin1(d.name), QString::fromLatin1(d.irp)).protocol);
        }
        return out;
    }();
    const std::span<const IrFamilyProtocol> all = familyProtocols();
    const auto index = static_cast<std::size_t>(&description - all.data());
    return index < compiled.size() && compiled[index] ? &*compiled[index] : nullptr;
}

const irp::CompiledProtocol* frameProtocol(const IrFrame& f) {
    if (f.protocol != IrProtocol::Unknown) {
        const IrFamilyProtocol* description = familyProtocolOf(f);
        return description != nullptr ? familyCompiled(*description) : nullptr;
    }
    if (f.named.isEmpty()) {
        return nullptr;
    }
    return f.named.protocol ? f.named.protocol.get() : irp::builtinTable().find(f.named.name);
}

FrameCells frameCells(const IrFrame& f) {
    if (f.protocol != IrProtocol::Unknown) {
        const IrFamilyProtocol* description = familyProtocolOf(f);
        const irp::CompiledProtocol* protocol =
            description != nullptr ? familyCompiled(*description) : nullptr;
        if (protocol == nullptr) {
            return {};
        }
        return describedCells(f, *protocol,
                              {description->repeatPart ? irp::Repeat : irp::firstPart(*protocol)});
    }
    if (!f.named.isEmpty()) {
        const irp::CompiledProtocol* protocol = frameProtocol(f);
        if (protocol == nullptr) {
            return {};
        }
        return f.repeat ? describedCells(f, *protocol, {irp::Repeat, irp::Ending})
                        : describedCells(f, *protocol, {irp::firstPart(*protocol)});
    }
    FrameCells cells;
    const std::vector<int64_t> at = edgeSamples(f);
    const auto leader = [&](std::size_t durations) {
        if (at.size() > durations) {
            cells.leaderStart = at[0];
            cells.leaderEnd = at[durations];
        }
    };
    const IrAnalysis& a = f.analysis;
    if (a.scheme == IrScheme::None || a.repeatCode) {
        return cells;
    }
    const std::size_t first = a.headerMarkUs > 0 ? 2 : 0;
    if (first > 0) {
        leader(2);
    }
    FrameCells read;
    if (a.scheme == IrScheme::PulseDistance) {
        pulseDistance(f, first, (a.zeroSpaceUs + a.oneSpaceUs) / 2.0, read);
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
    return cells;
}

} // namespace velmoran::infrared
