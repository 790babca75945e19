#pragma once

// The rate and progress monitor's arithmetic, one tick every 200 ms while a capture runs.

#include <QString>

#include <cstdint>

namespace velmoran {

// The elapsed-tick count after one tick: counted only once a block has been stored, and held at
// 32,767 rather than overflowing (a capture stalled for about 109 minutes).
int16_t countTick(int16_t elapsedTicks, int32_t recvCount);

// Line4's pen width in pixels: CInt(Int(recvCount / 63488 * scaleWidth * 2) + 1). The pen is
// centred on the frame's left edge, so half of it covers the stored fraction of the frame.
int16_t progressBarWidth(int32_t recvCount, int scaleWidth);

// The percentage stored, rounded down, followed by "%" ("50%" at 31,744 bytes).
QString percentText(int32_t recvCount);

// The bytes that arrived since the previous tick, as bits per second with "Bit/s" directly
// behind (623 bytes give "24920Bit/s").
QString rateText(int32_t recvCount, int16_t waiting, int32_t lastCount);

// The arrived total that the next tick measures from: stored plus waiting bytes.
int32_t arrivedCount(int32_t recvCount, int16_t waiting);

} // namespace velmoran
