#include "interchange/lircd_export.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <map>
#include <span>

#include "core/constants.h"
#include "infrared/family_protocols.h"
#include "infrared/frame_cells.h"
#include "infrared/frame_text.h"
#include "infrared/ir_analysis.h"
#include "infrared/ir_encoder.h"
#include "infrared/irp/irp_decode.h"
#include "interchange/lircd_conf.h"
#include "interchange/lircd_irp.h"

namespace velmoran::interchange {

using namespace infrared;

namespace {

// LIRC's own defaults for the tolerances, raised when the capture deviates more.
constexpr int kDefaultEpsPercent = 30;
constexpr int kMaxEpsPercent = 60;
constexpr int kEpsMarginPercent = 5;
constexpr int kAepsUs = 100;
constexpr double kUnknownGapUs = 2 * kIrBurstGapUs;

// How LIRC is told a protocol: its flags and timings (µs; 0 where a line is left out).
struct LircTiming {
    const char* flags;
    double header[2];
    double one[2];
    double zero[2];
    double plead;
    double ptrail;
    double repeat[2];
    double gap;
};

// An inferred coding's timings: header mark and space, zero, one, trailing pulse.
constexpr std::size_t kTimingFields = 7;

// A repeat code: a mark, a space and the closing pulse.
constexpr std::size_t kRepeatCodeDurations = 3;

// LIRC holds a code in 64 bits.
constexpr std::size_t kLircMostBits = 64;

// An unknown frame whose coding was inferred and whose code LIRC can hold: written as a remote
// of that coding instead of raw codes.
bool structured(const IrFrame& f) {
    const IrAnalysis& a = f.analysis;
    const std::size_t lead = a.scheme == IrScheme::BiPhase ? 1 : 0;
    return f.protocol == IrProtocol::Unknown && a.scheme != IrScheme::None &&
           a.scheme != IrScheme::FourSymbol && a.separatorsAt.empty() &&
           a.bits.size() <= kLircMostBits + lead;
}

// An unknown frame's inferred coding as LIRC is told it; RAW_CODES when it has none LIRC holds.
LircTiming analysedTiming(const IrFrame& f) {
    const IrAnalysis& a = f.analysis;
    if (structured(f)) {
        const double gap = a.gapUs > 0 ? a.gapUs : kUnknownGapUs;
        if (a.scheme == IrScheme::BiPhase) {
            // LIRC's RC5 (shift) coding: a bit starting with a space is a 1; the first bit,
            // always a 1 here, is its lead pulse.
            return {"RC5",
                    {0, 0},
                    {static_cast<double>(a.oneSpaceUs), static_cast<double>(a.oneMarkUs)},
                    {static_cast<double>(a.zeroMarkUs), static_cast<double>(a.zeroSpaceUs)},
                    static_cast<double>(a.oneMarkUs),
                    0,
                    {0, 0},
                    gap};
        }
        return {"SPACE_ENC",
                {static_cast<double>(a.headerMarkUs), static_cast<double>(a.headerSpaceUs)},
                {static_cast<double>(a.oneMarkUs), static_cast<double>(a.oneSpaceUs)},
                {static_cast<double>(a.zeroMarkUs), static_cast<double>(a.zeroSpaceUs)},
                0,
                static_cast<double>(a.trailMarkUs),
                {0, 0},
                gap};
    }
    return {"RAW_CODES", {0, 0}, {0, 0}, {0, 0}, 0, 0, {0, 0}, kUnknownGapUs};
}

// An inferred coding's code: the bits as sent, the first the most significant; bi-phase without
// its lead bit.
uint64_t analysedCode(const IrFrame& f, int* bits = nullptr) {
    uint64_t code = 0;
    const std::vector<bool>& sent = f.analysis.bits;
    const std::size_t lead = f.analysis.scheme == IrScheme::BiPhase ? 1 : 0;
    for (std::size_t b = lead; b < sent.size(); ++b) {
        code = code << 1 | (sent[b] ? 1u : 0u);
    }
    if (bits != nullptr) {
        *bits = static_cast<int>(sent.size() - std::min(lead, sent.size()));
    }
    return code;
}

// The families' toggle bit: LIRC turns it through toggle_bit_mask, and a code has it clear.
constexpr const char* kToggleParameter = "T";

// A decoder family's variant as LIRC sends it: its description at Velmoran's nominal timings
// and that description's encoding, the toggle bit in its toggle_bit_mask.
struct FamilyEncoding {
    const irp::CompiledProtocol* protocol = nullptr;
    std::optional<LircIrpEncoding> encoding;
};

// The encoding a family frame is written by; nullptr for an unknown frame. A Sharp or Denon
// pair is written as its first frame: LIRC holds a code per frame, and names the key by the
// first while the second (the command inverted) follows it unnamed, as a lone second frame is
// written by itself.
const FamilyEncoding* familyEncodingOf(const IrFrame& f) {
    static const std::vector<FamilyEncoding> all = [] {
        const std::span<const IrFamilyProtocol> descriptions = familyProtocols();
        std::vector<FamilyEncoding> out;
        for (const IrFamilyProtocol& d : descriptions) {
            const IrFamilyProtocol* written = &d;
            if (d.when == IrVariantWhen::BothHalves) {
                const auto first = std::find_if(
                    descriptions.begin(), descriptions.end(), [&](const IrFamilyProtocol& x) {
                        return x.protocol == d.protocol && x.when == IrVariantWhen::FirstHalf;
                    });
                written = first != descriptions.end() ? &*first : &d;
            }
            FamilyEncoding e;
            e.protocol = familyCompiled(*written);
            if (e.protocol != nullptr) {
                e.encoding = lircEncodingOf(*e.protocol);
            }
            if (e.encoding) {
                e.encoding->remote.toggleBitMask |=
                    lircParameterMask(*e.encoding, *e.protocol, kToggleParameter);
            }
            out.push_back(std::move(e));
        }
        return out;
    }();
    const IrFamilyProtocol* d = f.protocol != IrProtocol::Unknown ? familyProtocolOf(f) : nullptr;
    if (d == nullptr) {
        return nullptr;
    }
    const FamilyEncoding& e = all[static_cast<std::size_t>(d - familyProtocols().data())];
    return e.encoding ? &e : nullptr;
}

// A family frame's pre_data and code (toggle bit clear); a repeat code gives its key's.
std::optional<LircIrpCode> familyCode(const FamilyEncoding& e, const IrFrame& f) {
    const IrFamilyProtocol* own = familyProtocolOf(f);
    std::vector<std::pair<QString, int64_t>> parameters;
    for (const auto& [name, value] : familyValues(*own, f)) {
        parameters.emplace_back(QString::fromStdString(name), name == kToggleParameter ? 0 : value);
    }
    return lircIrpCode(*e.encoding, *e.protocol, parameters);
}

QString hex(uint64_t value, int digits = 2) {
    return QStringLiteral("0x%1").arg(value, digits, 16, QLatin1Char('0'));
}

int us(double value) {
    return static_cast<int>(std::lround(value));
}

LircPair lircPair(const double (&v)[2]) {
    return {us(v[0]), us(v[1])};
}

struct Remote {
    LircRemote lirc;
    IrFrame first;
    std::size_t frames = 0;
    double deviation = 0; // the largest relative deviation of a mark or space from nominal
    int leastGapUs = 0;   // an inferred coding's shortest rest after a frame
    double repeat[2]{};   // an inferred coding's repeat code, when it has one
    int leastRestUs = 0;  // raw codes: the shortest rest after one of its frames
    // An inferred coding's timings as each frame gave them: header, zero, one and trailing
    // pulse.
    std::vector<std::array<int, kTimingFields>> timings;
};

// A frame a protocol of the table read, when LIRC can send that protocol: its encoding, its
// code and its nominal marks and spaces.
struct TableKey {
    const LircIrpEncoding* encoding = nullptr;
    LircIrpCode code;
    std::vector<double> nominal;
};

std::optional<TableKey>
tableKeyOf(const IrFrame& f,
           std::map<const irp::CompiledProtocol*, std::optional<LircIrpEncoding>>& encodings) {
    if (!irp::readByTable(f)) {
        return std::nullopt;
    }
    // The protocol that named the frame, the user's own included.
    const irp::CompiledProtocol* protocol = frameProtocol(f);
    if (protocol == nullptr) {
        return std::nullopt;
    }
    auto it = encodings.find(protocol);
    if (it == encodings.end()) {
        it = encodings.emplace(protocol, lircEncodingOf(*protocol)).first;
    }
    if (!it->second) {
        return std::nullopt;
    }
    const std::optional<LircIrpCode> code = lircIrpCode(*it->second, *protocol, f.named.parameters);
    if (!code) {
        return std::nullopt;
    }
    TableKey key{&*it->second, *code, {}};
    irp::Values values;
    for (const auto& [name, value] : f.named.parameters) {
        values[name.toStdString()] = value;
    }
    if (const irp::Rendered r = irp::render(protocol->protocol, values); r.signal) {
        key.nominal = r.signal->intro.empty() ? r.signal->repeat : r.signal->intro;
    }
    return key;
}

// The remote of a table protocol's frame: the protocol's name (a LIRC word) and its device.
QString tableProtocolWord(const IrFrame& f) {
    QString name = f.named.name;
    return name.replace(QRegularExpression(QStringLiteral("\\s")), QStringLiteral("_"));
}

QString tableRemoteName(const IrFrame& f) {
    const QString name = tableProtocolWord(f);
    const QString address = irp::shownFrameText(f).address;
    return address == QLatin1String("-") ? name : name + QLatin1Char('_') + address;
}

} // namespace

std::optional<QString> parseKeyNames(const QString& text, KeyNames& names) {
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype n = 0; n < lines.size(); ++n) {
        const QString line = lines[n].section(QLatin1Char('#'), 0, 0).simplified();
        if (line.isEmpty()) {
            continue;
        }
        const QStringList words = line.split(QLatin1Char(' '));
        if (words.size() != 2 && words.size() != 4) {
            return QStringLiteral("line %1: give COMMAND NAME or PROTOCOL ADDRESS COMMAND NAME")
                .arg(n + 1);
        }
        names.byKey.insert(words.mid(0, words.size() - 1).join(QLatin1Char(' ')), words.back());
    }
    return std::nullopt;
}

