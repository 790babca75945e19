#include "infrared/ir_encoder.h"

#include <cmath>
#include <cstdlib>
#include <optional>

#include "infrared/family_protocols.h"
#include "infrared/ir_protocols.h"

namespace velmoran::infrared {

using namespace ir;

namespace {

constexpr int kDefaultCarrierHz = 38000;
// An unknown frame is followed by at least the gap that separates bursts.
constexpr double kUnknownGapUs = kIrBurstGapUs * 2;

const IrFamilyProtocol* descriptionOf(const IrFrame& f) {
    return f.protocol == IrProtocol::Unknown ? nullptr : familyProtocolOf(f);
}

// The family frame's signal as its description renders it; nothing for an Unknown frame.
std::optional<irp::Signal> described(const IrFrame& f, irp::Joined joined) {
    const IrFamilyProtocol* d = descriptionOf(f);
    if (d == nullptr) {
        return std::nullopt;
    }
    // A frame whose check failed goes as it was received: its fields alone do not tell it.
    if (f.check == IrCheck::Failed) {
        if (std::optional<irp::Signal> received = familySignalOfBits(*d, f.received, joined)) {
            return received;
        }
    }
    irp::Rendered r = irp::render(familyIrp(*d), familyValues(*d, f), joined);
    return std::move(r.signal);
}

// The part of the description the frame is: its intro, or its repeat part.
const std::vector<double>& frameIn(const IrFrame& f, const irp::Signal& signal) {
    return descriptionOf(f)->repeatPart ? signal.repeat : signal.intro;
}

} // namespace

std::vector<IrPiece> irFramePieces(const IrFrame& f) {
    std::vector<IrPiece> out;
    if (std::optional<irp::Signal> signal = described(f, irp::Joined::Pieces)) {
        // The part's pieces up to its last mark's end: the closing space is the gap's.
        const std::vector<double>& part = frameIn(f, *signal);
        for (std::size_t k = 0; k + 1 < part.size(); ++k) {
            out.push_back({part[k] > 0, std::abs(part[k])});
        }
        if (!part.empty() && part.back() > 0) {
            out.push_back({true, part.back()});
        }
        return out;
    }
    for (const int32_t d : f.durationsUs) {
        out.push_back({d > 0, static_cast<double>(std::abs(d))});
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
    const std::optional<irp::Signal> signal = described(f, irp::Joined::Runs);
    if (!signal) {
        return kUnknownGapUs;
    }
    const std::vector<double>& part = frameIn(f, *signal);
    const bool toExtent =
        descriptionOf(f)->repeatPart ? signal->repeatToExtent : signal->introToExtent;
    if (part.empty() || part.back() > 0) {
        return 0;
    }
    if (!toExtent) {
        return -part.back();
    }
    // A period from the frame's start: what the frame as sent (a failed check's bits as
    // received) leaves of it.
    double period = 0;
    for (const double d : part) {
        period += std::abs(d);
    }
    double length = 0;
    for (const double d : irFrameDurations(f)) {
        length += std::abs(d);
    }
    return std::max(period - length, 0.0);
}

int irCarrierHz(const IrFrame& f) {
    const IrFamilyProtocol* d = descriptionOf(f);
    return d == nullptr ? kDefaultCarrierHz
                        : static_cast<int>(std::lround(familyIrp(*d).frequencyHz));
}

} // namespace velmoran::infrared
