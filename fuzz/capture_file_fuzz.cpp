// The capture-file reader over any file: it takes at most 190,467 bytes, fills the rest of
// the three buffers with zeros, and its line of each channel agrees with the bytes.

#include <QFile>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "core/channel_levels.h"
#include "files/capture_file.h"

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
    // The line of each buffer flips exactly where its samples do; past the bytes the file
    // covered it stays low.
    for (std::size_t c = 0; c < std::size(buffers); ++c) {
        const ChannelBuffer& b = buffers[c];
        const ChannelLevels line = channelLevels(b);
        const std::size_t first = c * kChannelBytes;
        const std::size_t covered =
            size > first ? std::min<size_t>(size - first, kCaptureBytes) : 0;
        const auto coveredSamples = static_cast<int64_t>(covered) * kSamplesPerByte;
        bool high = line.initialHigh;
        std::size_t next = 0;
        for (int64_t s = 0; s < coveredSamples; ++s) {
            if (next < line.edges.size() && line.edges[next] == s) {
                high = !high;
                ++next;
            }
            if (sampleAt(b, static_cast<int>(s)) != high) {
                std::abort();
            }
        }
        const bool fallsToZeros = high && coveredSamples < line.samples;
        if (line.edges.size() - next != (fallsToZeros ? 1u : 0u) ||
            (fallsToZeros && line.edges[next] != coveredSamples)) {
            std::abort(); // past the file only the fall to the zeros of the missing bytes
        }
    }
    return 0;
}
