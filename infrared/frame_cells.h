#pragma once

// Where a decoded frame's parts lie on the line, in samples: its leader and each bit with the
// value it carries, as the chart marks them.

#include <cstdint>
#include <vector>

#include "infrared/family_protocols.h"
#include "infrared/ir_decoder.h"
#include "infrared/irp/irp_match.h"

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

// The leader and the bits of `frame`, read by its protocol's description: a family frame's by
// its family's (infrared/family_protocols.h), a frame the protocol table named by the table's.
// Each bitfield bit sent is a cell over the symbol that sends it (pulse distance as a mark and
// the space after it, SIRC as a space and the mark after it, bi-phase as its two halves on a grid
// of units, a symbol of two bits shared out between them); the durations before the first bit
// are the leader. An unknown burst's cells follow its inferred coding; a burst whose coding is
// not known has none.
FrameCells frameCells(const IrFrame& frame);

// A family variant's description at Velmoran's nominal timings, prepared once; nullptr when it
// cannot be prepared.
const irp::CompiledProtocol* familyCompiled(const IrFamilyProtocol& description);

// The description a frame is read by: its family variant's (familyCompiled), else the protocol
// that named it (the user's own included), else the built-in table's protocol of that name;
// nullptr for an unknown burst.
const irp::CompiledProtocol* frameProtocol(const IrFrame& frame);

} // namespace velmoran::infrared