QString keyName(const IrFrame& f, const KeyNames& names) {
    const FrameText text = irp::readByTable(f) ? irp::shownFrameText(f) : frameText(f);
    if (structured(f)) {
        if (const auto it = names.byKey.find(text.command); it != names.byKey.end()) {
            return *it;
        }
        if (QString known = names.known(f); !known.isEmpty()) {
            return known;
        }
        return QStringLiteral("KEY_") + bitsHex(f.analysis.bits, false);
    }
    QString protocol =
        irp::readByTable(f) ? tableProtocolWord(f) : remoteName(f).section(QLatin1Char('_'), 0, 0);
    const QString full =
        protocol + QLatin1Char(' ') + text.address + QLatin1Char(' ') + text.command;
    if (const auto it = names.byKey.find(full); it != names.byKey.end()) {
        return *it;
    }
    if (const auto it = names.byKey.find(text.command); it != names.byKey.end()) {
        return *it;
    }
    if (QString known = names.known(f); !known.isEmpty()) {
        return known;
    }
    return QStringLiteral("KEY_") + text.command;
}

QString remoteName(const IrFrame& f) {
    if (structured(f)) {
        const IrScheme scheme = f.analysis.scheme;
        return QStringLiteral("Unknown_%1%2")
            .arg(scheme == IrScheme::PulseDistance ? QStringLiteral("PD")
                 : scheme == IrScheme::PulseWidth  ? QStringLiteral("PW")
                                                   : QStringLiteral("BP"))
            .arg(f.analysis.bits.size());
    }
    if (f.protocol == IrProtocol::Unknown) {
        return QStringLiteral("Unknown");
    }
    IrFrame named = f;
    if (f.protocol == IrProtocol::NecRepeat) {
        named.protocol = IrProtocol::Nec;
    }
    named.command = 0; // RC5X names its seventh command bit
    QString name = protocolName(named) + QLatin1Char('_') + frameText(named).address;
    if (f.protocol == IrProtocol::Samsung32 || f.protocol == IrProtocol::Kaseikyo) {
        name += QLatin1Char('_') + hex(f.subdevice);
    }
    if ((f.protocol == IrProtocol::Kaseikyo && f.vendor != kPanasonicVendor) ||
        (f.protocol == IrProtocol::Rc6 && f.mode != 0)) {
        name += QLatin1Char('_') + hex(f.vendor, 4);
    }
    return name;
}

