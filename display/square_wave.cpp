#include "display/square_wave.h"

#include "core/constants.h"
#include "core/number_rules.h"
#include "display/time_text.h"

namespace velmoran {

namespace {
constexpr double kMicrosecondsPerMs = 1000.0;
} // namespace

int16_t samplesAcross(float surfaceWidth, int16_t widthPerSample) {
    return vb::CInt(static_cast<double>(surfaceWidth / static_cast<float>(widthPerSample)));
}

QString rowLabel(float samplePeriod, int32_t start) {
    const double t =
        static_cast<double>(samplePeriod) * start * kSamplesPerByte / kMicrosecondsPerMs;
    return millisecondsText(t);
}

void PrintWord(Surface& surface, float x, int16_t y, const QString& text) {
    const float px = surface.CurrentX();
    const float py = static_cast<float>(vb::roundHalfEven(surface.CurrentY()));
    surface.setCurrentX(x);
    surface.setCurrentY(y);
    surface.setForeColor(kWordColour);
    surface.Print(text);
    surface.setCurrentX(px);
    surface.setCurrentY(py);
}

void Draw_Square_Wave(Surface& surface, const ChannelBuffer& buffer, float samplePeriod,
                      int32_t start, int16_t y, int16_t widthPerSample) {
    const float low = y;
    const float high = static_cast<float>(y - kHighLevelRise);
    surface.Line(0, low, 1, low, kWaveColour);
    const int16_t nBits = samplesAcross(surface.Width(), widthPerSample);
    bool previous = false;
    for (int i = 0; i <= nBits / kSamplesPerByte; ++i) {
        // The scroll range keeps the last byte shown at 63486 or before; a wider surface than
        // the window's must still stop at the end of the buffer.
        const int64_t index = static_cast<int64_t>(start) + i;
        if (index < 0 || index >= static_cast<int64_t>(buffer.size())) {
            break;
        }
        const uint8_t v = buffer[static_cast<size_t>(index)];
        for (int j = 0; j < kSamplesPerByte; ++j) {
            const bool sample = (v >> (kSamplesPerByte - 1 - j)) & 1;
            const int64_t s = static_cast<int64_t>(i) * kSamplesPerByte + j;
            const auto xa = static_cast<float>(widthPerSample * s);
            const auto xb = static_cast<float>(widthPerSample * (s + 1));
            const float level = sample ? high : low;
            if (sample != previous) {
                surface.LineTo(xa, level, kWaveColour);
            }
            surface.LineTo(xb, level, kWaveColour);
            previous = sample;
        }
    }
    const float axis = static_cast<float>(y + kAxisDrop);
    surface.Line(0, axis, surface.Width(), axis, kAxisColour);
    PrintWord(surface, 0, static_cast<int16_t>(y + kLabelDrop), rowLabel(samplePeriod, start));
    for (int t = 0; t <= nBits / kSamplesPerTick; ++t) {
        const auto x =
            static_cast<float>(static_cast<int64_t>(kSamplesPerTick) * t * widthPerSample);
        surface.Line(x, static_cast<float>(y + kTickTop), x, axis, kAxisColour);
    }
}

} // namespace velmoran
