#pragma once

// The coding of a burst no family claims, inferred from its durations the way one reads a
// remote by eye: a leader (a mark and a space longer than the rest), the marks and the spaces
// sorted into two or three lengths, then the scheme: pulse-distance (one mark length, two
// spaces), pulse-width (two mark lengths, one space), bi-phase (a unit and its double, the
// first half-bit a space or a mark) or four-symbol (one mark length, four spaces equally apart:
// two bits each), and from it the bits, the trailing pulse and the frame's length; a
// pulse-distance frame sent in parts keeps its separators.

#include <QString>

#include <cstdint>
#include <vector>

#include "infrared/ir_decoder.h"

namespace velmoran::infrared {

// The coding of one frame's durations (marks positive, spaces negative, first and last a
// mark); scheme None when no consistent structure explains every duration.
IrAnalysis analyseDurations(const std::vector<int32_t>& durationsUs);

// The durations read with the coding of another frame of the same remote (a frame whose own
// lengths cannot tell its coding: all its spaces alike, or a bi-phase frame of double lengths
// only); scheme None when they do not fit it.
IrAnalysis analyseAs(const std::vector<int32_t>& durationsUs, const IrAnalysis& like);

// The durations are a repeat code of the key `key` describes: a few pulses (at most two
// spaces) starting with its leader's mark.
bool isRepeatCode(const std::vector<int32_t>& durationsUs, const IrAnalysis& key);

// A burst's durations split where the line rests longer than six times its median space (and
// at least 5 ms): the frames it carries, each first to last mark.
std::vector<std::vector<int32_t>> splitFrames(const std::vector<int32_t>& durationsUs);

// One frame of a burst: `count` durations from `first` on, and its coding.
struct BurstFrame {
    std::size_t first = 0;
    std::size_t count = 0;
    IrAnalysis analysis;
};

// The frames a burst carries, found by their own coding: the burst whole when one coding
// explains it, else split where the line rests longer than six times its median space (and at
// least 5 ms), else at its longest spaces, the longest first: the spaces that end each frame
// after its trailing pulse (a held key's copies a few ms apart, a frame sent twice). Every
// frame shows one coding and bit count (a frame too uniform to tell its coding alone read
// with its neighbours', a short code after one starting with its leader its repeat code).
// Empty when no split explains every part.
std::vector<BurstFrame> analyseBurst(const std::vector<int32_t>& durationsUs);

// The marks (positive) and spaces (negative) an analysed frame is made of, with the inferred
// timings: what the frame would look like sent again.
std::vector<double> analysedDurations(const IrAnalysis& analysis);

// Two analyses describe the same coding (scheme and timings within tolerance), whatever bits.
bool sameStructure(const IrAnalysis& a, const IrAnalysis& b);

// The codings inferred in a channel's frames: one per structure, with its frames, its keys
// (distinct payloads) and its repeats (frames sent again unchanged, and repeat codes).
struct IrCoding {
    IrAnalysis like; // the first frame's
    int frames = 0;
    int keys = 0;
    int repeats = 0;
};
std::vector<IrCoding> codingsOf(const std::vector<IrFrame>& frames);

// The bits as a hex number, the first bit sent the least significant ("0x2d") or the most.
QString bitsHex(const std::vector<bool>& bits, bool lsbFirst);

// "bits 17–20, 33 differ" for frames of one structure, "" when all agree; "structures differ"
// when their structures or bit counts do not agree. Bit positions count from 1 in sending
// order.
QString differingBits(const std::vector<IrFrame>& frames);
// The same in the window's words: "第 17–20、33 位不同", "所选帧结构不同", "" when all agree.
QString differingBitsText(const std::vector<IrFrame>& frames);

} // namespace velmoran::infrared
