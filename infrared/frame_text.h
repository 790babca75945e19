#pragma once

// The texts of one decoded frame, as velmoran-ird decode prints them and the window's frame
// list shows them: one function so that both always agree.

#include <QString>

#include "infrared/ir_decoder.h"

namespace velmoran::infrared {

struct FrameText {
    QString protocol; // "NEC", "RC5", "SIRC12", "Panasonic", "Unknown" ...
    QString address;  // hex ("0x04", NEC's extended and SIRC's "0x0104"), "-" when not known
    QString command;  // hex ("0x08"), "-" when not known
    QString check;    // "ok", "FAILED" or "-" where the protocol carries no check
    // Space-separated: the frame's fields by the protocol's own names ("device=0x04
    // function=0x08", "system=0x05 command=0x35 toggle=1" ...), then extras
    // ("extended-address", "repeat", "repeats-no-frame"); for an unknown frame its pulse count,
    // length, most common mark and space and its raw list ("raw=+9000,-4500,+560,...").
    QString notes;
};

FrameText frameText(const IrFrame& frame);

} // namespace velmoran::infrared
