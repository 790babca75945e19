#include "interchange/lircd_export.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <map>

#include "core/constants.h"
#include "infrared/frame_text.h"
#include "infrared/ir_analysis.h"
#include "infrared/ir_encoder.h"
#include "infrared/ir_protocols.h"
#include "infrared/irp/irp_decode.h"
#include "interchange/lircd_conf.h"
#include "interchange/lircd_irp.h"

namespace velmoran::interchange {

using namespace infrared;
using namespace infrared::ir;

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

LircTiming pulseDistanceTiming(const PulseDistance& c, const char* flags, double gap) {
    return {flags,
            {c.headerMark, c.headerSpace},
            {c.mark, c.oneSpace},
            {c.mark, c.zeroSpace},
            0,
            c.mark,
            {0, 0},
            gap};
}

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

// A NEC repeat code's key as the frame it repeats.
IrFrame necOf(const IrFrame& f) {
    IrFrame nec = f;
    nec.protocol = IrProtocol::Nec;
    nec.bits = kNec.bits;
    return nec;
}

LircTiming timingOf(const IrFrame& f) {
    switch (f.protocol) {
    case IrProtocol::Nec:
    case IrProtocol::NecRepeat: {
        LircTiming t = pulseDistanceTiming(kNec, "SPACE_ENC|CONST_LENGTH", kNec.periodUs);
        t.repeat[0] = kNec.headerMark;
        t.repeat[1] = kNecRepeatSpace;
        return t;
    }
    case IrProtocol::Samsung32:
        return pulseDistanceTiming(kSamsung32, "SPACE_ENC|CONST_LENGTH", kSamsung32.periodUs);
    case IrProtocol::Sanyo: {
        LircTiming t = pulseDistanceTiming(kSanyo, "SPACE_ENC|CONST_LENGTH", kSanyo.periodUs);
        t.repeat[0] = kNec.headerMark;
        t.repeat[1] = kNecRepeatSpace;
        return t;
    }
    case IrProtocol::Jvc:
        return pulseDistanceTiming(kJvc, "SPACE_ENC|NO_HEAD_REP", kJvc.gapUs);
    case IrProtocol::Kaseikyo:
        return pulseDistanceTiming(kKaseikyo, "SPACE_ENC", kKaseikyo.gapUs);
    case IrProtocol::Sharp:
    case IrProtocol::Denon:
        return pulseDistanceTiming(kSharp, "SPACE_ENC", kSharp.gapUs);
    case IrProtocol::Rca:
        return pulseDistanceTiming(kRca, "SPACE_ENC", kRca.gapUs);
    case IrProtocol::Sirc:
        // Each bit is a mark and the following space; the last space is part of the gap.
        return {"SPACE_ENC|CONST_LENGTH",
                {kSircLeader, kSircUnit},
                {2 * kSircUnit, kSircUnit},
                {kSircUnit, kSircUnit},
                0,
                0,
                {0, 0},
                kSircPeriodUs};
    case IrProtocol::Rc5:
        return {"RC5|CONST_LENGTH",
                {0, 0},
                {kRc5Half, kRc5Half},
                {kRc5Half, kRc5Half},
                kRc5Half,
                0,
                {0, 0},
                kRc5PeriodUs};
    case IrProtocol::Rc6:
        return {"RC6|CONST_LENGTH",
                {kRc6LeaderMarkUnits * kRc6Unit, kRc6LeaderSpaceUnits * kRc6Unit},
                {kRc6Unit, kRc6Unit},
                {kRc6Unit, kRc6Unit},
                0,
                0,
                {0, 0},
                kRc6PeriodUs};
    case IrProtocol::Unknown:
        break;
    }
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

struct FrameCode { // a frame's code as LIRC sends it
    int bits = 0;
    uint64_t value = 0;
    uint64_t toggleMask = 0;
    uint64_t rc6Mask = 0;
};

// The bits of a pulse-distance frame as sent (the first sent is the most significant): a
// space longer than the middle of the zero and one spaces is a 1.
FrameCode pulseDistanceCode(const std::vector<IrPiece>& pieces, const PulseDistance& c,
                            bool header) {
    FrameCode code;
    code.bits = c.bits;
    const double split = (c.zeroSpace + c.oneSpace) / 2;
    std::size_t p = header && c.headerMark > 0 ? 2 : 0;
    for (int b = 0; b < c.bits; ++b, p += 2) {
        code.value = code.value << 1 | (pieces[p + 1].us > split ? 1u : 0u);
    }
    return code;
}

FrameCode codeOf(const IrFrame& f) {
    IrFrame key = f;
    key.toggle = false; // LIRC ignores the toggle bit through its mask
    key.repeat = key.repeat && f.protocol == IrProtocol::Jvc; // a Sanyo repeat's key
    const std::vector<IrPiece> pieces = irFramePieces(key);
    switch (f.protocol) {
    case IrProtocol::Nec:
        return pulseDistanceCode(pieces, kNec, true);
    case IrProtocol::Samsung32:
        return pulseDistanceCode(pieces, kSamsung32, true);
    case IrProtocol::Jvc:
        return pulseDistanceCode(pieces, kJvc, !f.repeat);
    case IrProtocol::Kaseikyo:
        return pulseDistanceCode(pieces, kKaseikyo, true);
    case IrProtocol::Sharp:
    case IrProtocol::Denon:
        return pulseDistanceCode(pieces, kSharp, false);
    case IrProtocol::Rca:
        return pulseDistanceCode(pieces, kRca, true);
    case IrProtocol::Sanyo:
        return pulseDistanceCode(pieces, kSanyo, true);
    case IrProtocol::Sirc: {
        FrameCode code;
        code.bits = f.bits;
        for (int b = 0; b < f.bits; ++b) {
            const double mark = pieces[static_cast<std::size_t>(2 + 2 * b)].us;
            code.value = code.value << 1 | (mark > 1.5 * kSircUnit ? 1u : 0u);
        }
        return code;
    }
    case IrProtocol::Rc5:
    case IrProtocol::Rc6: {
        // Manchester halves after the leader (RC-6) or the start bit's idle half (RC-5): LIRC
        // counts a bit starting with a space as a 1 in both, and RC-6's trailer bit is double.
        FrameCode code;
        const bool rc6 = f.protocol == IrProtocol::Rc6;
        std::size_t p = rc6 ? 2 : 0;
        if (!rc6) {
            p += 2; // RC-5's start bit is LIRC's lead pulse
        }
        for (; p + 1 < pieces.size(); p += 2) {
            code.value = code.value << 1 | (pieces[p].mark ? 0u : 1u);
            ++code.bits;
        }
        if (rc6) {
            code.rc6Mask = uint64_t{1} << f.bits;
            // The trailer bit toggles, or with Media Center remotes the data's bit 15.
            const bool mce = f.mode != 0 && f.vendor == kRc6MceCustomer;
            code.toggleMask = mce ? uint64_t{kRc6MceToggle} << 8 : code.rc6Mask;
        } else {
            code.toggleMask = uint64_t{1} << 11;
        }
        return code;
    }
    case IrProtocol::Unknown: {
        // The bits as sent, the first the most significant; bi-phase without its lead bit.
        FrameCode code;
        const std::vector<bool>& bits = f.analysis.bits;
        const std::size_t lead = f.analysis.scheme == IrScheme::BiPhase ? 1 : 0;
        for (std::size_t b = lead; b < bits.size(); ++b) {
            code.value = code.value << 1 | (bits[b] ? 1u : 0u);
            ++code.bits;
        }
        return code;
    }
    case IrProtocol::NecRepeat:
        break;
    }
    return {};
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

std::optional<TableKey> tableKeyOf(const IrFrame& f,
                                   std::map<QString, std::optional<LircIrpEncoding>>& encodings) {
    if (!irp::readByTable(f)) {
        return std::nullopt;
    }
    const irp::CompiledProtocol* protocol = irp::builtinTable().find(f.named.name);
    if (protocol == nullptr) {
        return std::nullopt; // one of the user's own
    }
    auto it = encodings.find(f.named.name);
    if (it == encodings.end()) {
        it = encodings.emplace(f.named.name, lircEncodingOf(*protocol)).first;
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
    const LircTiming t = timingOf(f);
    LircRemote r;
    r.name = remoteName(f);
    for (const QByteArray& flag : QByteArray(t.flags).split('|')) {
        for (const LircFlagName& known : kLircFlagNames) {
            if (flag == known.name) {
                r.flags |= known.flag;
            }
        }
    }
    r.eps = kDefaultEpsPercent;
    r.aeps = kAepsUs;
    r.header = lircPair(t.header);
    r.one = lircPair(t.one);
    r.zero = lircPair(t.zero);
    r.plead = us(t.plead);
    r.ptrail = us(t.ptrail);
    r.repeat = lircPair(t.repeat);
    r.gap = us(t.gap);
    if (f.protocol != IrProtocol::Unknown || structured(f)) {
        const FrameCode c = codeOf(f.protocol == IrProtocol::NecRepeat ? necOf(f) : f);
        r.bits = c.bits;
        r.toggleBitMask = c.toggleMask;
        r.rc6Mask = c.rc6Mask;
    }
    return r;
}

uint64_t lircCodeOf(const IrFrame& f) {
    return codeOf(f.protocol == IrProtocol::NecRepeat ? necOf(f) : f).value;
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
    // The table's protocols LIRC can send, by name, as met.
    std::map<QString, std::optional<LircIrpEncoding>> encodings;
    IrAnalysis lastAnalysed; // the coding of the last press of a protocol LIRC cannot send
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const std::optional<TableKey> table = tableKeyOf(frames[i], encodings);
        // A frame of a table protocol LIRC has no encoding for: written as the coding its own
        // marks and spaces show, when they show one, as any unknown frame is.
        IrFrame analysed;
        if (!table && irp::readByTable(frames[i])) {
            analysed = frames[i];
            IrAnalysis& a = analysed.analysis;
            const std::vector<int32_t>& d = analysed.durationsUs;
            a = analyseDurations(d);
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
        if (f.protocol == IrProtocol::NecRepeat || (f.protocol == IrProtocol::Sanyo && f.repeat)) {
            continue;
        }
        // How far the capture lies from the timings written.
        const std::vector<double> nominal =
            inferred ? analysedDurations(f.analysis) : irFrameDurations(f);
        if ((inferred || f.protocol != IrProtocol::Unknown) &&
            nominal.size() == f.durationsUs.size()) {
            for (std::size_t k = 0; k < nominal.size(); ++k) {
                const double n = std::abs(nominal[k]);
                it->deviation =
                    std::max(it->deviation, std::abs(std::abs(f.durationsUs[k]) - n) / n);
            }
        }
        const bool raw = f.protocol == IrProtocol::Unknown && !inferred;
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
