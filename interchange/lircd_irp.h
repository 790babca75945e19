#pragma once

// A protocol of the IRP table as LIRC's own encodings send it, where one can: a frame of an
// optional leader (mark, space), bits of a two-symbol bitspec and an optional trailing mark,
// closed by a space or an extent, and repeated whole, or followed while held by a leader-and-
// mark repeat code.
// - `<a,-b|c,-d>` (pulse distance, pulse width or both) is SPACE_ENC: header, zero, one,
//   ptrail; the constant fields before the first parameter bit are pre_data; an extent (`^`)
//   makes CONST_LENGTH with it as the gap; a repeat part of a leader and a mark the repeat line.
//   Bits of a space and a mark after a lone mark (SIRC as Velmoran sends it) are the same
//   marks and spaces seen from the lone mark on: header, bits of a mark and a space, no ptrail.
//   A repeat part that is the frame without its header is NO_HEAD_REP.
// - bi-phase `<1,-1|-1,1>` (either order) is RC5 (SHIFT_ENC): a leading constant bit that
//   starts with a space is LIRC's plead; with a second bitspec of double length (RC-6's trailer
//   bit) it is RC6 with those bits in rc6_mask.
// Anything else (an ending part, four symbols, marks between the fields, a repeat part of
// another shape, more than 64 bits) has no LIRC encoding here: raw codes.

#include <QString>

#include <optional>
#include <string>
#include <vector>

#include "infrared/irp/irp_match.h"
#include "infrared/remote_definition.h"

namespace velmoran::interchange {

struct LircIrpEncoding {
    // Flags, timings, bits, pre_data bits, gap, repeat, rc6_mask; no name, codes nor pre_data
    // value (each frame gives it).
    infrared::LircRemote remote;
    // Every bit LIRC sends after the header or plead, in the order sent: the bitfield of the
    // flattened protocol and the bit of its value.
    std::vector<std::pair<int, int>> bits;
    // Bi-phase: LIRC's bit is 1 for the symbol that starts with a space, which is the IRP's 0
    // when this is true.
    bool invert = false;
};

// How LIRC sends `protocol`; nothing when no encoding of LIRC's fits it.
std::optional<LircIrpEncoding> lircEncodingOf(const infrared::irp::CompiledProtocol& protocol);

// The bits of the code (pre_data not counted) that carry parameter `name` as they are, as a
// mask of the code: a toggle bit a description does not mark as kept between presses (T@).
uint64_t lircParameterMask(const LircIrpEncoding& encoding,
                           const infrared::irp::CompiledProtocol& protocol,
                           const std::string& name);

struct LircIrpCode {
    uint64_t preData = 0;
    uint64_t code = 0;
};

// The pre_data and code of the press with these parameters, a toggling parameter (T@) as at the
// first press; nothing when a parameter is missing.
std::optional<LircIrpCode> lircIrpCode(const LircIrpEncoding& encoding,
                                       const infrared::irp::CompiledProtocol& protocol,
                                       const std::vector<std::pair<QString, int64_t>>& parameters);

} // namespace velmoran::interchange
