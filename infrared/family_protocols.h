#pragma once

// Each remote-control family the decoders know, as the protocol of the table
// (infrared/irp/protocols.irp) that describes it: its name there, its IRP with the nominal
// timings Velmoran sends, and which field of a decoded frame each of its parameters (D, S, F,
// T ...) is. Decoded family frames are named from it (IrFrame::named) without matching their
// durations again; the pulse-distance families' fields and check are read from their data bits
// by it, and the frame texts take the family's short name and the words of its fields from it.

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "infrared/ir_decoder.h"
#include "infrared/irp/irp.h"

namespace velmoran::infrared {

// The frame field a parameter is taken from.
enum class IrField { Address, Command, Subdevice, Vendor, Extra, Mode, Toggle };

// A parameter: (field >> shift) & mask, complemented within the mask when `inverted`.
struct IrParameterField {
    const char* name = nullptr; // nullptr ends the list
    IrField field = IrField::Address;
    int shift = 0;
    uint32_t mask = 0xFF;
    bool inverted = false;
};

// A frame field as the frame texts show it: "device=0x25", "vendor=0x2002", "toggle=1". The
// value is (field >> shift) & mask, written in hexadecimal with at least `digits` digits, or
// in decimal when `digits` is 0.
struct IrFieldText {
    const char* word;
    IrField field;
    int shift = 0;
    uint32_t mask = UINT32_MAX;
    int digits = 2;
};

// Which frames of a family a description covers.
enum class IrVariantWhen {
    Always,
    NotExtended, // NEC whose second byte is the inverted address
    Extended,    // NEC with a 16-bit address
    Repeat,      // NEC's repeat code, JVC's header-less frame, Sanyo's repeat code
    Rc5x,        // RC-5X: the command's seventh bit set
    BothHalves,  // Sharp and Denon: the pair
    FirstHalf,   // the first frame alone
    SecondHalf,  // the second frame alone
    Panasonic,   // Kaseikyo of vendor 0x2002
    OtherVendor, // Kaseikyo of any other vendor
    Mode0,       // RC-6 mode 0
    Mce,         // RC-6A of customer 0x800F
    Customer16,  // RC-6A with a 16-bit customer code
    Customer8,   // RC-6A with an 8-bit customer code
};

inline constexpr std::size_t kIrMaxParameters = 6;

struct IrFamilyProtocol {
    IrProtocol protocol;
    IrVariantWhen when;
    int bits;         // the frame's bit count it covers, 0 for any
    const char* name; // the table's name of the protocol
    // The protocol as the encoder sends it: the table's IRP with the family's nominal timings
    // (the table's own may differ by a few per cent, within what its decoder accepts).
    const char* irp;
    // The frame is the IRP's repeat part (else its intro).
    bool repeatPart;
    IrParameterField parameters[kIrMaxParameters]; // in the protocol's own order
    // The family's short name for such frames ("NEC", "RC5X", "SIRC12", "Panasonic", "RC6A").
    const char* label;
    // The frame's fields as its texts show them, in order.
    std::span<const IrFieldText> texts;
};

// Every description, one per family variant.
std::span<const IrFamilyProtocol> familyProtocols();

// The description of a decoded family frame; nullptr for an Unknown frame.
const IrFamilyProtocol* familyProtocolOf(const IrFrame& frame);

// A frame's field as a number (the toggle 0 or 1).
uint32_t frameField(const IrFrame& frame, IrField field);

// The number of data bits the description's frame sends (a Sharp or Denon pair's both halves).
int familyDataBits(const IrFamilyProtocol& description);

// The fields of a family frame from its data bits as read, the first sent the least
// significant (the most for a protocol sent most significant bit first), for the families whose
// decoders read the data bits alone (NEC, Samsung32, JVC, Kaseikyo, RCA, Sanyo, SIRC, a Sharp
// or Denon frame or pair: its second frame's bits above the first's; RC-5's and RC-6's bits
// from the start bit on): by the first description of the family's frames (not its repeats) of
// `count` bits whose fixed bits hold, whose parameters give each frame field one value and
// which describes the frame it reads. Each parameter comes from the
// first bitfield that sends its bits; every other bitfield that depends on parameters is the
// check (NotApplicable without one). Without such a description, no fields.
IrFrame familyFrameOfBits(IrProtocol protocol, uint64_t bits, int count);

// The description's frame sent with `bits`, the data bits as read (ordered as
// familyFrameOfBits takes them), in place of its bitfields: the part of the signal the frame is
// (its intro, or its repeat part), durations handed out as `joined` says. A frame whose check
// failed is sent so, as it was received. None when the description's frame cannot be read as
// data bits.
std::optional<irp::Signal> familySignalOfBits(const IrFamilyProtocol& description, uint64_t bits,
                                              irp::Joined joined);

// The description's IRP, parsed once.
const irp::Protocol& familyIrp(const IrFamilyProtocol& description);

// The frame's fields as the description's parameters.
irp::Values familyValues(const IrFamilyProtocol& description, const IrFrame& frame);

// The table's name and the parameters (in its order) of a family frame; empty for an Unknown
// frame, a frame whose check failed (its fields do not describe it) and a repeat code of an
// unknown key.
IrNamedProtocol familyNamed(const IrFrame& frame);

// "D=0x25 S=0xda F=0xeb": the parameters in hexadecimal.
QString familyParameterText(const IrNamedProtocol& named);

} // namespace velmoran::infrared
