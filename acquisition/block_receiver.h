#pragma once

// The block receiver's bookkeeping: which buffer a capture goes to, storing one 1,024-byte block
// at the write position, the completion test and the completion text.

#include <QString>

#include <cstdint>
#include <span>

#include "core/channel_buffer.h"

namespace velmoran {

// The channel number a target text names: Int(Val(text)) (" 2.7" gives 2, "abc" gives 0).
double targetChannel(const QString& text);

// What storing one block did.
enum class BlockOutcome {
    Stored,   // copied into the buffer at the old write position; the position advanced
    Counted,  // no buffer selected: the position advanced, nothing copied
    Rejected, // not a whole block, or no room left: nothing copied, the position unchanged
};

// Copies one whole block into `buffer` (nullptr: none) at `recvCount` and advances `recvCount`
// by 1,024. A short block is never copied and never counted; nothing is written past byte 63487.
BlockOutcome storeBlock(ChannelBuffer* buffer, int32_t& recvCount, std::span<const uint8_t> block);

// True once the write position has passed 63486, which first happens after the 62nd block.
bool captureComplete(int32_t recvCount);

// The status text at completion: the captured duration, ElapsedTicks / 5 seconds, with a blank
// in front of the number (103 ticks give " 20.6").
QString captureDoneText(int16_t elapsedTicks);

} // namespace velmoran
