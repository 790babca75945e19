#include "acquisition/block_receiver.h"

#include <algorithm>

#include "core/number_rules.h"
#include "core/texts.h"

namespace velmoran {

double targetChannel(const QString& text) {
    return vb::Int(vb::Val(text.toStdString()));
}

BlockOutcome storeBlock(ChannelBuffer* buffer, int32_t& recvCount, std::span<const uint8_t> block) {
    if (block.size() != static_cast<std::size_t>(kBlockBytes) || recvCount < 0 ||
        recvCount > kCaptureBytes - kBlockBytes) {
        return BlockOutcome::Rejected;
    }
    BlockOutcome outcome = BlockOutcome::Counted;
    if (buffer != nullptr) {
        std::copy(block.begin(), block.end(), buffer->begin() + recvCount);
        outcome = BlockOutcome::Stored;
    }
    recvCount += kBlockBytes;
    return outcome;
}

bool captureComplete(int32_t recvCount) {
    return recvCount > kCompletionThreshold;
}

QString captureDoneText(int16_t elapsedTicks) {
    const double seconds = static_cast<double>(elapsedTicks) / kTicksPerSecond;
    return QString::fromUtf8(texts::kCaptureDonePrefix) +
           QString::fromStdString(vb::signedNumberText(seconds)) +
           QString::fromUtf8(texts::kCaptureDoneSuffix);
}

} // namespace velmoran
