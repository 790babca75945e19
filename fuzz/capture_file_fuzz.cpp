// The capture-file reader over any file: it takes at most 190,467 bytes, fills the rest of
// the three buffers with zeros, and its line of each channel agrees with the bytes.

#include <QFile>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "files/capture_file.h"
#include "interchange/channel_levels.h"

using namespace velmoran;

namespace {

// One file per process, rewritten for every input.
const QString& scratchPath() {
    static const QString path = QStringLiteral("/tmp/velmoran-fuzz-capture-%1.ird").arg(::getpid());
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QFile file(scratchPath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size)) !=
            static_cast<qint64>(size)) {
        std::abort();
    }
    file.close();
    static ChannelBuffer buffers[kChannelCount];
    for (ChannelBuffer& b : buffers) {
        b.fill(0xA5); // whatever the buffers held before must not show through
    }
    const CaptureFileResult r = loadCaptureFile(scratchPath(), buffers[0], buffers[1], buffers[2]);
    const auto expected = static_cast<qint64>(std::min<size_t>(size, kCaptureFileBytes));
    if (!r.ok || r.bytesRead != expected) {
        std::abort();
    }
    for (std::size_t i = 0; i < static_cast<std::size_t>(kCaptureFileBytes); ++i) {
        const ChannelBuffer& b = buffers[i / kChannelBytes];
        const uint8_t got = b[i % kChannelBytes];
        if (got != (i < size ? data[i] : 0)) {
            std::abort();
        }
    }
    for (const ChannelBuffer& b : buffers) {
        const interchange::ChannelLevels line = interchange::channelLevels(b);
        bool high = line.initialHigh;
        std::size_t next = 0;
        for (int64_t s = 0; s < line.samples; ++s) {
            if (next < line.edges.size() && line.edges[next] == s) {
                high = !high;
                ++next;
            }
            if (sampleAt(b, static_cast<int>(s)) != high) {
                std::abort();
            }
        }
    }
    return 0;
}