LircRemote lircRemoteOf(const IrFrame& f) {
    LircRemote r;
    if (const FamilyEncoding* e = familyEncodingOf(f)) {
        r = e->encoding->remote;
        r.preData = familyCode(*e, f).value_or(LircIrpCode{}).preData;
    } else {
        const LircTiming t = analysedTiming(f);
        for (const QByteArray& flag : QByteArray(t.flags).split('|')) {
            for (const LircFlagName& known : kLircFlagNames) {
                if (flag == known.name) {
                    r.flags |= known.flag;
                }
            }
        }
        r.header = lircPair(t.header);
        r.one = lircPair(t.one);
        r.zero = lircPair(t.zero);
        r.plead = us(t.plead);
        r.ptrail = us(t.ptrail);
        r.repeat = lircPair(t.repeat);
        r.gap = us(t.gap);
        if (structured(f)) {
            analysedCode(f, &r.bits);
        }
    }
    r.name = remoteName(f);
    r.eps = kDefaultEpsPercent;
    r.aeps = kAepsUs;
    return r;
}

uint64_t lircCodeOf(const IrFrame& f) {
    if (const FamilyEncoding* e = familyEncodingOf(f)) {
        return familyCode(*e, f).value_or(LircIrpCode{}).code;
    }
    return structured(f) ? analysedCode(f) : 0;
}

