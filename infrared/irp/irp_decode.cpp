#include "infrared/irp/irp_decode.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "infrared/family_protocols.h"
#include "infrared/irp/irp_analysis.h"

namespace velmoran::infrared::irp {

namespace {

// A press starts at the burst's first mark or after the line has rested this long.
constexpr double kRestBeforePressUs = 4000;
// The space after a burst's last mark when nothing follows it before the capture ends.
constexpr double kEndlessSpaceUs = 1e9;
// Unknown frames closer than this are read together: a held key's copies follow each other
// at up to this period.
constexpr double kHeldKeyPeriodUs = 250000;
// Costs closer than this are equal: two protocols with the same timings read a frame alike.
constexpr double kSameCost = 1e-6;

struct Candidate {
    const CompiledProtocol* protocol = nullptr;
    Match first;
    std::vector<Match> repeats;
    std::size_t consumed = 0; // press and repeats, with their closing spaces
    Match ending;
    bool hasEnding = false;
    long long nearness = 0; // worst(), in steps of kSameCost: what the candidates are sorted by

    // How far the furthest off of its durations lies from its nominal length, in tolerances.
    // A part that another follows counts its closing space too: F12's frames lie 80 units apart,
    // F12x's 16, and the gap tells which one sent them.
    double worst() const {
        double most = first.worst;
        const Match* before = &first;
        const auto next = [&](const Match& m) {
            most = std::max({most, m.worst, before->closingOff});
            before = &m;
        };
        for (const Match& m : repeats) {
            next(m);
        }
        if (hasEnding) {
            next(ending);
        }
        return most;
    }
};

// The press at `pos` as `compiled` reads it, with the repeats and the ending that follow.
std::optional<Candidate> tryProtocol(const CompiledProtocol& compiled,
                                     std::span<const double> durations, std::size_t pos) {
    if (compiled.firstMarkUs > 0 && !durationFits(durations[pos], compiled.firstMarkUs)) {
        return std::nullopt;
    }
    const Part first = firstPart(compiled);
    std::optional<Match> press = matchPart(compiled, first, durations.subspan(pos));
    if (!press || press->consumed == 0) {
        return std::nullopt;
    }
    if (compiled.constantIntro) {
        // The intro only announces the press: the first repeat brings its values.
        std::optional<Match> data =
            matchPart(compiled, Repeat, durations.subspan(pos + press->consumed));
        if (!data || data->consumed == 0) {
            return std::nullopt;
        }
        data->consumed += press->consumed;
        data->cost += press->cost;
        data->worst = std::max({data->worst, press->worst, press->closingOff});
        press = std::move(data);
    }
    Candidate c;
    c.protocol = &compiled;
    c.consumed = press->consumed;
    c.first = std::move(*press);
    // The part read from `at` on, if it is sent and reads as at least one duration.
    const auto partAt = [&](Part part, std::size_t at) -> std::optional<Match> {
        if (compiled.flat.parts[part].empty() || at >= durations.size()) {
            return std::nullopt;
        }
        std::optional<Match> m = matchPart(compiled, part, durations.subspan(at), &c.first.values);
        return m && m->consumed > 0 ? m : std::nullopt;
    };
    const auto repeatAt = [&](std::size_t at) { return partAt(Repeat, at); };
    const auto endingAt = [&](std::size_t at) { return partAt(Ending, at); };
    while (std::optional<Match> again = repeatAt(pos + c.consumed)) {
        // Where the ending sends what the repeats leave out and reads as a repeat too (F12x's
        // frames differ only in their last field), the last frame is the ending.
        const std::size_t after = pos + c.consumed + again->consumed;
        if (compiled.endingCompletes && !repeatAt(after) && !endingAt(after) &&
            endingAt(pos + c.consumed)) {
            break;
        }
        c.consumed += again->consumed;
        c.repeats.push_back(std::move(*again));
    }
    if (std::optional<Match> end = endingAt(pos + c.consumed)) {
        c.consumed += end->consumed;
        c.ending = std::move(*end);
        c.hasEnding = true;
    }
    if (compiled.endingCompletes) {
        // The press and its repeats take the values the ending completes.
        if (!c.hasEnding) {
            return std::nullopt;
        }
        c.first.values = c.ending.values;
        for (Match& m : c.repeats) {
            m.values = c.ending.values;
        }
    }
    return c;
}

// Durations from the first mark to the last, without the closing space.
std::size_t markSpan(std::span<const double> durations, std::size_t first, std::size_t consumed) {
    std::size_t n = consumed;
    while (n > 0 && durations[first + n - 1] < 0) {
        --n;
    }
    return n;
}

uint32_t valueOr(const Values& values, const char* name) {
    const auto it = values.find(name);
    return it == values.end() ? 0 : static_cast<uint32_t>(it->second);
}

IrFrame frameOf(const Decoded& d, int channel, const std::vector<double>& durations,
                const std::vector<int64_t>& starts, const std::vector<int64_t>& ends,
                const ProtocolTable& table) {
    IrFrame f;
    f.channel = channel;
    f.protocol = IrProtocol::Unknown;
    f.startSample = starts[d.first];
    const std::size_t last = d.first + d.count - 1;
    f.endSample = ends[last];
    f.keyKnown = true;
    f.repeat = d.repeat;
    f.bits = d.protocol->dataBits;
    f.address = valueOr(d.values, "D");
    f.command = valueOr(d.values, "F");
    f.subdevice = valueOr(d.values, "S");
    f.toggle = valueOr(d.values, "T") != 0;
    for (std::size_t k = d.first; k <= last; ++k) {
        f.durationsUs.push_back(static_cast<int32_t>(std::lround(durations[k])));
    }
    f.named.name = d.protocol->name;
    f.named.alternatives = d.alternatives;
    // The frame keeps the protocol that named it, which may be one of the user's.
    const auto& all = table.protocols();
    const auto owner =
        std::find_if(all.begin(), all.end(), [&](const auto& p) { return p.get() == d.protocol; });
    f.named.protocol = owner != all.end() ? *owner : nullptr;
    for (const ParameterSpec& p : d.protocol->protocol.parameters) {
        const auto it = d.values.find(p.name);
        if (it != d.values.end()) {
            f.named.parameters.emplace_back(QString::fromStdString(p.name), it->second);
        }
    }
    return f;
}

// A frame's durations and the space after its last mark: to the line's next edge, or endless
// at the capture's end.
std::vector<double> durationsWithRest(const IrFrame& frame, const ChannelLevels& line) {
    std::vector<double> durations(frame.durationsUs.begin(), frame.durationsUs.end());
    const auto after = std::upper_bound(line.edges.begin(), line.edges.end(), frame.endSample);
    durations.push_back(after != line.edges.end()
                            ? -static_cast<double>(*after - frame.endSample) * kSamplePeriodUsExact
                            : -kEndlessSpaceUs);
    return durations;
}

// A family's repeat code (NEC's, Sanyo's) held after a press the table named otherwise: the
// repeat of the press's protocol when that protocol's repeat reads it with the press's values.
std::optional<IrFrame> repeatOfNamed(const IrFrame& frame, const IrFrame& press,
                                     const ChannelLevels& line, const ProtocolTable& table) {
    const bool repeatCode = frame.protocol == IrProtocol::NecRepeat ||
                            (frame.protocol == IrProtocol::Sanyo && frame.repeat);
    const auto heldGap = static_cast<int64_t>(kHeldKeyPeriodUs / kSamplePeriodUsExact);
    if (!repeatCode || frame.durationsUs.empty() || press.protocol != IrProtocol::Unknown ||
        press.named.isEmpty() || press.channel != frame.channel ||
        frame.startSample - press.endSample >= heldGap) {
        return std::nullopt;
    }
    const CompiledProtocol* protocol = table.find(press.named.name);
    if (protocol == nullptr || protocol->flat.parts[Repeat].empty()) {
        return std::nullopt;
    }
    Values values;
    for (const auto& [name, value] : press.named.parameters) {
        values[name.toStdString()] = value;
    }
    const std::vector<double> durations = durationsWithRest(frame, line);
    const std::optional<Match> m = matchPart(*protocol, Repeat, durations, &values);
    if (!m || markSpan(durations, 0, m->consumed) != frame.durationsUs.size()) {
        return std::nullopt;
    }
    Decoded d;
    d.protocol = protocol;
    d.values = m->values;
    d.alternatives = press.named.alternatives;
    d.count = frame.durationsUs.size();
    d.repeat = true;
    const std::vector<int64_t> starts(durations.size(), frame.startSample);
    const std::vector<int64_t> ends(durations.size(), frame.endSample);
    return frameOf(d, frame.channel, durations, starts, ends, table);
}

// Whether a family frame's durations lie off its own protocol's: a decoder claimed it by its
// structure alone (Emerson's 872 µs units are RCA's structure, not its timings).
bool offItsProtocol(const IrFrame& frame, std::span<const double> durations,
                    const ProtocolTable& table) {
    if (frame.named.isEmpty() || frame.repeat || frame.protocol == IrProtocol::NecRepeat) {
        return false;
    }
    const CompiledProtocol* own = table.find(frame.named.name);
    return own != nullptr && !matchPart(*own, firstPart(*own), durations);
}

// Whether the table reads a family's frame again: its check failed, or its timings are another
// protocol's.
bool readsAgain(const IrFrame& frame, std::span<const double> durations,
                const ProtocolTable& table) {
    return frame.check == IrCheck::Failed || offItsProtocol(frame, durations, table);
}

// Whether a frame's last mark is followed by no edge on a cut line: it may not be whole.
bool runsIntoTheCut(const IrFrame& f, const ChannelLevels& line, LineEnd end) {
    return end == LineEnd::Cut &&
           std::upper_bound(line.edges.begin(), line.edges.end(), f.endSample) == line.edges.end();
}

// A frame a family decoder claimed although its check failed, or by its structure while its
// timings are another protocol's, read again with the table: a protocol of the same family with
// another check (Apple's, Roku's NEC) or other timings (Emerson) reads it whole.
std::optional<IrFrame> readAgain(const IrFrame& frame, const ChannelLevels& line,
                                 const ProtocolTable& table) {
    if (frame.durationsUs.empty()) {
        return std::nullopt;
    }
    const std::vector<double> durations = durationsWithRest(frame, line);
    if (!readsAgain(frame, durations, table)) {
        return std::nullopt;
    }
    const std::vector<Decoded> decoded = decodeDurations(durations, table);
    if (decoded.empty() || decoded.front().first != 0 ||
        decoded.front().count + 1 < durations.size() ||
        decoded.front().protocol->name.compare(frame.named.name, Qt::CaseInsensitive) == 0) {
        return std::nullopt;
    }
    std::vector<int64_t> starts(durations.size(), frame.startSample);
    std::vector<int64_t> ends(durations.size(), frame.endSample);
    return frameOf(decoded.front(), frame.channel, durations, starts, ends, table);
}

} // namespace

std::vector<Decoded> decodeDurations(std::span<const double> durations,
                                     const ProtocolTable& table) {
    std::vector<Decoded> out;
    std::size_t pos = 0;
    bool afterPress = false;
    while (pos < durations.size()) {
        const bool rested = pos == 0 || afterPress || -durations[pos - 1] >= kRestBeforePressUs;
        afterPress = false;
        if (durations[pos] <= 0 || !rested) {
            ++pos;
            continue;
        }
        std::vector<Candidate> found;
        for (const auto& protocol : table.protocols()) {
            if (std::optional<Candidate> c = tryProtocol(*protocol, durations, pos)) {
                found.push_back(std::move(*c));
            }
        }
        if (found.empty()) {
            ++pos;
            continue;
        }
        // The one that explains the most of the burst; of equals, the one whose furthest
        // duration lies nearest its nominal length (Sampo's 833 µs units and Emerson's 872 µs
        // send the same frame when Sampo's S is ~D; TDC-38's and TDC-56's frames differ only in
        // their unit); of as near, the first in the table, which lists the more specific of two
        // protocols that send the same frames first.
        for (Candidate& c : found) {
            // Far off is far off: a closing space of an hour counts no further than this.
            constexpr double kFarthest = 1e9;
            const double worst = c.worst();
            c.nearness = std::llround(
                (std::isfinite(worst) ? std::min(worst, kFarthest) : kFarthest) / kSameCost);
        }
        const auto better = [](const Candidate& a, const Candidate& b) {
            if (a.consumed != b.consumed) {
                return a.consumed > b.consumed;
            }
            return a.nearness < b.nearness;
        };
        std::stable_sort(found.begin(), found.end(), better);
        const Candidate& best = found.front();
        QStringList alternatives;
        for (std::size_t i = 1; i < found.size(); ++i) {
            if (found[i].first.consumed == best.first.consumed &&
                !alternatives.contains(found[i].protocol->name)) {
                alternatives << found[i].protocol->name;
            }
        }
        std::size_t at = pos;
        const auto emit = [&](const Match& m, bool repeat) {
            Decoded d;
            d.protocol = best.protocol;
            d.values = m.values;
            d.alternatives = alternatives;
            d.first = at;
            d.count = markSpan(durations, at, m.consumed);
            d.repeat = repeat;
            out.push_back(std::move(d));
            at += m.consumed;
        };
        emit(best.first, false);
        for (const Match& m : best.repeats) {
            emit(m, true);
        }
        if (best.hasEnding) {
            emit(best.ending, true);
        }
        pos = at;
        afterPress = true;
    }
    return out;
}

QString parameterText(const IrNamedProtocol& named) {
    QStringList words;
    for (const auto& [name, value] : named.parameters) {
        words << QStringLiteral("%1=%2").arg(name).arg(value);
    }
    return words.join(QLatin1Char(' '));
}

void nameFrameText(const IrFrame& f, FrameText& text) {
    if (f.named.isEmpty()) {
        return;
    }
    if (f.protocol != IrProtocol::Unknown) {
        // A family frame keeps its texts; its parameters by the table's names follow its notes.
        const QString parameters = familyParameterText(f.named);
        text.notes += text.notes.isEmpty() ? parameters : QLatin1Char(' ') + parameters;
        return;
    }
    text.protocol = f.named.name;
    text.address = QStringLiteral("0x%1").arg(f.address, 2, 16, QLatin1Char('0'));
    text.command = QStringLiteral("0x%1").arg(f.command, 2, 16, QLatin1Char('0'));
    text.check = QStringLiteral("ok");
    text.notes = parameterText(f.named);
    if (f.repeat) {
        text.notes += QStringLiteral(" repeat");
    }
    if (!f.named.alternatives.isEmpty()) {
        text.notes += QStringLiteral(" also=") + f.named.alternatives.join(u',');
    }
}

std::vector<IrFrame> decodeWithProtocols(std::vector<IrFrame> frames, const ChannelLevels& line,
                                         const ProtocolTable& table, LineEnd end) {
    const auto burstGapSamples = static_cast<int64_t>(kHeldKeyPeriodUs / kSamplePeriodUsExact);
    std::vector<IrFrame> out;
    out.reserve(frames.size());
    std::size_t i = 0;
    while (i < frames.size()) {
        if (frames[i].protocol != IrProtocol::Unknown && runsIntoTheCut(frames[i], line, end)) {
            out.push_back(std::move(frames[i]));
            ++i;
            continue;
        }
        if (frames[i].protocol != IrProtocol::Unknown) {
            std::optional<IrFrame> again = readAgain(frames[i], line, table);
            if (!again && !out.empty()) {
                again = repeatOfNamed(frames[i], out.back(), line, table);
            }
            out.push_back(again ? std::move(*again) : std::move(frames[i]));
            ++i;
            continue;
        }
        // The Unknown frames of one burst.
        std::size_t j = i + 1;
        while (j < frames.size() && frames[j].protocol == IrProtocol::Unknown &&
               frames[j].startSample - frames[j - 1].endSample < burstGapSamples) {
            ++j;
        }
        if (runsIntoTheCut(frames[j - 1], line, end)) {
            std::move(frames.begin() + static_cast<std::ptrdiff_t>(i), frames.end(),
                      std::back_inserter(out));
            break;
        }
        const int64_t from = frames[i].startSample;
        const int64_t to = frames[j - 1].endSample;
        auto edge = std::lower_bound(line.edges.begin(), line.edges.end(), from);
        std::vector<double> durations;
        std::vector<int64_t> starts;
        std::vector<int64_t> ends;
        for (; edge != line.edges.end() && *edge < to; ++edge) {
            const int64_t next = edge + 1 != line.edges.end() ? *(edge + 1) : line.samples;
            const bool mark =
                !line.levelAfterEdge(static_cast<std::size_t>(edge - line.edges.begin()));
            const double us = static_cast<double>(next - *edge) * kSamplePeriodUsExact;
            starts.push_back(*edge);
            ends.push_back(next);
            durations.push_back(mark ? us : -us);
        }
        if (!durations.empty() && durations.back() > 0) {
            // The rest after the last mark: to the next edge, or endless at the capture's end.
            const bool more = edge != line.edges.end() && edge + 1 != line.edges.end();
            const int64_t rest = ends.back();
            const int64_t next = more ? *(edge + 1) : line.samples;
            starts.push_back(rest);
            ends.push_back(next);
            durations.push_back(more ? -static_cast<double>(next - rest) * kSamplePeriodUsExact
                                     : -kEndlessSpaceUs);
        }
        std::vector<IrFrame> found;
        for (const Decoded& d : decodeDurations(durations, table)) {
            found.push_back(frameOf(d, frames[i].channel, durations, starts, ends, table));
        }
        for (std::size_t k = i; k < j; ++k) {
            const bool covered = std::any_of(found.begin(), found.end(), [&](const IrFrame& f) {
                return f.startSample <= frames[k].endSample && frames[k].startSample <= f.endSample;
            });
            if (!covered) {
                found.push_back(std::move(frames[k]));
            }
        }
        std::stable_sort(found.begin(), found.end(), [](const IrFrame& a, const IrFrame& b) {
            return a.startSample < b.startSample;
        });
        std::move(found.begin(), found.end(), std::back_inserter(out));
        i = j;
    }
    return out;
}

bool needsWholeTable(const std::vector<IrFrame>& frames, const ChannelLevels& line,
                     const ProtocolTable& table, LineEnd end) {
    return std::any_of(frames.begin(), frames.end(), [&](const IrFrame& f) {
        if (runsIntoTheCut(f, line, end)) {
            return false;
        }
        if (f.protocol == IrProtocol::Unknown) {
            return true;
        }
        return !f.durationsUs.empty() && readsAgain(f, durationsWithRest(f, line), table);
    });
}

FrameText shownFrameText(const IrFrame& frame) {
    FrameText text = frameText(frame);
    nameFrameText(frame, text);
    if (frame.protocol == IrProtocol::Unknown && frame.named.isEmpty()) {
        const QString irp = irpOfAnalysis(frame.analysis);
        if (!irp.isEmpty()) {
            // Before the raw list, which can be long: a narrow column still shows it.
            const QString word = QStringLiteral("irp=") + irp;
            const qsizetype raw = text.notes.indexOf(QStringLiteral(" raw="));
            if (raw < 0) {
                text.notes += QLatin1Char(' ') + word;
            } else {
                text.notes.insert(raw, QLatin1Char(' ') + word);
            }
        }
    }
    return text;
}

} // namespace velmoran::infrared::irp
