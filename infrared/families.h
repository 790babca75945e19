#pragma once

// The remote-control families the decoders know, by the names the help page gives them.

#include <array>

#include "infrared/ir_decoder.h"

namespace velmoran::infrared {

struct IrFamily {
    IrProtocol protocol;
    const char* name;
};

inline constexpr std::array<IrFamily, 11> kIrFamilies{{
    {IrProtocol::Nec, "NEC"},
    {IrProtocol::Samsung32, "Samsung32"},
    {IrProtocol::Jvc, "JVC"},
    {IrProtocol::Kaseikyo, "Kaseikyo / Panasonic"},
    {IrProtocol::Sharp, "Sharp"},
    {IrProtocol::Denon, "Denon"},
    {IrProtocol::Rc5, "RC-5 / RC-5X"},
    {IrProtocol::Rc6, "RC-6 / RC-6A"},
    {IrProtocol::Sirc, "SIRC 12/15/20"},
    {IrProtocol::Rca, "RCA"},
    {IrProtocol::Sanyo, "Sanyo (LC7461)"},
}};
// Every protocol but NEC's repeat code and Unknown is a family of its own: a protocol added to
// the decoders must be added here too.
static_assert(static_cast<std::size_t>(IrProtocol::Unknown) == kIrFamilies.size() + 1);

} // namespace velmoran::infrared