QByteArray exportLircd(const ExportChannel& channel, const KeyNames& names, QStringList* warnings) {
    return exportLircd(channel.number, exportedFrames(channel), names, warnings);
}

QByteArray exportLircd(int channel, const std::vector<IrFrame>& frames, const KeyNames& names,
                       QStringList* warnings) {
    std::vector<Remote> remotes;
    int unknownCount = 0;
    std::optional<std::size_t> lastKeyRemote; // the remote of the key a repeat code repeats
    // Adds the frame's key to remote `r` under `key` (a raw code when there is no `value`).
    const auto addKey = [warnings](LircRemote& r, QString key, std::optional<uint64_t> value,
                                   const IrFrame& f) {
        if (value) {
            // Two commands the names file gives one name both stay, the second as NAME_2: a
            // remote holds each name once, and a command must not vanish from it.
            const QString named = key;
            for (int n = 2;; ++n) {
                const auto same =
                    std::find_if(r.codes.begin(), r.codes.end(),
                                 [&](const infrared::LircCode& c) { return c.name == key; });
                if (same == r.codes.end() || same->code == *value) {
                    break; // a free name, or the same command again
                }
                key = named + QStringLiteral("_%1").arg(n);
            }
            if (key != named && warnings != nullptr &&
                std::none_of(r.codes.begin(), r.codes.end(),
                             [&](const infrared::LircCode& c) { return c.name == key; })) {
                *warnings << QStringLiteral("two commands of remote %1 are named %2: the second "
                                            "is written as %3")
                                 .arg(r.name, named, key);
            }
        }
        if (std::any_of(r.codes.begin(), r.codes.end(),
                        [&](const infrared::LircCode& c) { return c.name == key; }) ||
            std::any_of(r.rawCodes.begin(), r.rawCodes.end(),
                        [&](const LircRawCode& c) { return c.name == key; })) {
            return;
        }
        if (!value) {
            std::vector<int> rawDurations;
            for (const int32_t d : f.durationsUs) {
                rawDurations.push_back(std::abs(d));
            }
            r.rawCodes.push_back({key, rawDurations});
        } else {
            r.codes.push_back({key, *value, {}});
        }
    };
    // The encodings of the protocols that named frames, the user's included, as met.
    std::map<const irp::CompiledProtocol*, std::optional<LircIrpEncoding>> encodings;
    IrAnalysis lastAnalysed; // the coding of the last press of a protocol LIRC cannot send
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const std::optional<TableKey> table = tableKeyOf(frames[i], encodings);
        // A frame of a table protocol LIRC has no encoding for: written as the coding its own
        // marks and spaces show, when they show one, as any unknown frame is.
        IrFrame analysed;
        if (!table && irp::readByTable(frames[i])) {
            analysed = frames[i];
            IrAnalysis& a = analysed.analysis;
            // A press of several frames (one sent again, or followed by another) is read by
            // its first, as the decoder reads the frames of an unknown burst; LIRC finds each
            // after a rest as long as the shortest between them.
            const std::vector<int32_t>& whole = analysed.durationsUs;
            a = analyseDurations(whole);
            std::vector<int32_t> first;
            int leastRestUs = 0;
            if (a.scheme == IrScheme::None) {
                // Its frames as the decoder finds them in a burst, else where the line rests.
                std::vector<std::pair<std::size_t, std::size_t>> spans; // first, count
                for (const BurstFrame& b : analyseBurst(whole)) {
                    spans.emplace_back(b.first, b.count);
                }
                if (spans.size() < 2) {
                    spans.clear();
                    std::size_t at = 0;
                    for (const std::vector<int32_t>& piece : splitFrames(whole)) {
                        spans.emplace_back(at, piece.size());
                        at += piece.size() + 1;
                    }
                }
                if (spans.size() > 1) {
                    const auto from = whole.begin() + static_cast<std::ptrdiff_t>(spans[0].first);
                    first.assign(from, from + static_cast<std::ptrdiff_t>(spans[0].second));
                    a = analyseDurations(first);
                }
                for (std::size_t k = 0; k + 1 < spans.size(); ++k) {
                    const std::size_t rest = spans[k].first + spans[k].second;
                    const int restUs = rest < whole.size() ? -whole[rest] : 0;
                    leastRestUs = k == 0 ? restUs : std::min(leastRestUs, restUs);
                }
            }
            const std::vector<int32_t>& d = first.empty() ? whole : first;
            const bool like = lastAnalysed.scheme != IrScheme::None;
            if (like && (a.scheme == IrScheme::None || !sameStructure(a, lastAnalysed))) {
                // As the decoder reads an unknown burst: in the coding of the press before.
                if (IrAnalysis as = analyseAs(d, lastAnalysed); as.scheme != IrScheme::None) {
                    a = std::move(as);
                } else if (isRepeatCode(d, lastAnalysed)) {
                    a = lastAnalysed;
                    a.repeatCode = true;
                }
            }
            if (i + 1 < frames.size() && a.scheme != IrScheme::None) {
                a.gapUs = us(static_cast<double>(frames[i + 1].startSample - analysed.endSample) *
                             kSamplePeriodUsExact);
            }
            if (leastRestUs > 0 && a.scheme != IrScheme::None) {
                a.gapUs = a.gapUs > 0 ? std::min(a.gapUs, leastRestUs) : leastRestUs;
            }
            if (a.scheme != IrScheme::None && !a.repeatCode) {
                lastAnalysed = a;
            }
        }
        const IrFrame& f = analysed.durationsUs.empty() ? frames[i] : analysed;
        // NEC's own repeat codes are written from its timings below.
        const bool repeatCode = (f.protocol == IrProtocol::NecRepeat && !f.keyKnown) ||
                                (f.protocol == IrProtocol::Unknown && f.analysis.repeatCode);
        if (repeatCode && lastKeyRemote && f.durationsUs.size() == kRepeatCodeDurations) {
            // A repeat code belongs to the key before it, whatever that key's coding: LIRC's
            // repeat line, a mark and a space closed by the remote's trailing pulse.
            Remote& held = remotes[*lastKeyRemote];
            const double closing = f.durationsUs[2];
            const double ptrail = held.lirc.ptrail;
            if (ptrail > 0 && std::abs(closing - ptrail) <= ptrail * kDefaultEpsPercent / 100.0) {
                held.repeat[0] = f.durationsUs[0];
                held.repeat[1] = -f.durationsUs[1];
                ++held.frames;
                continue;
            }
        }
        if (!f.keyKnown && f.protocol != IrProtocol::Unknown) {
            continue; // a repeat code of no known key
        }
        if (const std::optional<TableKey>& t = table) {
            // A protocol of the table that LIRC can send: a remote of its encoding.
            const QString name = tableRemoteName(f);
            auto it = std::find_if(remotes.begin(), remotes.end(),
                                   [&](const Remote& r) { return r.lirc.name == name; });
            if (it == remotes.end()) {
                remotes.push_back({t->encoding->remote, f, 0, 0, 0, {0, 0}, 0, {}});
                it = remotes.end() - 1;
                it->lirc.name = name;
                it->lirc.preData = t->code.preData;
            }
            ++it->frames;
            lastKeyRemote = static_cast<std::size_t>(it - remotes.begin());
            if (f.repeat) {
                continue; // a held key's repeat: LIRC's repeat line or its code again
            }
            for (std::size_t k = 0; k < t->nominal.size() && k < f.durationsUs.size(); ++k) {
                const double n = std::abs(t->nominal[k]);
                it->deviation =
                    std::max(it->deviation, std::abs(std::abs(f.durationsUs[k]) - n) / n);
            }
            addKey(it->lirc, keyName(f, names), t->code.code, f);
            continue;
        }
        QString name = remoteName(f);
        auto it = std::find_if(remotes.begin(), remotes.end(),
                               [&](const Remote& r) { return r.lirc.name == name; });
        const bool inferred =
            structured(f) && (it == remotes.end() || sameStructure(it->first.analysis, f.analysis));
        if (!inferred && f.protocol == IrProtocol::Unknown) {
            // No coding, or one that differs from the remote's of that name: raw codes.
            name = QStringLiteral("Unknown");
            it = std::find_if(remotes.begin(), remotes.end(),
                              [&](const Remote& r) { return r.lirc.name == name; });
        }
        if (it == remotes.end()) {
            IrFrame first = f;
            if (!inferred) {
                first.analysis = {};
            }
            remotes.push_back({lircRemoteOf(first), first, 0, 0, 0, {0, 0}, 0, {}});
            it = remotes.end() - 1;
        }
        if (!inferred && f.protocol == IrProtocol::Unknown && i + 1 < frames.size()) {
            // LIRC finds a raw code only before a rest as long as the remote's gap.
            const int rest = us(static_cast<double>(frames[i + 1].startSample - f.endSample) *
                                kSamplePeriodUsExact);
            if (rest > 0) {
                it->leastRestUs = it->leastRestUs == 0 ? rest : std::min(it->leastRestUs, rest);
            }
        }
        if (inferred && !f.analysis.repeatCode) {
            const IrAnalysis& a = f.analysis;
            it->timings.push_back({a.headerMarkUs, a.headerSpaceUs, a.zeroMarkUs, a.zeroSpaceUs,
                                   a.oneMarkUs, a.oneSpaceUs, a.trailMarkUs});
        }
        if (inferred && f.analysis.gapUs > 0) {
            it->leastGapUs =
                it->leastGapUs == 0 ? f.analysis.gapUs : std::min(it->leastGapUs, f.analysis.gapUs);
        }
        ++it->frames;
        lastKeyRemote = static_cast<std::size_t>(it - remotes.begin());
        if (inferred && f.analysis.repeatCode && f.durationsUs.size() >= 3) {
            // LIRC's repeat code: a mark and a space, then the remote's closing pulse.
            it->repeat[0] = f.durationsUs[0];
            it->repeat[1] = -f.durationsUs[1];
            continue;
        }
        if (f.protocol == IrProtocol::NecRepeat || (f.protocol == IrProtocol::Sanyo && f.repeat) ||
            (irp::readByTable(f) && f.repeat)) {
            continue; // a held key: its press gives the code
        }
        // How far the capture lies from the timings written.
        const std::vector<double> nominal =
            inferred ? analysedDurations(f.analysis) : irFrameDurations(f);
        // A press of several frames: its first, which the coding describes.
        if ((inferred || f.protocol != IrProtocol::Unknown) &&
            (inferred ? nominal.size() <= f.durationsUs.size()
                      : nominal.size() == f.durationsUs.size())) {
            for (std::size_t k = 0; k < nominal.size(); ++k) {
                const double n = std::abs(nominal[k]);
                it->deviation =
                    std::max(it->deviation, std::abs(std::abs(f.durationsUs[k]) - n) / n);
            }
        }
        const bool raw = f.protocol == IrProtocol::Unknown ? !inferred : !familyEncodingOf(f);
        QString key =
            raw && names.known(f).isEmpty()
                ? QStringLiteral("UNKNOWN_%1").arg(++unknownCount, 3, 10, QLatin1Char('0'))
                : keyName(f, names);
        addKey(it->lirc, key, raw ? std::nullopt : std::optional<uint64_t>(lircCodeOf(f)), f);
    }

    std::vector<LircRemote> written;
    for (Remote& r : remotes) {
        if (r.lirc.codes.empty() && r.lirc.rawCodes.empty()) {
            continue; // repeat codes only: their frame lies before the capture
        }
        if (!r.timings.empty() || r.leastGapUs > 0 || r.repeat[0] > 0) {
            // An inferred coding's timings averaged over its frames, not one frame's.
            IrFrame described = r.first;
            IrAnalysis& a = described.analysis;
            a.gapUs = r.leastGapUs;
            int* const fields[] = {&a.headerMarkUs, &a.headerSpaceUs, &a.zeroMarkUs, &a.zeroSpaceUs,
                                   &a.oneMarkUs,    &a.oneSpaceUs,    &a.trailMarkUs};
            for (std::size_t k = 0; k < std::size(fields) && !r.timings.empty(); ++k) {
                double sum = 0;
                for (const std::array<int, kTimingFields>& t : r.timings) {
                    sum += t[k];
                }
                *fields[k] =
                    static_cast<int>(std::lround(sum / static_cast<double>(r.timings.size())));
            }
            const LircRemote timed = lircRemoteOf(described);
            r.lirc.header = timed.header;
            r.lirc.one = timed.one;
            r.lirc.zero = timed.zero;
            r.lirc.plead = timed.plead;
            r.lirc.ptrail = timed.ptrail;
            r.lirc.gap = timed.gap;
            if (r.repeat[0] > 0) {
                r.lirc.repeat = {us(r.repeat[0]), us(r.repeat[1])};
            }
        }
        if ((r.lirc.flags & kLircRawCodes) != 0 && r.leastRestUs > 0) {
            r.lirc.gap = std::min(r.lirc.gap, r.leastRestUs);
        }
        r.lirc.eps = std::clamp(static_cast<int>(std::ceil(r.deviation * 100)) + kEpsMarginPercent,
                                kDefaultEpsPercent, kMaxEpsPercent);
        if ((r.lirc.flags & kLircRawCodes) == 0) {
            // LIRC takes comments only outside a remote's block.
            r.lirc.comment = r.lirc.name + QStringLiteral(": %1 frames in the capture, every mark "
                                                          "and space within %2 % of these timings")
                                               .arg(r.frames)
                                               .arg(std::ceil(r.deviation * 100));
        }
        written.push_back(std::move(r.lirc));
    }
    QByteArray preamble;
    preamble += "# LIRC remote definitions of the frames in channel ";
    preamble += QByteArray::number(channel);
    preamble +=
        ", written by velmoran-ird from a capture\n"
        "# sampled every 40.1474 us. Timings are the protocols' own; eps covers how far the\n"
        "# captured marks and spaces lie from them.\n";
    return writeLircdConf(written, preamble);
}

} // namespace velmoran::interchange
