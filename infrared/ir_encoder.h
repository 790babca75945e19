#pragma once

// A frame's marks and spaces as its protocol sends them, with nominal timings: the inverse of
// the decoder. The Pronto and LIRC writers describe frames with it, and the generator of test
// captures sends them.

#include <cstdint>
#include <vector>

#include "infrared/ir_decoder.h"

namespace velmoran::infrared {

// One piece of a frame as its protocol defines it: a bit's half, a mark, a space. Neighbouring
// pieces of the same level join into one run on the line (Manchester halves, RC-6's trailer).
struct IrPiece {
    bool mark;
    double us;
};

// The pieces of a frame, from its first mark to its last, with nominal timings. An unknown
// frame gives its raw list. A Sharp or Denon frame gives both frames of the pair and the gap.
std::vector<IrPiece> irFramePieces(const IrFrame& frame);

// The same joined into runs: marks positive, spaces negative, first and last a mark.
std::vector<double> irFrameDurations(const IrFrame& frame);
std::vector<double> joinPieces(const std::vector<IrPiece>& pieces);

// The space that follows the frame before the protocol's next frame may start, in µs (from
// the protocol's repetition period where it has one).
double irFrameGapUs(const IrFrame& frame);

// The protocol's customary carrier frequency in Hz (38 kHz for an unknown frame).
int irCarrierHz(const IrFrame& frame);

} // namespace velmoran::infrared
