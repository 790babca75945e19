#pragma once

// The texts of one decoded frame, as velmoran-ird decode prints them and the window's frame
// list shows them: one function so that both always agree.

#include <QString>

#include "interchange/ir_decoder.h"

namespace velmoran::interchange {

struct FrameText {
    QString protocol; // "NEC", "RC5", "SIRC12" ...
    QString address;  // hex ("0x04", NEC's extended and SIRC's "0x0104"), "-" when not known
    QString command;  // hex ("0x08"), "-" when not known
    QString check;    // "ok", "FAILED" or "-" where the protocol carries no check
    QString notes;    // comma-separated extras ("extended-address", "toggle=1" ...)
};

FrameText frameText(const IrFrame& frame);

} // namespace velmoran::interchange
