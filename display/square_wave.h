#pragma once

// The square-wave row: one channel buffer drawn as a wave with its time axis, ticks every 50
// samples and the time of its left edge.

#include <QString>

#include <cstdint>

#include "core/channel_buffer.h"
#include "display/surface.h"

namespace velmoran {

inline constexpr QRgb kWaveColour = qRgb(0, 0, 255);
inline constexpr QRgb kAxisColour = qRgb(200, 200, 255);
inline constexpr QRgb kWordColour = qRgb(255, 96, 96);

// Samples across a surface `surfaceWidth` twips wide at `widthPerSample` twips per sample.
int16_t samplesAcross(float surfaceWidth, int16_t widthPerSample);

// The left-edge label of a row starting at byte `start`: " 64.236ms" for start 200.
QString rowLabel(float samplePeriod, int32_t start);

// Writes `text` with its top-left at (x, y) in RGB(255, 96, 96) and puts the pen back.
void PrintWord(Surface& surface, float x, int16_t y, const QString& text);

// Draws one row of `buffer` from byte `start`, baseline `y`, `widthPerSample` twips per sample.
void Draw_Square_Wave(Surface& surface, const ChannelBuffer& buffer, float samplePeriod,
                      int32_t start, int16_t y, int16_t widthPerSample);

} // namespace velmoran
