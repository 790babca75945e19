#include "display/zoom.h"

#include <algorithm>

#include "core/constants.h"
#include "core/number_rules.h"

namespace velmoran {

int16_t zoomedIn(int16_t bitWidth) {
    return static_cast<int16_t>(std::min(bitWidth, kZoomInCeiling) * 2);
}

int16_t zoomedOut(int16_t bitWidth) {
    const int16_t half = vb::CInt(bitWidth / 2.0);
    return half < kMinBitWidth ? kMinBitWidth : half;
}

int16_t zoomToFit(int64_t samples, double widthTwips, int16_t bitWidth) {
    const auto fits = [&](int16_t bw) {
        return static_cast<double>(samples) * bw <= widthTwips * kFitShare;
    };
    while (!fits(bitWidth) && bitWidth > kMinBitWidth) {
        bitWidth = zoomedOut(bitWidth);
    }
    while (zoomedIn(bitWidth) != bitWidth && fits(zoomedIn(bitWidth))) {
        bitWidth = zoomedIn(bitWidth);
    }
    return bitWidth;
}

} // namespace velmoran
