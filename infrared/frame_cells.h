#pragma once

// Where a decoded frame's parts lie on the line, in samples: its leader and each bit with the
// value it carries, as the chart marks them.

#include <cstdint>
#include <vector>

#include "infrared/ir_decoder.h"

namespace velmoran::infrared {

struct FrameCell {
    int64_t start = 0; // samples, from the capture's start
    int64_t end = 0;
    bool value = false;
};

struct FrameCells {
    int64_t leaderStart = -1; // -1 when the frame has no leader
    int64_t leaderEnd = -1;
    std::vector<FrameCell> bits; // in the order sent
};

// The leader and the bits of `frame`: pulse-distance families bit by bit as a mark and the space
// after it (a long space is a 1), SIRC as a space and the mark after it (a long mark is a 1),
// RC-5 and RC-6 as their bi-phase cells, an unknown burst by its inferred coding, a frame the
// protocol table named by its description (each bitfield bit over the symbol that sends it);
// nothing for a burst whose coding is not known.
FrameCells frameCells(const IrFrame& frame);

} // namespace velmoran::infrared
