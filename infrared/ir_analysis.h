#pragma once

// The coding of a burst no family claims, inferred from its durations the way one reads a
// remote by eye: a leader (a mark and a space longer than the rest), the marks and the spaces
// sorted into two or three lengths, then the scheme: pulse-distance (one mark length, two
// spaces), pulse-width (two mark lengths, one space) or bi-phase (a unit and its double), and
// from it the bits, the trailing pulse and the frame's length.

#include <QString>

#include <cstdint>
#include <vector>

#include "infrared/ir_decoder.h"

namespace velmoran::infrared {

// The coding of one frame's durations (marks positive, spaces negative, first and last a
// mark); scheme None when no consistent structure explains every duration.
IrAnalysis analyseDurations(const std::vector<int32_t>& durationsUs);

// A frame's durations split where the line rests longer than thrice the frame's longest
// space inside a bit: the frames a burst carries, each first to last mark.
std::vector<std::vector<int32_t>> splitFrames(const std::vector<int32_t>& durationsUs);

// Two analyses describe the same coding (scheme and timings within tolerance), whatever bits.
bool sameStructure(const IrAnalysis& a, const IrAnalysis& b);

// The bits as a hex number, the first bit sent the least significant ("0x2d") or the most.
QString bitsHex(const std::vector<bool>& bits, bool lsbFirst);

// "bits 17–20, 33 differ" for frames of one structure, "" when all agree; "structures differ"
// when their structures or bit counts do not agree. Bit positions count from 1 in sending
// order.
QString differingBits(const std::vector<IrFrame>& frames);
// The same in the window's words: "第 17–20、33 位不同", "所选帧结构不同", "" when all agree.
QString differingBitsText(const std::vector<IrFrame>& frames);

} // namespace velmoran::infrared
