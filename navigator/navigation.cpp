#include "navigator/navigation.h"

#include "core/number_rules.h"

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
        int64_t first = columnFirstSample(c, width);
        const int64_t last = columnFirstSample(c + 1, width);
        // Wider than the capture has samples: a column still shows the sample it stands on.
        columns[static_cast<std::size_t>(c)] =
            levelsIn(buffer, first, std::max(last, std::min(first + 1, kOverviewSamples)));
    }
    return columns;
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

namespace {

// The zoom after one 放大: doubled, the largest zoom staying as it is.
int zoomedIn(int bitWidth) {
    return std::min(bitWidth, int{kZoomInCeiling}) * 2;
}

// The zoom after one 缩少: halved with the number rules' rounding, never below the smallest.
int zoomedOut(int bitWidth) {
    const int half = vb::CInt(bitWidth / 2.0);
    return half < kMinBitWidth ? int{kMinBitWidth} : half;
}

} // namespace

ZoomSteps zoomStepsToFit(int64_t frameSamples, double widthTwips, int bitWidth) {
    const auto fits = [&](int bw) {
        return static_cast<double>(frameSamples) * bw <= widthTwips * kFitShare;
    };
    ZoomSteps steps;
    while (!fits(bitWidth) && bitWidth > kMinBitWidth) {
        bitWidth = zoomedOut(bitWidth);
        ++steps.out;
    }
    while (zoomedIn(bitWidth) != bitWidth && fits(zoomedIn(bitWidth))) {
        bitWidth = zoomedIn(bitWidth);
        ++steps.in;
    }
    steps.bitWidth = bitWidth;
    return steps;
}

} // namespace velmoran::navigator
