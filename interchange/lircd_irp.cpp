#include "interchange/lircd_irp.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <span>

namespace velmoran::interchange {

using namespace infrared;
using irp::FlatElement;

namespace {

// LIRC holds a code and its pre_data in 64 bits.
constexpr std::size_t kLircMostBits = 64;
// Two durations of the description that LIRC must send alike may differ by this much (µs).
constexpr double kSameUs = 1.0;

int us(double value) {
    return static_cast<int>(std::lround(std::abs(value)));
}

bool same(double a, double b) {
    return std::abs(a - b) <= kSameUs;
}

bool isDuration(const FlatElement& e, bool mark) {
    return e.kind == FlatElement::Kind::Duration && (e.us > 0) == mark && e.us != 0;
}

// The rest after a frame: a space, or an extent (CONST_LENGTH).
struct Closing {
    double us = 0;
    bool extent = false;
};

std::optional<Closing> closingOf(const FlatElement& e) {
    if (e.kind == FlatElement::Kind::Extent) {
        return Closing{e.us, true};
    }
    if (isDuration(e, false)) {
        return Closing{-e.us, false};
    }
    return std::nullopt;
}

// A frame's parts as LIRC sees them.
struct Shape {
    std::optional<std::pair<double, double>> header;
    double lead = 0; // a lone mark before the first bit (bi-phase: LIRC's plead)
    std::vector<const FlatElement*> symbols;
    double trail = 0; // the trailing mark, 0 when none
    Closing closing;
};

std::optional<Shape> shapeOf(const std::vector<FlatElement>& part) {
    Shape s;
    std::size_t i = 0;
    const auto leads = [&](std::size_t k) { // a symbol, or a mark and a symbol, at k
        return (k < part.size() && part[k].kind == FlatElement::Kind::Symbol) ||
               (k + 1 < part.size() && isDuration(part[k], true) &&
                part[k + 1].kind == FlatElement::Kind::Symbol);
    };
    if (part.size() > 2 && isDuration(part[0], true) && isDuration(part[1], false) && leads(2)) {
        s.header = std::pair{part[0].us, -part[1].us};
        i = 2;
    }
    if (i < part.size() && isDuration(part[i], true)) {
        s.lead = part[i++].us;
    }
    for (; i < part.size() && part[i].kind == FlatElement::Kind::Symbol; ++i) {
        if (part[i].bits.size() != 1) {
            return std::nullopt; // symbols of several bits
        }
        s.symbols.push_back(&part[i]);
    }
    if (i < part.size() && isDuration(part[i], true)) {
        s.trail = part[i++].us;
    }
    if (s.symbols.empty() || i + 1 != part.size()) {
        return std::nullopt;
    }
    const std::optional<Closing> c = closingOf(part[i]);
    if (!c) {
        return std::nullopt;
    }
    s.closing = *c;
    return s;
}

// A bi-phase symbol pair: each symbol half a mark and half a space, the two in opposite
// orders, all of one length. The length, and whether symbol 0 starts with a space.
std::optional<std::pair<double, bool>> biPhase(const irp::FlatBitspec& b) {
    if (b.symbols.size() != 2 || b.bitsPerSymbol != 1) {
        return std::nullopt;
    }
    const std::vector<double>& s0 = b.symbols[0];
    const std::vector<double>& s1 = b.symbols[1];
    if (s0.size() != 2 || s1.size() != 2 || !same(s0[0], -s0[1]) || !same(s1[0], -s1[1]) ||
        !same(s0[0], -s1[0])) {
        return std::nullopt;
    }
    return std::pair{std::abs(s0[0]), s0[0] < 0};
}

std::optional<LircIrpEncoding> spaceEncoded(const irp::CompiledProtocol& p, const Shape& s) {
    const irp::Flat& flat = p.flat;
    const int used = s.symbols.front()->bitspec;
    const irp::FlatBitspec& b = flat.bitspecs[static_cast<std::size_t>(used)];
    if (b.symbols.size() != 2 || b.bitsPerSymbol != 1) {
        return std::nullopt;
    }
    const auto shaped = [&](bool markFirst) {
        return std::all_of(b.symbols.begin(), b.symbols.end(), [&](const std::vector<double>& x) {
            return x.size() == 2 && (x[0] > 0) == markFirst && (x[1] > 0) != markFirst &&
                   x[0] != 0 && x[1] != 0;
        });
    };
    // Bits of a space then a mark, the spaces alike, after a lone mark (SIRC's): LIRC sees that
    // mark and the first space as the header, each further mark and the space after it as a
    // bit, and the last bit's space as part of the gap.
    const bool spaceFirst = s.lead > 0 && !s.header && s.trail == 0 && shaped(false) &&
                            same(b.symbols[0][0], b.symbols[1][0]);
    if (!spaceFirst && (s.lead > 0 || !shaped(true))) {
        // LIRC's bits are a mark then a space, and a lead pulse would run into the first one.
        return std::nullopt;
    }
    LircIrpEncoding e;
    LircRemote& r = e.remote;
    r.flags = kLircSpaceEnc;
    if (spaceFirst) {
        r.header = {us(s.lead), us(b.symbols[0][0])};
        r.zero = {us(b.symbols[0][1]), us(b.symbols[0][0])};
        r.one = {us(b.symbols[1][1]), us(b.symbols[1][0])};
    } else {
        if (s.header) {
            r.header = {us(s.header->first), us(s.header->second)};
        }
        r.zero = {us(b.symbols[0][0]), us(b.symbols[0][1])};
        r.one = {us(b.symbols[1][0]), us(b.symbols[1][1])};
    }
    r.ptrail = us(s.trail);
    for (const FlatElement* symbol : s.symbols) {
        e.bits.push_back(symbol->bits.front());
    }
    // The constant fields before the first parameter bit: pre_data.
    std::size_t constant = 0;
    while (constant < e.bits.size() &&
           flat.fields[static_cast<std::size_t>(e.bits[constant].first)].constant) {
        ++constant;
    }
    if (constant < e.bits.size()) {
        r.preDataBits = static_cast<int>(constant);
    }
    r.bits = static_cast<int>(e.bits.size()) - r.preDataBits;
    return e;
}

std::optional<LircIrpEncoding> biPhaseEncoded(const irp::CompiledProtocol& p, const Shape& s) {
    const irp::Flat& flat = p.flat;
    const std::optional<std::pair<double, bool>> main =
        biPhase(flat.bitspecs[static_cast<std::size_t>(s.symbols.front()->bitspec)]);
    if (!main || s.trail > 0) {
        return std::nullopt;
    }
    const double unit = main->first;
    LircIrpEncoding e;
    e.invert = main->second;
    LircRemote& r = e.remote;
    std::size_t first = 0;
    if (s.header) {
        r.header = {us(s.header->first), us(s.header->second)};
    }
    // LIRC's bit 1 starts with a space: as the first bit, that space cannot be seen, and LIRC
    // sends a constant first bit as its lead pulse.
    const FlatElement& lead = *s.symbols.front();
    const irp::FlatField& leadField =
        flat.fields[static_cast<std::size_t>(lead.bits.front().first)];
    // Whether the first bit shows where the frame starts: a mark before it, or a constant bit
    // that starts with a mark.
    bool visible = s.header.has_value() || s.lead > 0;
    if (s.lead > 0) {
        if (!same(s.lead, unit)) {
            return std::nullopt;
        }
        r.plead = us(s.lead);
    } else if (!s.header && leadField.constant) {
        const bool value = ((*leadField.constant >> lead.bits.front().second) & 1) != 0;
        if (value != e.invert) {
            r.plead = us(unit);
            first = 1;
        }
        visible = true;
    }
    if (!visible) {
        return std::nullopt; // a first bit that may start with a space: no start to be seen
    }
    std::vector<bool> doubled;
    for (std::size_t k = first; k < s.symbols.size(); ++k) {
        const FlatElement& symbol = *s.symbols[k];
        const std::optional<std::pair<double, bool>> b =
            biPhase(flat.bitspecs[static_cast<std::size_t>(symbol.bitspec)]);
        if (!b || b->second != main->second) {
            return std::nullopt;
        }
        if (same(b->first, 2 * unit)) {
            doubled.push_back(true);
        } else if (same(b->first, unit)) {
            doubled.push_back(false);
        } else {
            return std::nullopt;
        }
        e.bits.push_back(symbol.bits.front());
    }
    const bool rc6 = std::find(doubled.begin(), doubled.end(), true) != doubled.end();
    r.flags = rc6 ? kLircRc6 : kLircRc5;
    r.one = {us(unit), us(unit)};
    r.zero = r.one;
    r.bits = static_cast<int>(e.bits.size());
    for (std::size_t k = 0; k < doubled.size(); ++k) {
        if (doubled[k]) {
            r.rc6Mask |= uint64_t{1} << (doubled.size() - 1 - k);
        }
    }
    if (s.header && !rc6) {
        return std::nullopt; // LIRC's RC5 has no header
    }
    return e;
}

bool sameExpr(const irp::Expr& a, const irp::Expr& b) {
    return a.kind == b.kind && a.number == b.number && a.name == b.name &&
           a.complement == b.complement &&
           std::equal(a.args.begin(), a.args.end(), b.args.begin(), b.args.end(), sameExpr);
}

// Whether two bitfields send the same bits.
bool sameField(const irp::FlatField& a, const irp::FlatField& b) {
    return a.width == b.width && a.shift == b.shift && a.complement == b.complement &&
           a.reverse == b.reverse && a.constant == b.constant &&
           (a.expr == nullptr) == (b.expr == nullptr) &&
           (a.expr == nullptr || sameExpr(*a.expr, *b.expr));
}

// Whether a part is another sent again: the same durations, and symbols that send the same bits
// of the same bitfields.
bool sameElements(const irp::Flat& flat, std::span<const FlatElement> a,
                  std::span<const FlatElement> b) {
    const auto sameBit = [&](const std::pair<int, int>& x, const std::pair<int, int>& y) {
        return x.second == y.second && sameField(flat.fields[static_cast<std::size_t>(x.first)],
                                                 flat.fields[static_cast<std::size_t>(y.first)]);
    };
    return std::equal(
        a.begin(), a.end(), b.begin(), b.end(), [&](const FlatElement& x, const FlatElement& y) {
            return x.kind == y.kind && same(x.us, y.us) && x.bitspec == y.bitspec &&
                   std::equal(x.bits.begin(), x.bits.end(), y.bits.begin(), y.bits.end(), sameBit);
        });
}

// A bit of a parameter that keeps its value from one press to the next and changes as a key is
// pressed again (T@): LIRC's toggle bit.
bool toggles(const irp::CompiledProtocol& p, const irp::FlatField& field) {
    if (field.expr == nullptr || field.expr->kind != irp::Expr::Kind::Name) {
        return false;
    }
    const irp::ParameterSpec* parameter = p.protocol.parameter(field.expr->name);
    return parameter != nullptr && parameter->memory;
}

} // namespace

std::optional<LircIrpEncoding> lircEncodingOf(const irp::CompiledProtocol& p) {
    const irp::Flat& flat = p.flat;
    const std::vector<FlatElement>& intro = flat.parts[irp::Intro];
    const std::vector<FlatElement>& repeat = flat.parts[irp::Repeat];
    if (!flat.parts[irp::Ending].empty() || (intro.empty() && repeat.empty())) {
        return std::nullopt;
    }
    // LIRC's bits are the same whatever bit came before (B&O's gaps are not).
    if (std::any_of(flat.bitspecs.begin(), flat.bitspecs.end(),
                    [](const irp::FlatBitspec& b) { return !b.stateSymbols.empty(); })) {
        return std::nullopt;
    }
    const std::optional<Shape> shape = shapeOf(intro.empty() ? repeat : intro);
    if (!shape) {
        return std::nullopt;
    }
    std::optional<LircIrpEncoding> e;
    const int used = shape->symbols.front()->bitspec;
    for (const FlatElement* symbol : shape->symbols) {
        if (symbol->bitspec != used && !biPhase(flat.bitspecs[static_cast<std::size_t>(used)])) {
            return std::nullopt;
        }
    }
    e = biPhase(flat.bitspecs[static_cast<std::size_t>(used)]) ? biPhaseEncoded(p, *shape)
                                                               : spaceEncoded(p, *shape);
    if (!e || e->bits.size() > kLircMostBits || e->bits.empty()) {
        return std::nullopt;
    }
    LircRemote& r = e->remote;
    const std::size_t pre = static_cast<std::size_t>(r.preDataBits);
    for (std::size_t k = pre; k < e->bits.size(); ++k) {
        if (toggles(p, flat.fields[static_cast<std::size_t>(e->bits[k].first)])) {
            r.toggleBitMask |= uint64_t{1} << (e->bits.size() - 1 - k);
        }
    }
    r.gap = us(shape->closing.us);
    if (shape->closing.extent) {
        r.flags |= kLircConstLength;
        if ((r.flags & kLircRc5) != 0 && !shape->header && shape->lead == 0 && r.plead > 0) {
            // The extent counts from the lead bit's space, which LIRC does not see: its
            // constant length starts at the plead.
            r.gap -= r.plead;
        }
    }
    // A repeat that is the frame without its header: NO_HEAD_REP.
    const bool headless = shape->header && repeat.size() + 2 == intro.size() &&
                          sameElements(flat, std::span(intro).subspan(2), repeat);
    if (headless) {
        r.flags |= kLircNoHeadRep;
    } else if (!intro.empty() && !repeat.empty() && !sameElements(flat, intro, repeat)) {
        // Held: a repeat code of a leader and the trailing mark, closed as the frame is.
        const bool ditto = repeat.size() == 4 && isDuration(repeat[0], true) &&
                           isDuration(repeat[1], false) && isDuration(repeat[2], true) &&
                           (r.flags & kLircSpaceEnc) != 0 && same(repeat[2].us, shape->trail);
        const std::optional<Closing> closing = ditto ? closingOf(repeat[3]) : std::nullopt;
        if (!closing || closing->extent != shape->closing.extent ||
            !same(closing->us, shape->closing.us)) {
            return std::nullopt;
        }
        r.repeat = {us(repeat[0].us), us(repeat[1].us)};
    }
    return e;
}

uint64_t lircParameterMask(const LircIrpEncoding& encoding, const irp::CompiledProtocol& p,
                           const std::string& name) {
    uint64_t mask = 0;
    const std::size_t pre = static_cast<std::size_t>(encoding.remote.preDataBits);
    for (std::size_t k = pre; k < encoding.bits.size(); ++k) {
        const irp::FlatField& field =
            p.flat.fields[static_cast<std::size_t>(encoding.bits[k].first)];
        if (field.expr != nullptr && field.expr->kind == irp::Expr::Kind::Name &&
            field.expr->name == name) {
            mask |= uint64_t{1} << (encoding.bits.size() - 1 - k);
        }
    }
    return mask;
}

std::optional<LircIrpCode> lircIrpCode(const LircIrpEncoding& encoding,
                                       const irp::CompiledProtocol& p,
                                       const std::vector<std::pair<QString, int64_t>>& parameters) {
    irp::Values values;
    for (const auto& [name, value] : parameters) {
        const irp::ParameterSpec* parameter = p.protocol.parameter(name.toStdString());
        // The code as the first press sends it: LIRC turns the toggle through its mask.
        values[name.toStdString()] = parameter != nullptr && parameter->memory ? 0 : value;
    }
    if (irp::completeValues(p.protocol, values)) {
        return std::nullopt;
    }
    LircIrpCode out;
    const std::size_t pre = static_cast<std::size_t>(encoding.remote.preDataBits);
    for (std::size_t k = 0; k < encoding.bits.size(); ++k) {
        const auto [field, bit] = encoding.bits[k];
        const std::optional<int64_t> v =
            irp::fieldValue(p.flat.fields[static_cast<std::size_t>(field)], values, p.protocol);
        if (!v) {
            return std::nullopt;
        }
        const uint64_t sent = ((static_cast<uint64_t>(*v) >> bit) & 1u) ^ (encoding.invert ? 1 : 0);
        uint64_t& into = k < pre ? out.preData : out.code;
        into = into << 1 | sent;
    }
    return out;
}

} // namespace velmoran::interchange
