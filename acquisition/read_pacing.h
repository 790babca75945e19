#pragma once

// When the serial control reads a line that sends blocks: widget-free arithmetic, so that the
// reading of a block takes a few wake-ups instead of one per burst of bytes.

#include <cstdint>

namespace velmoran {

// Bounds of the timed read's delay: soon enough that a line speeding up is noticed, late enough
// that a fast line is not read byte by byte.
inline constexpr int kMinReadDelayMs = 1;
inline constexpr int kMaxReadDelayMs = 400;
// The most bytes a read waits for before it takes what the kernel holds.
inline constexpr int64_t kFewestBytesRead = 255;
// The read is due a sixteenth after the block should be whole, so that the burst carrying its
// last bytes (a USB adapter hands them over every 16 ms) has come by then.
inline constexpr double kReadLateness = 17.0 / 16.0;
// The rate is trusted once the bytes have been coming this long.
inline constexpr int64_t kRateSpanMs = 20;
// Bytes taken from the kernel in one read; a read that took this many found the buffer full.
inline constexpr int64_t kDrainChunk = 4096;

// The fewest bytes a read takes from the kernel when `waiting` bytes wait for blocks of
// `threshold`: what the current block lacks, kFewestBytesRead at most; 1 without a threshold.
int64_t fewestBytesRead(int threshold, int64_t waiting);

// What the next read's delay depends on.
struct ReadPace {
    bool bytesSeen = false;    // a read has found bytes (the rate's clock runs)
    int64_t spanMs = 0;        // since then
    int64_t lastReadBytes = 0; // what the last read took
    int64_t bytesSince = 0;    // bytes arrived since then, the kernel's included
    int64_t lacking = 0;       // what the current block lacks, the kernel's bytes counted
};

// Milliseconds until the next read: while no rate is known, `idleDelayMs` (which doubles up to
// kMaxReadDelayMs for the read after), or at once after a read that found the kernel's buffer
// full; once it is, when the block should be whole at that rate plus a sixteenth, within
// kMinReadDelayMs ... kMaxReadDelayMs.
int nextReadDelayMs(const ReadPace& pace, int& idleDelayMs);

// How many timeouts of a timer that wakes the program anyway (next in `remainingMs`, then every
// `intervalMs`) to let pass before the read due in `delayMs` rides on the one after: the first
// timeout at or after the read is due.
int ticksBeforeRead(int delayMs, int remainingMs, int intervalMs);

} // namespace velmoran
