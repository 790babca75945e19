#include "infrared/family_protocols.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "infrared/ir_protocols.h"
#include "infrared/irp/irp_flat.h"

namespace velmoran::infrared {

namespace {

using F = IrField;
using W = IrVariantWhen;

// NEC's frame with its repeat code; Sanyo's LC7461 (the table's Aiwa: a 13-bit custom code as
// D and S) sends the same leader, units and repeat code.
constexpr const char* kNecIrp = "{38k,562.5}<1,-1|1,-3>(16,-8,D:8,S:8,F:8,~F:8,1,^108m,"
                                "(16,-4,1,^108m)*)[D:0..255,S:0..255=255-D,F:0..255]";
constexpr const char* kSanyoIrp = "{38k,562.5}<1,-1|1,-3>(16,-8,D:8,S:5,~D:8,~S:5,F:8,~F:8,1,^108m,"
                                  "(16,-4,1,^108m)*)[D:0..255,S:0..31,F:0..255]";
constexpr const char* kJvcIrp =
    "{38k,525}<1,-1|1,-3>(16,-8,D:8,F:8,1,-45,(D:8,F:8,1,-45)*)[D:0..255,F:0..255]";
// The pair of frames 43.56 ms apart, or one of them alone.
constexpr const char* kSharpIrp = "{38k,264}<1,-3|1,-7>(D:5,F:8,1:2,1,-165,D:5,~F:8,2:2,1,-165)"
                                  "[D:0..31,F:0..255]";
constexpr const char* kSharpFirstIrp = "{38k,264}<1,-3|1,-7>(D:5,F:8,1:2,1,-165)[D:0..31,F:0..255]";
constexpr const char* kSharpSecondIrp =
    "{38k,264}<1,-3|1,-7>(D:5,~F:8,2:2,1,-165)[D:0..31,F:0..255]";
constexpr const char* kDenonIrp = "{38k,264}<1,-3|1,-7>(D:5,F:8,0:2,1,-165,D:5,~F:8,3:2,1,-165)"
                                  "[D:0..31,F:0..255]";
constexpr const char* kDenonFirstIrp = "{38k,264}<1,-3|1,-7>(D:5,F:8,0:2,1,-165)[D:0..31,F:0..255]";
constexpr const char* kDenonSecondIrp =
    "{38k,264}<1,-3|1,-7>(D:5,~F:8,3:2,1,-165)[D:0..31,F:0..255]";
// SIRC's bits as a space and a mark each (the table's are mark and space): the same durations,
// with the frame ending on its last mark.
constexpr const char* kSonyIrp12 = "{40k,600}<-1,1|-1,2>(4,F:7,D:5,^45m)[D:0..31,F:0..127]";
constexpr const char* kSonyIrp15 = "{40k,600}<-1,1|-1,2>(4,F:7,D:8,^45m)[D:0..255,F:0..127]";
constexpr const char* kSonyIrp20 =
    "{40k,600}<-1,1|-1,2>(4,F:7,D:5,S:8,^45m)[D:0..31,S:0..255,F:0..127]";

// RC-5X is RC-5 whose field bit carries the seventh command bit inverted. The start bit's idle
// half is sent as a piece of its own: frames repeat 113.778 ms apart from its mark.
constexpr const char* kRc5Irp =
    "{36k,msb,889}<1,-1|-1,1>(1:1,~F:1:6,T:1,D:5,F:6,^114667u)[D:0..31,F:0..127,T:0..1]";

constexpr IrParameterField kD{"D", F::Address};
constexpr IrParameterField kF{"F", F::Command};
constexpr IrParameterField kT{"T", F::Toggle, 0, 1};
constexpr IrParameterField kM{"M", F::Mode, 0, 7};

// The words of the frame texts.
constexpr IrFieldText kDevice{"device", F::Address};
constexpr IrFieldText kFunction{"function", F::Command};
constexpr IrFieldText kDeviceFunction[] = {kDevice, kFunction};
constexpr IrFieldText kNecExtended[] = {
    {"device", F::Address, 0, 0xFF}, {"subdevice", F::Address, 8}, kFunction};
constexpr IrFieldText kSamsung[] = {kDevice, {"subdevice", F::Subdevice}, kFunction};
constexpr IrFieldText kVendor{"vendor", F::Vendor, 0, UINT32_MAX, 4};
constexpr IrFieldText kPanasonic[] = {kVendor, kDevice, {"subdevice", F::Subdevice}, kFunction};
constexpr IrFieldText kKaseikyo[] = {kVendor,
                                     kDevice,
                                     {"subdevice", F::Subdevice},
                                     kFunction,
                                     {"extra", F::Extra, 0, UINT32_MAX, 1}};
constexpr IrFieldText kToggle{"toggle", F::Toggle, 0, UINT32_MAX, 0};
constexpr IrFieldText kMode{"mode", F::Mode, 0, UINT32_MAX, 0};
constexpr IrFieldText kRc5[] = {{"system", F::Address}, {"command", F::Command}, kToggle};
constexpr IrFieldText kRc6[] = {kMode, {"address", F::Address}, {"command", F::Command}, kToggle};
constexpr IrFieldText kRc6a[] = {kMode,
                                 {"customer", F::Vendor, 0, UINT32_MAX, 4},
                                 {"address", F::Address},
                                 {"command", F::Command},
                                 kToggle};
constexpr IrFieldText kSirc20[] = {
    {"device", F::Address, 0, 0x1F}, {"extended", F::Address, 5}, kFunction};

// clang-format off
const IrFamilyProtocol kDescriptions[] = {
    {IrProtocol::Nec, W::NotExtended, 0, "NEC1", kNecIrp, false,
     {kD, {"S", F::Address, 0, 0xFF, true}, kF}, "NEC", kDeviceFunction},
    {IrProtocol::Nec, W::Extended, 0, "NEC1", kNecIrp, false,
     {kD, {"S", F::Address, 8}, kF}, "NEC", kNecExtended},
    {IrProtocol::NecRepeat, W::NotExtended, 0, "NEC1", kNecIrp, true,
     {kD, {"S", F::Address, 0, 0xFF, true}, kF}, "NEC-repeat", kDeviceFunction},
    {IrProtocol::NecRepeat, W::Extended, 0, "NEC1", kNecIrp, true,
     {kD, {"S", F::Address, 8}, kF}, "NEC-repeat", kNecExtended},
    {IrProtocol::Samsung32, W::Always, 0, "NECx",
     "{38k,550}<1,-1|1,-3>(8,-8,D:8,S:8,F:8,~F:8,1,^108m)[D:0..255,S:0..255,F:0..255]", false,
     {kD, {"S", F::Subdevice}, kF}, "Samsung32", kSamsung},
    {IrProtocol::Jvc, W::Repeat, 0, "JVC", kJvcIrp, true, {kD, kF}, "JVC", kDeviceFunction},
    {IrProtocol::Jvc, W::Always, 0, "JVC", kJvcIrp, false, {kD, kF}, "JVC", kDeviceFunction},
    {IrProtocol::Kaseikyo, W::Panasonic, 0, "Panasonic",
     "{37k,432}<1,-1|1,-3>(8,-4,2:8,32:8,D:8,S:8,F:8,(D^S^F):8,1,-173)"
     "[D:0..255,S:0..255,F:0..255]", false,
     {kD, {"S", F::Subdevice}, kF}, "Panasonic", kPanasonic},
    {IrProtocol::Kaseikyo, W::OtherVendor, 0, "Kaseikyo",
     "{37k,432}<1,-1|1,-3>(8,-4,M:8,N:8,X:4,D:4,S:8,F:8,E:4,C:4,1,-173)"
     "{X=((M^N)::4)^(M^N),chksum=D^S^F^(E*16),C=chksum::4^chksum}"
     "[D:0..15,S:0..255,F:0..255,E:0..15,M:0..255,N:0..255]", false,
     {{"D", F::Address, 0, 0xF}, {"S", F::Subdevice}, kF, {"E", F::Extra, 0, 0xF},
      {"M", F::Vendor}, {"N", F::Vendor, 8}}, "Kaseikyo", kKaseikyo},
    {IrProtocol::Sharp, W::BothHalves, 0, "Sharp", kSharpIrp, false,
     {{"D", F::Address, 0, 0x1F}, kF}, "Sharp", kDeviceFunction},
    {IrProtocol::Sharp, W::FirstHalf, 0, "Sharp", kSharpFirstIrp, false,
     {{"D", F::Address, 0, 0x1F}, kF}, "Sharp", kDeviceFunction},
    {IrProtocol::Sharp, W::SecondHalf, 0, "Sharp", kSharpSecondIrp, false,
     {{"D", F::Address, 0, 0x1F}, kF}, "Sharp", kDeviceFunction},
    {IrProtocol::Denon, W::BothHalves, 0, "Denon", kDenonIrp, false,
     {{"D", F::Address, 0, 0x1F}, kF}, "Denon", kDeviceFunction},
    {IrProtocol::Denon, W::FirstHalf, 0, "Denon", kDenonFirstIrp, false,
     {{"D", F::Address, 0, 0x1F}, kF}, "Denon", kDeviceFunction},
    {IrProtocol::Denon, W::SecondHalf, 0, "Denon", kDenonSecondIrp, false,
     {{"D", F::Address, 0, 0x1F}, kF}, "Denon", kDeviceFunction},
    {IrProtocol::Rc5, W::Rc5x, 0, "RC5", kRc5Irp, false,
     {{"D", F::Address, 0, 0x1F}, {"F", F::Command, 0, 0x7F}, kT}, "RC5X", kRc5},
    {IrProtocol::Rc5, W::Always, 0, "RC5", kRc5Irp, false,
     {{"D", F::Address, 0, 0x1F}, {"F", F::Command, 0, 0x7F}, kT}, "RC5", kRc5},
    {IrProtocol::Rc6, W::Mode0, 0, "RC6",
     "{36k,16p,msb}<-1,1|1,-1>(6,-2,1:1,0:3,<-2,2|2,-2>(T:1),D:8,F:8,^106667u)"
     "[D:0..255,F:0..255,T:0..1]", false,
     {kD, kF, kT}, "RC6", kRc6},
    // Media Center remotes: customer 0x800F, the toggle in the information field.
    {IrProtocol::Rc6, W::Mce, 0, "MCE",
     "{36k,16p,msb}<-1,1|1,-1>(6,-2,1:1,6:3,<-2,2|2,-2>(0:1),OEM1:8,S:8,T:1,D:7,F:8,^106667u){OEM1=128}"
     "[D:0..127,S:0..255,F:0..255,T:0..1]", false,
     {{"D", F::Address, 0, 0x7F}, {"S", F::Vendor}, kF, kT}, "RC6A", kRc6a},
    {IrProtocol::Rc6, W::Customer16, 0, "RC6-M-32",
     "{36k,16p,msb}<-1,1|1,-1>(6,-2,1:1,M:3,<-2,2|2,-2>(T:1),OEM1:8,OEM2:8,D:8,F:8,^106667u)"
     "[OEM1:0..255,OEM2:0..255,D:0..255,F:0..255,M:0..7,T:0..1]", false,
     {{"OEM1", F::Vendor, 8}, {"OEM2", F::Vendor}, kD, kF, kM, kT}, "RC6A", kRc6a},
    {IrProtocol::Rc6, W::Customer8, 0, "RC6-M-24",
     "{36k,16p,msb}<-1,1|1,-1>(6,-2,1:1,M:3,<-2,2|2,-2>(T:1),D:8,S:8,F:8,^106667u)"
     "[D:0..255,S:0..255,F:0..255,M:0..7,T:0..1]", false,
     {{"D", F::Vendor}, {"S", F::Address}, kF, kM, kT}, "RC6A", kRc6a},
    {IrProtocol::Sirc, W::Always, 12, "Sony12", kSonyIrp12, false,
     {{"D", F::Address, 0, 0x1F}, {"F", F::Command, 0, 0x7F}}, "SIRC12", kDeviceFunction},
    {IrProtocol::Sirc, W::Always, 15, "Sony15", kSonyIrp15, false,
     {kD, {"F", F::Command, 0, 0x7F}}, "SIRC15", kDeviceFunction},
    {IrProtocol::Sirc, W::Always, 20, "Sony20", kSonyIrp20, false,
     {{"D", F::Address, 0, 0x1F}, {"S", F::Address, 5}, {"F", F::Command, 0, 0x7F}}, "SIRC20",
     kSirc20},
    {IrProtocol::Rca, W::Always, 0, "RCA",
     "{56k,500,msb}<1,-2|1,-4>(8,-8,D:4,F:8,~D:4,~F:8,1,-16)[D:0..15,F:0..255]", false,
     {{"D", F::Address, 0, 0xF}, kF}, "RCA", kDeviceFunction},
    {IrProtocol::Sanyo, W::Repeat, 0, "Aiwa", kSanyoIrp, true,
     {kD, {"S", F::Address, 8, 0x1F}, kF}, "Sanyo", kDeviceFunction},
    {IrProtocol::Sanyo, W::Always, 0, "Aiwa", kSanyoIrp, false,
     {kD, {"S", F::Address, 8, 0x1F}, kF}, "Sanyo", kDeviceFunction},
};
// clang-format on

// RC-5's six command bits; RC-5X sends a seventh.
constexpr uint32_t kRc5CommandMask = 0x3F;
// A customer code whose first bit is set is 16 bits long, else 8.
constexpr uint32_t kRc6LongCustomer = 0x8000;
// The high byte of Media Center's customer code, fixed by its description; S is the low byte.
constexpr uint32_t kMceCustomerHigh = ir::kRc6MceCustomer & ~0xFFu;
// Media Center's mode (RC-6A's), fixed by its description.
constexpr int kMceMode = 6;

bool holds(IrVariantWhen when, const IrFrame& f) {
    switch (when) {
    case W::Always:
        return true;
    case W::NotExtended:
        return !f.extended;
    case W::Extended:
        return f.extended;
    case W::Repeat:
        return f.repeat;
    case W::Rc5x:
        return f.command > kRc5CommandMask;
    case W::BothHalves:
        return f.half == IrPairHalf::Both;
    case W::FirstHalf:
        return f.half == IrPairHalf::FirstOnly;
    case W::SecondHalf:
        return f.half == IrPairHalf::SecondOnly;
    case W::Panasonic:
        return f.vendor == kPanasonicVendor;
    case W::OtherVendor:
        return f.vendor != kPanasonicVendor;
    case W::Mode0:
        return f.mode == 0;
    case W::Mce:
        return f.mode != 0 && f.vendor == ir::kRc6MceCustomer;
    case W::Customer16:
        return f.mode != 0 && (f.vendor & kRc6LongCustomer) != 0;
    case W::Customer8:
        return f.mode != 0 && (f.vendor & kRc6LongCustomer) == 0;
    }
    return false;
}

int64_t parameterOf(const IrParameterField& p, const IrFrame& f) {
    const uint32_t v = frameField(f, p.field) >> p.shift & p.mask;
    return p.inverted ? ~v & p.mask : v;
}

// What a bitfield of a description's frame is to the reader of its data bits.
enum class Role {
    Unsent,  // sent in another part of the IRP
    Fixed,   // a constant: the variant's mark
    Reads,   // the first to send (some of) a parameter's bits
    Repeats, // a parameter's bits again (complemented ...): a check
    Checks,  // an expression of parameters: a check
};

struct LaidField {
    Role role = Role::Unsent;
    std::size_t parameter = 0; // Reads and Repeats: the parameter's index
    int64_t fresh = 0;         // Reads: the parameter bits it gives
};

// The most bitfields and parameters a description's frame may have to be read.
constexpr std::size_t kMostFields = 16;
constexpr std::size_t kMostParameters = 8;
constexpr std::size_t kNoParameter = SIZE_MAX;

// A description's frame as data bits: for each data bit in the order sent, the bitfield and the
// bit of its value it sends; each bitfield's role; the parameters sent, and where each of the
// description's parameters is among them.
struct Layout {
    std::optional<irp::Flat> flat; // none when the frame cannot be read this way
    std::vector<std::pair<int, int>> bits;
    std::vector<LaidField> fields;
    std::vector<std::string> parameters;
    std::array<std::size_t, kIrMaxParameters> ofDescription{};
};

std::size_t indexOf(const IrFamilyProtocol& description) {
    return static_cast<std::size_t>(&description - kDescriptions);
}

int64_t widthMask(int width) {
    return width >= 63 ? INT64_MAX : (int64_t{1} << width) - 1;
}

int64_t reversed(int64_t value, int width) {
    int64_t r = 0;
    for (int b = 0; b < width; ++b) {
        r |= (value >> b & 1) << (width - 1 - b);
    }
    return r;
}

// A parameter's bits as a bitfield of it sends them.
int64_t sentOf(const irp::FlatField& field, int64_t parameter) {
    const int64_t v =
        ((field.complement ? ~parameter : parameter) >> field.shift) & widthMask(field.width);
    return field.reverse ? reversed(v, field.width) : v;
}

// The parameter bits a bitfield of it sends (from its shift on), from its value as sent.
int64_t unsent(const irp::FlatField& field, int64_t value) {
    value = field.reverse ? reversed(value, field.width) : value;
    return field.complement ? ~value & widthMask(field.width) : value;
}

Layout layOut(const IrFamilyProtocol& d) {
    Layout layout;
    const irp::Protocol& protocol = familyIrp(d);
    irp::Flattened flattened = irp::flatten(protocol, {});
    if (!flattened.flat || flattened.flat->fields.size() > kMostFields) {
        return layout;
    }
    const irp::Flat& flat = *flattened.flat;
    for (const irp::FlatElement& e : flat.parts[d.repeatPart ? irp::Repeat : irp::Intro]) {
        if (e.kind == irp::FlatElement::Kind::Symbol) {
            layout.bits.insert(layout.bits.end(), e.bits.begin(), e.bits.end());
        }
    }
    layout.fields.assign(flat.fields.size(), {});
    for (const auto& [field, bit] : layout.bits) {
        layout.fields[static_cast<std::size_t>(field)].role = Role::Checks;
    }
    std::vector<int64_t> known; // by parameter: the bits read so far
    for (std::size_t i = 0; i < flat.fields.size(); ++i) {
        const irp::FlatField& f = flat.fields[i];
        LaidField& laid = layout.fields[i];
        if (laid.role == Role::Unsent) {
            continue;
        }
        if (f.constant) {
            laid.role = Role::Fixed;
            continue;
        }
        if (f.expr->kind != irp::Expr::Kind::Name || protocol.parameter(f.expr->name) == nullptr) {
            continue; // an expression of parameters, or a definition
        }
        const auto at = std::find(layout.parameters.begin(), layout.parameters.end(), f.expr->name);
        laid.parameter = static_cast<std::size_t>(at - layout.parameters.begin());
        if (at == layout.parameters.end()) {
            layout.parameters.push_back(f.expr->name);
            known.push_back(0);
        }
        laid.fresh = widthMask(f.width) << f.shift & ~known[laid.parameter];
        laid.role = laid.fresh != 0 ? Role::Reads : Role::Repeats;
        known[laid.parameter] |= laid.fresh;
    }
    if (layout.parameters.size() > kMostParameters) {
        return layout;
    }
    for (std::size_t k = 0; k < kIrMaxParameters; ++k) {
        const char* name = d.parameters[k].name;
        const auto at = name == nullptr ? layout.parameters.end()
                                        : std::find(layout.parameters.begin(),
                                                    layout.parameters.end(), std::string(name));
        layout.ofDescription[k] = at == layout.parameters.end()
                                      ? kNoParameter
                                      : static_cast<std::size_t>(at - layout.parameters.begin());
    }
    layout.flat = std::move(flattened.flat);
    return layout;
}

const Layout& layoutOf(const IrFamilyProtocol& description) {
    static const std::vector<Layout> layouts = [] {
        std::vector<Layout> out;
        for (const IrFamilyProtocol& d : kDescriptions) {
            out.push_back(layOut(d));
        }
        return out;
    }();
    return layouts[indexOf(description)];
}

// What a variant's description tells of a frame besides its parameters: NEC's 16-bit address,
// Panasonic's vendor code (sent as fixed bits), a Sharp or Denon frame without its partner,
// Media Center's customer code.
void giveVariant(IrVariantWhen when, IrFrame& frame) {
    if (when == W::Extended) {
        frame.extended = true;
    } else if (when == W::Panasonic) {
        frame.vendor = kPanasonicVendor;
    } else if (when == W::FirstHalf) {
        frame.half = IrPairHalf::FirstOnly;
    } else if (when == W::SecondHalf) {
        frame.half = IrPairHalf::SecondOnly;
    } else if (when == W::Mce) {
        frame.mode = kMceMode;
        frame.vendor |= kMceCustomerHigh; // OEM1, the customer code's high byte
    }
}

constexpr std::size_t kIrFields = static_cast<std::size_t>(IrField::Toggle) + 1;

// The frame the description reads from the data bits, when its fixed bits hold and its
// parameters give each frame field one value.
std::optional<IrFrame> frameOfBits(const IrFamilyProtocol& description, uint64_t data) {
    const Layout& layout = layoutOf(description);
    if (!layout.flat) {
        return std::nullopt;
    }
    const irp::Flat& flat = *layout.flat;
    const std::size_t n = layout.bits.size();
    std::array<int64_t, kMostFields> sent{};
    for (std::size_t k = 0; k < n; ++k) {
        const auto [field, bit] = layout.bits[k];
        const uint64_t b = data >> (flat.msbFirst ? n - 1 - k : k) & 1;
        sent[static_cast<std::size_t>(field)] |= static_cast<int64_t>(b) << bit;
    }
    // Each parameter from the first bitfield that sends its bits.
    std::array<int64_t, kMostParameters> values{};
    for (std::size_t i = 0; i < layout.fields.size(); ++i) {
        const LaidField& laid = layout.fields[i];
        const irp::FlatField& f = flat.fields[i];
        if (laid.role == Role::Fixed && *f.constant != sent[i]) {
            return std::nullopt;
        }
        if (laid.role == Role::Reads) {
            int64_t& value = values[laid.parameter];
            value = (value & ~laid.fresh) | (unsent(f, sent[i]) << f.shift & laid.fresh);
        }
    }
    // The frame's fields from the parameters.
    std::array<uint32_t, kIrFields> fields{};
    std::array<uint32_t, kIrFields> set{};
    for (std::size_t k = 0; k < kIrMaxParameters; ++k) {
        const IrParameterField& p = description.parameters[k];
        if (layout.ofDescription[k] == kNoParameter) {
            continue;
        }
        uint32_t v = static_cast<uint32_t>(values[layout.ofDescription[k]]) & p.mask;
        v = p.inverted ? ~v & p.mask : v;
        const auto at = static_cast<std::size_t>(p.field);
        const uint32_t where = p.mask << p.shift;
        if (((fields[at] ^ v << p.shift) & set[at] & where) != 0) {
            return std::nullopt;
        }
        fields[at] |= v << p.shift;
        set[at] |= where;
    }
    IrFrame frame;
    frame.protocol = description.protocol;
    frame.received = data;
    frame.bits = static_cast<int>(n);
    frame.address = fields[static_cast<std::size_t>(F::Address)];
    frame.command = fields[static_cast<std::size_t>(F::Command)];
    frame.subdevice = fields[static_cast<std::size_t>(F::Subdevice)];
    frame.vendor = fields[static_cast<std::size_t>(F::Vendor)];
    frame.extra = fields[static_cast<std::size_t>(F::Extra)];
    frame.mode = static_cast<int>(fields[static_cast<std::size_t>(F::Mode)]);
    frame.toggle = fields[static_cast<std::size_t>(F::Toggle)] != 0;
    giveVariant(description.when, frame);
    // The check: every other bitfield that depends on the parameters.
    bool checked = false;
    bool holds = true;
    std::optional<irp::Values> named; // for the expressions, made when one is met
    for (std::size_t i = 0; i < layout.fields.size() && holds; ++i) {
        const LaidField& laid = layout.fields[i];
        if (laid.role == Role::Repeats) {
            checked = true;
            holds = sentOf(flat.fields[i], values[laid.parameter]) == sent[i];
        } else if (laid.role == Role::Checks) {
            if (!named) {
                named.emplace();
                for (std::size_t k = 0; k < layout.parameters.size(); ++k) {
                    (*named)[layout.parameters[k]] = values[k];
                }
            }
            checked = true;
            holds = irp::fieldValue(flat.fields[i], *named, familyIrp(description)) == sent[i];
        }
    }
    frame.check = !checked ? IrCheck::NotApplicable : holds ? IrCheck::Passed : IrCheck::Failed;
    return frame;
}

} // namespace

uint32_t frameField(const IrFrame& f, IrField field) {
    switch (field) {
    case F::Address:
        return f.address;
    case F::Command:
        return f.command;
    case F::Subdevice:
        return f.subdevice;
    case F::Vendor:
        return f.vendor;
    case F::Extra:
        return f.extra;
    case F::Mode:
        return static_cast<uint32_t>(f.mode);
    case F::Toggle:
        return f.toggle ? 1 : 0;
    }
    return 0;
}

int familyDataBits(const IrFamilyProtocol& description) {
    return static_cast<int>(layoutOf(description).bits.size());
}

IrFrame familyFrameOfBits(IrProtocol protocol, uint64_t bits, int count) {
    for (const IrFamilyProtocol& d : kDescriptions) {
        if (d.protocol == protocol && !d.repeatPart && familyDataBits(d) == count) {
            // A description reads only the frames it describes (RC-6A's of another customer
            // than Media Center's are the 16-bit customers').
            std::optional<IrFrame> frame = frameOfBits(d, bits);
            if (frame && familyProtocolOf(*frame) == &d) {
                return *frame;
            }
        }
    }
    IrFrame frame;
    frame.protocol = protocol;
    frame.received = bits;
    return frame;
}

std::optional<irp::Signal> familySignalOfBits(const IrFamilyProtocol& description, uint64_t bits,
                                              irp::Joined joined) {
    const Layout& layout = layoutOf(description);
    if (!layout.flat) {
        return std::nullopt;
    }
    const irp::Flat& flat = *layout.flat;
    const irp::Part part = description.repeatPart ? irp::Repeat : irp::Intro;
    irp::Signal signal;
    signal.frequencyHz = familyIrp(description).frequencyHz;
    std::vector<double>& out = part == irp::Repeat ? signal.repeat : signal.intro;
    irp::DurationSink sink{&out, joined == irp::Joined::Runs};
    const std::vector<irp::FlatElement>& elements = flat.parts[part];
    const bool toExtent =
        !elements.empty() && elements.back().kind == irp::FlatElement::Kind::Extent;
    (part == irp::Repeat ? signal.repeatToExtent : signal.introToExtent) = toExtent;
    const std::size_t n = layout.bits.size();
    std::size_t sent = 0; // the data bits sent so far
    double elapsed = 0;
    for (const irp::FlatElement& e : elements) {
        switch (e.kind) {
        case irp::FlatElement::Kind::Duration:
            sink.add(e.us);
            elapsed += std::abs(e.us);
            break;
        case irp::FlatElement::Kind::Extent:
            sink.add(-std::max(0.0, e.us - elapsed));
            elapsed = 0;
            break;
        case irp::FlatElement::Kind::Symbol: {
            std::size_t symbol = 0;
            for (std::size_t k = 0; k < e.bits.size(); ++k, ++sent) {
                const uint64_t b = bits >> (flat.msbFirst ? n - 1 - sent : sent) & 1;
                symbol |= static_cast<std::size_t>(b) << irp::symbolBit(flat, k, e.bits.size());
            }
            for (const double us :
                 flat.bitspecs[static_cast<std::size_t>(e.bitspec)].symbols[symbol]) {
                sink.add(us);
                elapsed += std::abs(us);
            }
            break;
        }
        }
    }
    return signal;
}

std::span<const IrFamilyProtocol> familyProtocols() {
    return kDescriptions;
}

const IrFamilyProtocol* familyProtocolOf(const IrFrame& frame) {
    for (const IrFamilyProtocol& d : kDescriptions) {
        if (d.protocol == frame.protocol && (d.bits == 0 || d.bits == frame.bits) &&
            holds(d.when, frame)) {
            return &d;
        }
    }
    return nullptr;
}

const irp::Protocol& familyIrp(const IrFamilyProtocol& description) {
    static const std::vector<irp::Protocol> parsed = [] {
        std::vector<irp::Protocol> out;
        for (const IrFamilyProtocol& d : kDescriptions) {
            irp::Parsed p = irp::parse(QString::fromLatin1(d.irp));
            // The descriptions are fixed text: the test of the families parses every one.
            out.push_back(p.protocol ? std::move(*p.protocol) : irp::Protocol{});
        }
        return out;
    }();
    return parsed[indexOf(description)];
}

irp::Values familyValues(const IrFamilyProtocol& description, const IrFrame& frame) {
    irp::Values values;
    for (const IrParameterField& p : description.parameters) {
        if (p.name != nullptr) {
            values[p.name] = parameterOf(p, frame);
        }
    }
    return values;
}

IrNamedProtocol familyNamed(const IrFrame& frame) {
    // The names as QStrings, made once: a decoded frame shares them instead of copying.
    struct Names {
        QString protocol;
        std::vector<QString> parameters;
    };
    static const std::vector<Names> names = [] {
        std::vector<Names> out;
        for (const IrFamilyProtocol& d : kDescriptions) {
            Names n{QString::fromLatin1(d.name), {}};
            for (const IrParameterField& p : d.parameters) {
                if (p.name != nullptr) {
                    n.parameters.push_back(QString::fromLatin1(p.name));
                }
            }
            out.push_back(std::move(n));
        }
        return out;
    }();
    IrNamedProtocol named;
    if (frame.check == IrCheck::Failed || !frame.keyKnown) {
        return named;
    }
    const IrFamilyProtocol* d = familyProtocolOf(frame);
    if (d == nullptr) {
        return named;
    }
    const Names& n = names[static_cast<std::size_t>(d - kDescriptions)];
    named.name = n.protocol;
    named.parameters.reserve(n.parameters.size());
    for (std::size_t k = 0; k < n.parameters.size(); ++k) {
        named.parameters.emplace_back(n.parameters[k], parameterOf(d->parameters[k], frame));
    }
    return named;
}

QString familyParameterText(const IrNamedProtocol& named) {
    QStringList words;
    for (const auto& [name, value] : named.parameters) {
        words << name + QStringLiteral("=0x") + QString::number(value, 16).rightJustified(2, u'0');
    }
    return words.join(QLatin1Char(' '));
}

} // namespace velmoran::infrared
