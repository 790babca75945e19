#pragma once

// Infrared remote-control frames in a channel that carries an infrared receiver's output
// (active low: the line is low while the carrier is received). Understands NEC (with its
// repeat codes and the extended 16-bit address), RC-5 (with the RC-5X seventh command bit)
// and Sony SIRC (12, 15 and 20 bits). Tolerates the sampling's ±1 sample at 40.1474 µs and a
// few tens of microseconds of timing error per edge.

#include <QString>

#include <cstdint>
#include <vector>

#include "interchange/channel_levels.h"

namespace velmoran::interchange {

enum class IrProtocol { Nec, NecRepeat, Rc5, Sirc };

// Whether a frame's inverted bytes match its plain ones (NEC); other protocols carry none.
enum class IrCheck { NotApplicable, Passed, Failed };

struct IrFrame {
    int channel = 1;
    int64_t startSample = 0; // the frame's first edge
    IrProtocol protocol = IrProtocol::Nec;
    uint32_t address = 0;
    uint32_t command = 0;
    // False for a NEC repeat code that follows no frame: it repeats a key that is not known.
    bool keyKnown = true;
    IrCheck check = IrCheck::NotApplicable;
    int bits = 0;          // data bits of the frame (NEC 32, RC-5 14, SIRC 12/15/20, repeat 0)
    bool extended = false; // NEC whose second byte is not the inverted address: 16-bit address
    bool toggle = false;   // RC-5 toggle bit
};

// Every frame found in one channel, in time order.
std::vector<IrFrame> decodeInfrared(const ChannelLevels& line, int channel);

// "NEC", "NEC-repeat", "RC5", "SIRC12" ...
QString protocolName(const IrFrame& frame);

} // namespace velmoran::interchange
