#include "core/channel_levels.h"

#include <bit>
#include <charconv>
#include <iterator>

namespace velmoran {

namespace {
constexpr int64_t kUnitsPerMicrosecond = 10000; // units of 100 ps
} // namespace

ChannelLevels channelLevels(const ChannelBuffer& buffer) {
    ChannelLevels line;
    line.initialHigh = (buffer[0] & 0x80) != 0;
    bool level = line.initialHigh;
    for (int n = 0; n < kCaptureBytes; ++n) {
        const uint8_t byte = buffer[static_cast<std::size_t>(n)];
        const uint8_t same = level ? 0xFF : 0x00;
        if (byte == same) {
            continue; // the common case: eight samples at the level already held
        }
        // Bit k is set where sample k differs from the sample before it (bit 7 is the earliest).
        const auto before = static_cast<uint8_t>((byte >> 1) | (level ? 0x80 : 0x00));
        uint8_t flips = byte ^ before;
        while (flips != 0) {
            const int k = std::countl_zero(flips); // the earliest flip left in this byte
            line.edges.push_back(n * kSamplesPerByte + k);
            flips = static_cast<uint8_t>(flips & ~(0x80u >> k));
        }
        level = (byte & 1) != 0;
    }
    return line;
}

void appendSampleTimeUs(QByteArray& out, int64_t sample) {
    const int64_t units = sample * kSamplePeriod100ps;
    char buffer[32];
    char* end =
        std::to_chars(std::begin(buffer), std::end(buffer), units / kUnitsPerMicrosecond).ptr;
    int64_t fraction = units % kUnitsPerMicrosecond;
    if (fraction != 0) {
        *end++ = '.';
        for (int64_t digit = kUnitsPerMicrosecond / 10; fraction != 0; digit /= 10) {
            *end++ = static_cast<char>('0' + fraction / digit);
            fraction %= digit;
        }
    }
    out.append(buffer, end - buffer);
}

QString formatSampleTimeUs(int64_t sample) {
    QByteArray text;
    appendSampleTimeUs(text, sample);
    return QString::fromLatin1(text);
}

int64_t sampleTimeUsRounded(int64_t sample) {
    const int64_t units = sample * kSamplePeriod100ps;
    return (units + kUnitsPerMicrosecond / 2) / kUnitsPerMicrosecond;
}

ChannelSummary summarize(const ChannelLevels& line) {
    ChannelSummary s;
    s.edges = line.edges.size();
    int64_t previous = 0;
    bool level = line.initialHigh;
    for (std::size_t i = 0; i <= line.edges.size(); ++i) {
        const int64_t end = i < line.edges.size() ? line.edges[i] : line.samples;
        const int64_t length = end - previous;
        (level ? s.highSamples : s.lowSamples) += length;
        const bool bounded = i > 0 && i < line.edges.size();
        if (bounded && (!s.shortestPulse || length < *s.shortestPulse)) {
            s.shortestPulse = length;
            s.shortestPulseHigh = level;
        }
        previous = end;
        level = !level;
    }
    if (!line.edges.empty()) {
        s.firstEdge = line.edges.front();
        s.lastEdge = line.edges.back();
    }
    return s;
}

} // namespace velmoran
