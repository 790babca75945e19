#include "infrared/ir_encoder.h"

#include <cmath>
#include <cstdlib>

#include "infrared/ir_protocols.h"

namespace velmoran::infrared {

using namespace ir;

namespace {

constexpr int kDefaultCarrierHz = 38000;
// An unknown frame is followed by at least the gap that separates bursts.
constexpr double kUnknownGapUs = kIrBurstGapUs * 2;

void pulseDistance(std::vector<IrPiece>& out, const PulseDistance& code, uint64_t data,
                   bool header = true) {
    if (header && code.headerMark > 0) {
        out.push_back({true, code.headerMark});
        out.push_back({false, code.headerSpace});
    }
    for (int b = 0; b < code.bits; ++b) {
        const int shift = code.msbFirst ? code.bits - 1 - b : b;
        out.push_back({true, code.mark});
        out.push_back({false, ((data >> shift) & 1) ? code.oneSpace : code.zeroSpace});
    }
    out.push_back({true, code.mark});
}

uint64_t bytes(std::initializer_list<uint32_t> values) {
    uint64_t data = 0;
    int shift = 0;
    for (const uint32_t v : values) {
        data |= static_cast<uint64_t>(v & 0xFFu) << shift;
        shift += 8;
    }
    return data;
}

uint32_t inverted(uint32_t v) {
    return ~v & 0xFFu;
}

// Manchester bits, most significant first, each of two `unit` halves; `oneMarkFirst` tells the
// order of a 1's halves.
void manchester(std::vector<IrPiece>& out, uint64_t bits, int count, double unit,
                bool oneMarkFirst) {
    for (int b = count - 1; b >= 0; --b) {
        const bool markFirst = (((bits >> b) & 1) != 0) == oneMarkFirst;
        out.push_back({markFirst, unit});
        out.push_back({!markFirst, unit});
    }
}

constexpr int kSharpTailShift = 13;
constexpr int kSircDeviceBits = 5;

// The code of a pulse-distance family with a check, nullptr for the others.
const PulseDistance* checkedCode(IrProtocol protocol) {
    switch (protocol) {
    case IrProtocol::Nec:
        return &kNec;
    case IrProtocol::Samsung32:
        return &kSamsung32;
    case IrProtocol::Kaseikyo:
        return &kKaseikyo;
    case IrProtocol::Rca:
        return &kRca;
    case IrProtocol::Sanyo:
        return &kSanyo;
    case IrProtocol::Sharp:
    case IrProtocol::Denon:
        return &kSharp;
    default:
        return nullptr;
    }
}

// A frame whose check failed, sent as it was received: its fields alone do not tell it.
bool asReceived(std::vector<IrPiece>& out, const IrFrame& f) {
    const PulseDistance* code = checkedCode(f.protocol);
    if (f.check != IrCheck::Failed || f.repeat || code == nullptr) {
        return false;
    }
    if (code != &kSharp) {
        pulseDistance(out, *code, f.received);
        return true;
    }
    constexpr uint64_t kFrameMask = (uint64_t{1} << kSharp.bits) - 1;
    pulseDistance(out, kSharp, f.received & kFrameMask);
    out.push_back({false, kSharp.gapUs});
    pulseDistance(out, kSharp, f.received >> kSharp.bits & kFrameMask);
    return true;
}

} // namespace

std::vector<IrPiece> irFramePieces(const IrFrame& f) {
    std::vector<IrPiece> out;
    if (asReceived(out, f)) {
        return out;
    }
    switch (f.protocol) {
    case IrProtocol::Nec: {
        const uint32_t second = f.extended ? f.address >> 8 : inverted(f.address);
        pulseDistance(out, kNec, bytes({f.address, second, f.command, inverted(f.command)}));
        break;
    }
    case IrProtocol::NecRepeat:
        out = {{true, kNec.headerMark}, {false, kNecRepeatSpace}, {true, kNec.mark}};
        break;
    case IrProtocol::Samsung32:
        pulseDistance(out, kSamsung32,
                      bytes({f.address, f.subdevice, f.command, inverted(f.command)}));
        break;
    case IrProtocol::Jvc:
        pulseDistance(out, kJvc, bytes({f.address, f.command}), !f.repeat);
        break;
    case IrProtocol::Kaseikyo: {
        uint64_t data = 0;
        if (f.vendor == kPanasonicVendor) {
            data = bytes({f.vendor, f.vendor >> 8, f.address, f.subdevice, f.command,
                          f.address ^ f.subdevice ^ f.command});
        } else {
            const uint32_t v = f.vendor;
            const uint32_t vendorParity = (v ^ v >> 4 ^ v >> 8 ^ v >> 12) & 0xFu;
            const uint32_t parity = (f.address ^ f.subdevice ^ f.subdevice >> 4 ^ f.command ^
                                     f.command >> 4 ^ f.extra) &
                                    0xFu;
            data = bytes({v, v >> 8, vendorParity | (f.address & 0xFu) << 4, f.subdevice, f.command,
                          (f.extra & 0xFu) | parity << 4});
        }
        pulseDistance(out, kKaseikyo, data);
        break;
    }
    case IrProtocol::Sharp:
    case IrProtocol::Denon: {
        const uint32_t tail = f.protocol == IrProtocol::Sharp ? 1u : 0u;
        const uint32_t a = (f.address & 0x1Fu) | (f.command & 0xFFu) << 5 | tail << kSharpTailShift;
        const uint32_t b =
            (f.address & 0x1Fu) | inverted(f.command) << 5 | (~tail & 3u) << kSharpTailShift;
        if (f.half != IrPairHalf::SecondOnly) {
            pulseDistance(out, kSharp, a);
        }
        if (f.half == IrPairHalf::Both) {
            out.push_back({false, kSharp.gapUs});
        }
        if (f.half != IrPairHalf::FirstOnly) {
            pulseDistance(out, kSharp, b);
        }
        break;
    }
    case IrProtocol::Sanyo: {
        if (f.repeat) {
            out = {{true, kNec.headerMark}, {false, kNecRepeatSpace}, {true, kNec.mark}};
            break;
        }
        constexpr uint64_t kAddressMask = (uint64_t{1} << kSanyoAddressBits) - 1;
        constexpr uint64_t kCommandMask = (uint64_t{1} << kSanyoCommandBits) - 1;
        const uint64_t a = f.address & kAddressMask;
        const uint64_t c = f.command & kCommandMask;
        pulseDistance(out, kSanyo,
                      a | (~a & kAddressMask) << kSanyoAddressBits | c << (2 * kSanyoAddressBits) |
                          (~c & kCommandMask) << (2 * kSanyoAddressBits + kSanyoCommandBits));
        break;
    }
    case IrProtocol::Rca: {
        const uint32_t a = f.address & 0xFu;
        const uint32_t c = f.command & 0xFFu;
        pulseDistance(out, kRca, a << 20 | c << 12 | (~a & 0xFu) << 8 | inverted(c));
        break;
    }
    case IrProtocol::Sirc: {
        uint32_t data = f.command & 0x7Fu;
        if (f.bits == 15) {
            data |= (f.address & 0xFFu) << 7;
        } else {
            data |= (f.address & 0x1Fu) << 7 | (f.address >> kSircDeviceBits & 0xFFu) << 12;
        }
        out.push_back({true, kSircLeader});
        for (int b = 0; b < f.bits; ++b) {
            out.push_back({false, kSircUnit});
            out.push_back({true, ((data >> b) & 1) ? 2 * kSircUnit : kSircUnit});
        }
        break;
    }
    case IrProtocol::Rc5: {
        // Start bit, field bit (the inverted seventh command bit), toggle, system, command.
        const uint32_t bits = 1u << 13 | ((f.command >> 6) & 1 ? 0u : 1u << 12) |
                              (f.toggle ? 1u << 11 : 0u) | (f.address & 0x1Fu) << 6 |
                              (f.command & 0x3Fu);
        manchester(out, bits, 14, kRc5Half, false);
        break;
    }
    case IrProtocol::Rc6: {
        out.push_back({true, kRc6LeaderMarkUnits * kRc6Unit});
        out.push_back({false, kRc6LeaderSpaceUnits * kRc6Unit});
        manchester(out, 1u << 3 | static_cast<uint32_t>(f.mode & 7), 4, kRc6Unit, true);
        const bool mce = f.mode != 0 && f.vendor == kRc6MceCustomer;
        manchester(out, f.toggle && !mce ? 1 : 0, 1, 2 * kRc6Unit, true);
        const uint32_t address =
            mce ? (f.address & ~kRc6MceToggle) | (f.toggle ? kRc6MceToggle : 0) : f.address;
        uint64_t data = (address & 0xFFu) << 8 | (f.command & 0xFFu);
        int count = kRc6Mode0Bits;
        if (f.mode != 0) {
            const int customerBits = (f.vendor >> 15) & 1 ? 16 : 8;
            data |= static_cast<uint64_t>(f.vendor) << 16;
            count = 16 + customerBits;
        }
        manchester(out, data, count, kRc6Unit, true);
        break;
    }
    case IrProtocol::Unknown:
        for (const int32_t d : f.durationsUs) {
            out.push_back({d > 0, static_cast<double>(std::abs(d))});
        }
        break;
    }
    return out;
}

std::vector<double> joinPieces(const std::vector<IrPiece>& pieces) {
    std::vector<double> out;
    bool last = false;
    for (const IrPiece& p : pieces) {
        if (out.empty() && !p.mark) {
            continue; // a frame starts at its first mark
        }
        if (!out.empty() && p.mark == last) {
            out.back() += p.mark ? p.us : -p.us;
        } else {
            out.push_back(p.mark ? p.us : -p.us);
        }
        last = p.mark;
    }
    while (!out.empty() && out.back() < 0) {
        out.pop_back(); // and ends at its last
    }
    return out;
}

std::vector<double> irFrameDurations(const IrFrame& frame) {
    return joinPieces(irFramePieces(frame));
}

double irFrameGapUs(const IrFrame& f) {
    double length = 0;
    for (const double d : irFrameDurations(f)) {
        length += std::abs(d);
    }
    const auto fromPeriod = [length](double period) { return std::max(period - length, 0.0); };
    switch (f.protocol) {
    case IrProtocol::Nec:
    case IrProtocol::NecRepeat:
        return fromPeriod(kNec.periodUs);
    case IrProtocol::Samsung32:
        return fromPeriod(kSamsung32.periodUs);
    case IrProtocol::Jvc:
        return kJvc.gapUs;
    case IrProtocol::Kaseikyo:
        return kKaseikyo.gapUs;
    case IrProtocol::Sharp:
    case IrProtocol::Denon:
        return kSharp.gapUs;
    case IrProtocol::Rca:
        return kRca.gapUs;
    case IrProtocol::Sanyo:
        return fromPeriod(kSanyo.periodUs);
    case IrProtocol::Sirc:
        return fromPeriod(kSircPeriodUs);
    case IrProtocol::Rc5:
        return fromPeriod(kRc5PeriodUs);
    case IrProtocol::Rc6:
        return fromPeriod(kRc6PeriodUs);
    case IrProtocol::Unknown:
        return kUnknownGapUs;
    }
    return kUnknownGapUs;
}

int irCarrierHz(const IrFrame& f) {
    switch (f.protocol) {
    case IrProtocol::Nec:
    case IrProtocol::NecRepeat:
        return kNec.carrierHz;
    case IrProtocol::Samsung32:
        return kSamsung32.carrierHz;
    case IrProtocol::Jvc:
        return kJvc.carrierHz;
    case IrProtocol::Kaseikyo:
        return kKaseikyo.carrierHz;
    case IrProtocol::Sharp:
    case IrProtocol::Denon:
        return kSharp.carrierHz;
    case IrProtocol::Rca:
        return kRca.carrierHz;
    case IrProtocol::Sanyo:
        return kSanyo.carrierHz;
    case IrProtocol::Sirc:
        return kSircCarrierHz;
    case IrProtocol::Rc5:
        return kRc5CarrierHz;
    case IrProtocol::Rc6:
        return kRc6CarrierHz;
    case IrProtocol::Unknown:
        return kDefaultCarrierHz;
    }
    return kDefaultCarrierHz;
}

} // namespace velmoran::infrared
