#include "navigator/navigation.h"

#include "core/number_rules.h"
#include "display/zoom.h"

#include <algorithm>
#include <cmath>

namespace velmoran::navigator {

namespace {

constexpr uint8_t kAllHigh = 0xFF;

// Levels found in samples [first, last) of `buffer`, a byte at a time where whole bytes fit.
uint8_t levelsIn(const ChannelBuffer& buffer, int64_t first, int64_t last) {
    uint8_t levels = 0;
    int64_t s = first;
    while (s < last && levels != kColumnBoth) {
        const int64_t byte = s / kSamplesPerByte;
        const int bitInByte = static_cast<int>(s % kSamplesPerByte);
        const int64_t byteEnd = (byte + 1) * kSamplesPerByte;
        const uint8_t value = buffer[static_cast<std::size_t>(byte)];
        if (bitInByte == 0 && byteEnd <= last) {
            if (value == 0) {
                levels |= kColumnLow;
            } else if (value == kAllHigh) {
                levels |= kColumnHigh;
            } else {
                levels |= kColumnBoth;
            }
            s = byteEnd;
            continue;
        }
        // A byte cut by the span's border: its samples one by one (earliest in bit 7).
        const int64_t stop = std::min(byteEnd, last);
        for (; s < stop; ++s) {
            const int bit = kSamplesPerByte - 1 - static_cast<int>(s % kSamplesPerByte);
            levels |= ((value >> bit) & 1) != 0 ? kColumnHigh : kColumnLow;
        }
    }
    return levels;
}

} // namespace

int64_t columnFirstSample(int column, int width) {
    return int64_t{column} * kOverviewSamples / width;
}

std::vector<uint8_t> overviewColumns(const ChannelBuffer& buffer, int width) {
    if (width < 1) {
        return {};
    }
    std::vector<uint8_t> columns(static_cast<std::size_t>(width));
    for (int c = 0; c < width; ++c) {
        columns[static_cast<std::size_t>(c)] = overviewColumn(buffer, c, width, kOverviewSamples);
    }
    return columns;
}

uint8_t overviewColumn(const ChannelBuffer& buffer, int column, int width, int64_t reached) {
    const int64_t first = columnFirstSample(column, width);
    // Wider than the capture has samples: a column still shows the sample it stands on.
    const int64_t last = std::min(
        std::max(columnFirstSample(column + 1, width), std::min(first + 1, kOverviewSamples)),
        reached);
    return first < last ? levelsIn(buffer, first, last) : 0;
}

int overviewColumnAt(int64_t sample, int width) {
    return static_cast<int>(std::clamp<int64_t>(sample * width / kOverviewSamples, 0, width));
}

int scrollValueAtFraction(double fraction, int scrollMax) {
    const double units = std::clamp(fraction, 0.0, 1.0) * static_cast<double>(kOverviewSamples) /
                         static_cast<double>(kSamplesPerScrollUnit);
    return std::clamp(static_cast<int>(std::lround(units)), 0, std::max(0, scrollMax));
}

int scrollValueForSample(int64_t sample, int64_t visibleSamples, int scrollMax) {
    const auto floorUnits = [](int64_t samples) {
        return samples >= 0 ? samples / kSamplesPerScrollUnit
                            : -((-samples + kSamplesPerScrollUnit - 1) / kSamplesPerScrollUnit);
    };
    int64_t units = floorUnits(sample - visibleSamples / kFrameLeadDivisor);
    // Zoomed in so far that a scroll unit is a large part of the chart: no lead at all, so that
    // the frame still starts in the left quarter.
    if (sample - units * kSamplesPerScrollUnit >= visibleSamples / kFrameZoneDivisor) {
        units = floorUnits(sample);
    }
    return static_cast<int>(std::clamp<int64_t>(units, 0, std::max(0, scrollMax)));
}

std::optional<std::size_t> nextFrame(const std::vector<int64_t>& starts, int value,
                                     int64_t visibleSamples, int scrollMax) {
    for (std::size_t i = 0; i < starts.size(); ++i) {
        if (scrollValueForSample(starts[i], visibleSamples, scrollMax) > value) {
            return i;
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> previousFrame(const std::vector<int64_t>& starts, int value,
                                         int64_t visibleSamples, int scrollMax) {
    for (std::size_t i = starts.size(); i-- > 0;) {
        if (scrollValueForSample(starts[i], visibleSamples, scrollMax) < value) {
            return i;
        }
    }
    return std::nullopt;
}

ZoomSteps zoomStepsToFit(int64_t frameSamples, double widthTwips, int bitWidth) {
    ZoomSteps steps;
    steps.bitWidth = zoomToFit(frameSamples, widthTwips, static_cast<int16_t>(bitWidth));
    auto bw = static_cast<int16_t>(bitWidth);
    while (bw > steps.bitWidth || (bw < steps.bitWidth && zoomedIn(bw) > steps.bitWidth)) {
        bw = zoomedOut(bw);
        ++steps.out;
    }
    while (bw < steps.bitWidth) {
        bw = zoomedIn(bw);
        ++steps.in;
    }
    return steps;
}

} // namespace velmoran::navigator
