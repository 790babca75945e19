#include "display/measure.h"

#include "core/constants.h"

namespace velmoran {

namespace {
constexpr float kHeadLength = 200.0f;
constexpr float kHeadHalfWidth = 100.0f;
constexpr int kSamplesPerScrollUnit = kBytesPerScrollUnit * kSamplesPerByte; // 16
constexpr double kMicrosecondsPerMs = 1000.0;
} // namespace

double cursorTime(float x, int16_t bitWidth, int32_t viewStart, float samplePeriod) {
    const int32_t firstSample = kSamplesPerScrollUnit * viewStart;
    return (static_cast<double>(x) / bitWidth + firstSample) * static_cast<double>(samplePeriod) /
           kMicrosecondsPerMs;
}

float measuredInterval(float x1, float x2, int16_t bitWidth, float samplePeriod) {
    const float distance = x2 - x1;
    const float samples = distance / static_cast<float>(bitWidth);
    const float microseconds = samples * samplePeriod;
    return microseconds / static_cast<float>(kMicrosecondsPerMs);
}

void drawMarker(Surface& surface, float x) {
    surface.Line(x, 0, x, surface.Height(), kMarkerColour);
}

void drawArrow(Surface& surface, float x1, float x2, float y) {
    surface.Line(x1, y, x2, y, kArrowColour);
    surface.Line(x1, y, x1 + kHeadLength, y - kHeadHalfWidth, kArrowColour);
    surface.Line(x1, y, x1 + kHeadLength, y + kHeadHalfWidth, kArrowColour);
    surface.Line(x2, y, x2 - kHeadLength, y + kHeadHalfWidth, kArrowColour);
    surface.Line(x2, y, x2 - kHeadLength, y - kHeadHalfWidth, kArrowColour);
}

} // namespace velmoran
