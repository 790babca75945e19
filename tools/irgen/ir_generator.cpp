#include "tools/irgen/ir_generator.h"

#include <algorithm>
#include <cmath>
#include <random>

#include "core/channel_levels.h"
#include "infrared/frame_text.h"
#include "infrared/ir_encoder.h"
#include "infrared/ir_protocols.h"

namespace velmoran::irgen {

using namespace infrared;

namespace {

constexpr double kCaptureUs = static_cast<double>(kCaptureSamples) * kSamplePeriodUsExact;
// Presses start after this much idle line and end this long before the capture does.
constexpr double kFirstPressUs = 30000;
constexpr double kTailUs = 400000;
// Idle time between two presses.
constexpr double kPressGapMinUs = 90000;
constexpr double kPressGapMaxUs = 400000;
constexpr int kMaxRepeats = 3;
// A glitch lasts one to three samples and keeps this far from the frame's edges.
constexpr int kGlitchMaxSamples = 3;
constexpr double kGlitchClearanceUs = 2 * kSamplePeriodUsExact;
constexpr int kGlitchTries = 50;
// A decoded frame is the one sent if it starts within two samples of it.
constexpr double kMatchUs = 2 * kSamplePeriodUsExact;
constexpr uint32_t kRc6ALongCustomer = 0x8000;

struct Random {
    std::mt19937 rng;
    uint32_t bits(int n) { return static_cast<uint32_t>(rng()) & ((1u << n) - 1); }
    double uniform(double a, double b) { return std::uniform_real_distribution<double>(a, b)(rng); }
    bool chance(double p) { return uniform(0, 1) < p; }
};

// A frame of an unknown remote: its durations with nominal timings, and the truth of its
// coding in `analysis`.
IrFrame unknownFrame(Family family, Random& r) {
    IrFrame f;
    f.protocol = IrProtocol::Unknown;
    f.keyKnown = false;
    IrAnalysis& a = f.analysis;
    std::vector<int32_t>& d = f.durationsUs;
    const auto bits = [&](int n) {
        for (int b = 0; b < n; ++b) {
            a.bits.push_back(r.chance(0.5));
        }
    };
    switch (family) {
    case Family::UnknownPulseDistance48:
    case Family::UnknownPulseDistance112: {
        // Air-conditioner style: a long leader, 500 µs marks, 1:3 spaces, a closing mark.
        const bool wide = family == Family::UnknownPulseDistance112;
        a = {IrScheme::PulseDistance,
             wide ? 6000 : 5000,
             wide ? 3000 : 2500,
             500,
             500,
             500,
             1500,
             500,
             {},
             0};
        bits(wide ? 112 : 48);
        d = {a.headerMarkUs, -a.headerSpaceUs};
        for (const bool bit : a.bits) {
            d.push_back(a.zeroMarkUs);
            d.push_back(-(bit ? a.oneSpaceUs : a.zeroSpaceUs));
        }
        d.push_back(a.trailMarkUs);
        break;
    }
    case Family::UnknownPulseWidth12:
        // A 4 ms leader, then marks of 400 µs (0) or 1000 µs (1) between 400 µs spaces.
        a = {IrScheme::PulseWidth, 4000, 400, 400, 400, 1000, 400, 0, {}, 0};
        bits(12);
        d = {a.headerMarkUs};
        for (const bool bit : a.bits) {
            d.push_back(-a.zeroSpaceUs);
            d.push_back(bit ? a.oneMarkUs : a.zeroMarkUs);
        }
        break;
    default: {
        // Bi-phase of 600 µs halves, a 1 space then mark, starting with the bits 1, 0, 1.
        a = {IrScheme::BiPhase, 0, 0, 600, 600, 600, 600, 0, {true, false, true}, 0};
        bits(11);
        std::vector<IrPiece> pieces;
        for (const bool bit : a.bits) {
            pieces.push_back({!bit, 600});
            pieces.push_back({bit, 600});
        }
        for (const double v : joinPieces(pieces)) {
            d.push_back(static_cast<int32_t>(v));
        }
        break;
    }
    }
    f.bits = static_cast<int>(a.bits.size());
    return f;
}

IrFrame randomFrame(Family family, Random& r, bool toggle) {
    IrFrame f;
    f.check = IrCheck::Passed;
    switch (family) {
    case Family::Nec:
        f.protocol = IrProtocol::Nec;
        f.bits = 32;
        f.address = r.bits(8);
        if (r.chance(0.25)) {
            uint32_t high = r.bits(8);
            if (high == (~f.address & 0xFFu)) {
                high ^= 1;
            }
            f.address |= high << 8;
            f.extended = true;
        }
        f.command = r.bits(8);
        break;
    case Family::Samsung32:
        f.protocol = IrProtocol::Samsung32;
        f.bits = 32;
        f.address = r.bits(8);
        f.subdevice = r.chance(0.8) ? f.address : r.bits(8);
        f.command = r.bits(8);
        break;
    case Family::Jvc:
        f.protocol = IrProtocol::Jvc;
        f.bits = 16;
        f.check = IrCheck::NotApplicable;
        f.address = r.bits(8);
        f.command = r.bits(8);
        break;
    case Family::Kaseikyo:
        f.protocol = IrProtocol::Kaseikyo;
        f.bits = 48;
        if (r.chance(0.5)) {
            f.vendor = kPanasonicVendor;
            f.address = r.bits(8);
        } else {
            do {
                f.vendor = r.bits(16);
            } while (f.vendor == kPanasonicVendor);
            f.address = r.bits(4);
            f.extra = r.bits(4);
        }
        f.subdevice = r.bits(8);
        f.command = r.bits(8);
        break;
    case Family::Sharp:
    case Family::Denon:
        f.protocol = family == Family::Sharp ? IrProtocol::Sharp : IrProtocol::Denon;
        f.bits = 15;
        f.address = r.bits(5);
        f.command = r.bits(8);
        break;
    case Family::Rc5:
        f.protocol = IrProtocol::Rc5;
        f.bits = 14;
        f.check = IrCheck::NotApplicable;
        f.address = r.bits(5);
        f.command = r.bits(7);
        f.toggle = toggle;
        break;
    case Family::Rc6:
        f.protocol = IrProtocol::Rc6;
        f.check = IrCheck::NotApplicable;
        f.toggle = toggle;
        f.address = r.bits(8);
        f.command = r.bits(8);
        if (r.chance(0.4)) {
            f.mode = 6;
            f.vendor = kRc6ALongCustomer | r.bits(15);
            if (r.chance(0.5)) {
                f.vendor = ir::kRc6MceCustomer;
                f.address &= ~ir::kRc6MceToggle;
            }
            f.bits = ir::kRc6ABits;
        } else {
            f.bits = ir::kRc6Mode0Bits;
        }
        break;
    case Family::Sirc: {
        f.protocol = IrProtocol::Sirc;
        f.check = IrCheck::NotApplicable;
        constexpr int kLengths[] = {12, 15, 20};
        f.bits = kLengths[r.bits(8) % 3];
        f.address = r.bits(f.bits == 12 ? 5 : f.bits == 15 ? 8 : 13);
        f.command = r.bits(7);
        break;
    }
    case Family::Rca:
        f.protocol = IrProtocol::Rca;
        f.bits = 24;
        f.address = r.bits(4);
        f.command = r.bits(8);
        break;
    case Family::UnknownPulseDistance48:
    case Family::UnknownPulseDistance112:
    case Family::UnknownPulseWidth12:
    case Family::UnknownBiPhase14:
        return unknownFrame(family, r);
    }
    return f;
}

// The start-to-start period of repeated frames, where the protocol has one.
double periodUs(Family family) {
    switch (family) {
    case Family::Nec:
        return ir::kNec.periodUs;
    case Family::Samsung32:
        return ir::kSamsung32.periodUs;
    case Family::Rc5:
        return ir::kRc5PeriodUs;
    case Family::Rc6:
        return ir::kRc6PeriodUs;
    case Family::Sirc:
        return ir::kSircPeriodUs;
    default:
        return 0;
    }
}

// Writes a frame's pieces, each scaled by its own random factor, from `t` on; returns the end
// of its last mark. A stretching receiver ends each mark `stretchUs` late.
double writeFrame(std::vector<emulator::Edge>& edges, const IrFrame& frame, double t,
                  const Options& o, Random& r) {
    std::vector<IrPiece> pieces = irFramePieces(frame);
    for (IrPiece& p : pieces) {
        p.us *= 1 + (o.jitter > 0 ? r.uniform(-o.jitter, o.jitter) : 0.0);
    }
    for (const double d : joinPieces(pieces)) {
        edges.push_back({d > 0 ? t : t + o.markStretchUs, d < 0});
        t += std::abs(d);
    }
    edges.push_back({t + o.markStretchUs, true});
    return t + o.markStretchUs;
}

// Flips the line for one to three samples somewhere inside [from, to], away from its edges.
bool addGlitch(std::vector<emulator::Edge>& edges, std::size_t firstEdge, double from, double to,
               Random& r) {
    for (int attempt = 0; attempt < kGlitchTries; ++attempt) {
        const double length = r.uniform(1, kGlitchMaxSamples) * kSamplePeriodUsExact;
        const double at = r.uniform(from, to - length);
        bool level = true;
        bool clear = true;
        for (std::size_t e = firstEdge; e < edges.size(); ++e) {
            if (edges[e].timeUs <= at) {
                level = edges[e].high;
            }
            if (edges[e].timeUs > at - kGlitchClearanceUs &&
                edges[e].timeUs < at + length + kGlitchClearanceUs) {
                clear = false;
            }
        }
        if (clear) {
            edges.push_back({at, !level});
            edges.push_back({at + length, level});
            std::sort(edges.begin() + static_cast<std::ptrdiff_t>(firstEdge), edges.end(),
                      [](const emulator::Edge& a, const emulator::Edge& b) {
                          return a.timeUs < b.timeUs;
                      });
            return true;
        }
    }
    return false;
}

QString fieldsText(const IrFrame& f) {
    const FrameText t = frameText(f);
    return t.protocol + ' ' + t.address + ' ' + t.command + ' ' + t.check + ' ' + t.notes;
}

} // namespace

QString familyName(Family family) {
    switch (family) {
    case Family::Nec:
        return QStringLiteral("nec");
    case Family::Samsung32:
        return QStringLiteral("samsung32");
    case Family::Jvc:
        return QStringLiteral("jvc");
    case Family::Kaseikyo:
        return QStringLiteral("kaseikyo");
    case Family::Sharp:
        return QStringLiteral("sharp");
    case Family::Denon:
        return QStringLiteral("denon");
    case Family::Rc5:
        return QStringLiteral("rc5");
    case Family::Rc6:
        return QStringLiteral("rc6");
    case Family::Sirc:
        return QStringLiteral("sirc");
    case Family::Rca:
        return QStringLiteral("rca");
    case Family::UnknownPulseDistance48:
        return QStringLiteral("unknown-pd48");
    case Family::UnknownPulseDistance112:
        return QStringLiteral("unknown-pd112");
    case Family::UnknownPulseWidth12:
        return QStringLiteral("unknown-pw12");
    case Family::UnknownBiPhase14:
        return QStringLiteral("unknown-biphase14");
    }
    return {};
}

std::optional<Family> familyFromName(const QString& name) {
    for (const Family f : kFamilies) {
        if (familyName(f) == name.toLower()) {
            return f;
        }
    }
    for (const Family f : kUnknownRemotes) {
        if (familyName(f) == name.toLower()) {
            return f;
        }
    }
    return std::nullopt;
}

Generated generate(Family family, const Options& options) {
    Random r{std::mt19937(options.seed)};
    Generated out;
    bool toggle = false;
    double t = kFirstPressUs + r.uniform(0, kFirstPressUs);
    while (t < kCaptureUs - kTailUs) {
        IrFrame key = randomFrame(family, r, toggle);
        toggle = !toggle;
        const int repeats = static_cast<int>(r.bits(8) % (kMaxRepeats + 1));
        // A press loses the same half of each pair it loses one of: a first frame alone and a
        // second alone 40 ms later would be a pair.
        const bool lostSecond = r.chance(0.5);
        for (int n = 0; n <= repeats; ++n) {
            IrFrame frame = key;
            if (n > 0 && family == Family::Nec) {
                frame.protocol = IrProtocol::NecRepeat;
                frame.bits = 0;
                frame.check = IrCheck::NotApplicable;
            }
            frame.repeat = n > 0 && family == Family::Jvc;
            if (n > 0 && family == Family::UnknownPulseDistance48) {
                // Held, this remote sends a repeat code: its leader's mark, a quarter of its
                // leader's space, a closing mark.
                frame.analysis.repeatCode = true;
                frame.durationsUs = {frame.analysis.headerMarkUs, -frame.analysis.headerSpaceUs / 2,
                                     frame.analysis.trailMarkUs};
            }
            const bool paired = family == Family::Sharp || family == Family::Denon;
            if (paired && options.loneHalfShare > 0 && r.chance(options.loneHalfShare)) {
                frame.half = lostSecond ? IrPairHalf::FirstOnly : IrPairHalf::SecondOnly;
                frame.check = IrCheck::NotApplicable; // no partner to compare with
            }
            const std::size_t firstEdge = out.edges.size();
            const double end = writeFrame(out.edges, frame, t, options, r);
            SentFrame sent{frame, t, end, false};
            if (options.glitchShare > 0 && r.chance(options.glitchShare)) {
                sent.glitched = addGlitch(out.edges, firstEdge, t, end, r);
            }
            out.truth.push_back(sent);
            const bool jvcPeriod = family == Family::Jvc && options.jvcPeriods;
            const double period =
                jvcPeriod ? r.uniform(ir::kJvcRepeatPeriodMinUs, ir::kJvcRepeatPeriodMaxUs)
                          : periodUs(family);
            const double gap =
                irFrameGapUs(frame) * (1 + r.uniform(-options.jitter, options.jitter));
            const double least = jvcPeriod ? ir::kJvcLeastGapUs : gap;
            t = period > 0 ? std::max(t + period, end + least) : end + gap;
        }
        t += r.uniform(kPressGapMinUs, kPressGapMaxUs);
    }
    // The last press may run past the capture's end: keep only frames it holds whole.
    // A frame alone must be followed by the rest where its partner would have been, a frame
    // of an unknown remote by a burst's gap (else it may be cut short, and is not analysed).
    const auto partnerRoom = [](const SentFrame& s) {
        return s.frame.half == IrPairHalf::FirstOnly     ? 2 * ir::kSharp.gapUs
               : s.frame.protocol == IrProtocol::Unknown ? kIrBurstGapUs
                                                         : 0.0;
    };
    while (!out.truth.empty() && out.truth.back().endUs + partnerRoom(out.truth.back()) >=
                                     kCaptureUs - kSamplePeriodUsExact) {
        out.truth.pop_back();
    }
    return out;
}

ChannelBuffer renderChannel(const Generated& generated) {
    const std::vector<uint8_t> bytes = emulator::renderBytes(generated.edges, 0.0, kCaptureBytes);
    ChannelBuffer buffer{};
    std::copy(bytes.begin(), bytes.end(), buffer.begin());
    return buffer;
}

Score score(const std::vector<SentFrame>& truth, const std::vector<IrFrame>& got) {
    Score s;
    std::vector<bool> found(truth.size(), false);
    std::vector<bool> listed(truth.size(), false);
    for (const IrFrame& f : got) {
        const double start = static_cast<double>(f.startSample) * kSamplePeriodUsExact;
        const double end = static_cast<double>(f.endSample) * kSamplePeriodUsExact;
        const auto unknownSent = std::find_if(truth.begin(), truth.end(), [&](const SentFrame& t) {
            return t.frame.protocol == IrProtocol::Unknown &&
                   std::abs(t.startUs - start) <= kMatchUs;
        });
        if (f.protocol == IrProtocol::Unknown && unknownSent != truth.end() &&
            f.analysis.scheme != IrScheme::None) {
            const IrAnalysis& want = unknownSent->frame.analysis;
            if (f.analysis.scheme == want.scheme && f.analysis.bits == want.bits &&
                f.analysis.repeatCode == want.repeatCode) {
                found[static_cast<std::size_t>(unknownSent - truth.begin())] = true;
            } else {
                ++s.wrong;
            }
            continue;
        }
        if (f.protocol == IrProtocol::Unknown) {
            for (std::size_t k = 0; k < truth.size(); ++k) {
                if (start <= truth[k].endUs + kMatchUs && end >= truth[k].startUs - kMatchUs) {
                    listed[k] = true;
                }
            }
            continue;
        }
        const auto sent = std::find_if(truth.begin(), truth.end(), [&](const SentFrame& t) {
            return std::abs(t.startUs - start) <= kMatchUs;
        });
        if (sent == truth.end()) {
            s.invented += f.keyKnown ? 1 : 0;
        } else if (!f.keyKnown) {
            continue; // a repeat code that names no key claims nothing
        } else if (fieldsText(f) == fieldsText(sent->frame)) {
            found[static_cast<std::size_t>(sent - truth.begin())] = true;
        } else {
            ++s.wrong;
        }
    }
    for (std::size_t k = 0; k < truth.size(); ++k) {
        if (truth[k].glitched) {
            ++s.glitched;
            s.glitchedFound += found[k] ? 1 : 0;
            s.glitchedListed += !found[k] && listed[k] ? 1 : 0;
        } else {
            ++s.sent;
            s.found += found[k] ? 1 : 0;
        }
    }
    return s;
}

} // namespace velmoran::irgen
