// The infrared decoder over any line: the bytes are channel 1's first bytes (the rest low).
// Frames come in time order inside the capture, their durations alternate mark and space, and
// every frame has its texts.

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "infrared/frame_text.h"
#include "infrared/ir_decoder.h"

using namespace velmoran;
using namespace velmoran::infrared;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ChannelBuffer buffer{};
    std::copy_n(data, std::min<size_t>(size, kCaptureBytes), buffer.begin());
    const ChannelLevels line = channelLevels(buffer);
    for (const IrUnknownBursts unknown : {IrUnknownBursts::Omitted, IrUnknownBursts::Listed}) {
        int64_t previous = -1;
        for (const IrFrame& f : decodeInfrared(line, 1, unknown)) {
            if (f.startSample < previous || f.startSample < 0 || f.endSample < f.startSample ||
                f.endSample > line.samples || f.channel != 1) {
                std::abort();
            }
            previous = f.startSample;
            for (std::size_t i = 0; i < f.durationsUs.size(); ++i) {
                if ((f.durationsUs[i] > 0) != (i % 2 == 0)) {
                    std::abort(); // marks (positive) and spaces (negative) take turns
                }
            }
            const FrameText text = frameText(f);
            if (text.protocol.isEmpty() || text.address.isEmpty() || text.command.isEmpty() ||
                text.check.isEmpty()) {
                std::abort();
            }
            if (f.protocol == IrProtocol::Unknown) {
                const BurstSummary s = summarizeBurst(f);
                if (s.pulses <= 0 || s.durationUs < 0) {
                    std::abort();
                }
            }
        }
    }
    return 0;
}
