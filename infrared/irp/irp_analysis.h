#pragma once

// An analysed unknown frame in IRP notation, so that its coding can be copied, shared or added
// to the user's protocols: "{38k,560}<1,-1|1,-3>(16,-8,A:32,1,^108m)[A:0..4294967295]". The
// frame's bits become parameters A, B, C ... of at most 32 bits each, the first sent the least
// significant.

#include <QString>

#include "infrared/ir_decoder.h"
#include "infrared/irp/irp.h"

namespace velmoran::infrared::irp {

// The IRP of the analysis' coding; empty when it found none or the frame is a repeat code.
QString irpOfAnalysis(const IrAnalysis& analysis);

// The values of A, B, C ... that make irpOfAnalysis' protocol send the analysed frame.
Values valuesOfAnalysis(const IrAnalysis& analysis);

} // namespace velmoran::infrared::irp
