#pragma once

// The texts of one decoded frame, as velmoran-ird decode prints them and the window's frame
// list shows them: one function so that both always agree.

#include <QString>

#include "infrared/ir_decoder.h"

namespace velmoran::infrared {

struct FrameText {
    // "NEC", "RC5", "SIRC12", "Panasonic", "Unknown" ...; an unknown frame whose coding was
    // inferred: "未知(脉冲间隔48位)", "未知(脉冲宽度12位)", "未知(双相14位)", "未知(四符号24位)"
    // (one word each).
    QString protocol;
    // hex ("0x04", NEC's extended and SIRC's "0x0104"), "-" when not known; an inferred frame's
    // bits as a number whose least significant bit was sent first ("LSB=0x2d").
    QString address;
    // hex ("0x08"), "-" when not known; an inferred frame's bits, the first sent the most
    // significant ("MSB=0xb4").
    QString command;
    QString check; // "ok", "FAILED" or "-" where the protocol carries no check
    // Space-separated: the frame's fields by the protocol's own names ("device=0x04
    // function=0x08", "system=0x05 command=0x35 toggle=1" ...), then extras
    // ("extended-address", "repeat", "repeats-no-frame"; a failed check's whole code as received,
    // "received=0xef11fc03", the first bit sent the least significant); for an unknown frame its
    // pulse count, length, most common mark and space, the inferred timings ("hdr=+9000,-4500
    // 0=+560,-560 1=+560,-1690 trail=+560 gap=-40000 bits=32") and its raw list
    // ("raw=+9000,-4500,...").
    QString notes;
};

FrameText frameText(const IrFrame& frame);

// An inferred coding's name, "未知(脉冲间隔48位)", "未知(脉冲宽度12位)", "未知(双相14位)" (one
// word, as every column of velmoran-ird decode is), and its timings, "hdr=+9000,-4500
// 0=+560,-560 1=+560,-1690 trail=+560".
QString codingText(const IrAnalysis& analysis);
QString codingTimings(const IrAnalysis& analysis);

} // namespace velmoran::infrared
