#pragma once

// Decoded frames marked on the chart, in the empty band below the three rows: each frame's
// extent, its leader, each bit with its value, and a label. Computed as numbers (twips) so that
// tests read them; drawn on the same surface as the rows.

#include <QString>

#include <cstdint>
#include <vector>

#include "display/surface.h"
#include "infrared/ir_decoder.h"

namespace velmoran {

inline constexpr QRgb kFrameMarkColour = qRgb(176, 64, 0);
// The band: channel 1's marks on the line at kFrameMarkTop, each next channel kFrameMarkStep
// below; labels above the line, bit values below it.
inline constexpr float kFrameMarkTop = 4080;
inline constexpr float kFrameMarkStep = 380;
inline constexpr float kFrameLabelRise = 270;
inline constexpr float kFrameTickHalf = 50;
inline constexpr float kFrameLeaderRise = 40;
inline constexpr float kFrameValueDrop = 20;
// A bit's value is written when its cell is at least this wide (a digit's width and a gap).
inline constexpr float kFrameValueMinWidth = 100;

struct MarkLine {
    float x1, y1, x2, y2;
    friend bool operator==(const MarkLine&, const MarkLine&) = default;
};

struct MarkText {
    float x, y; // top-left
    QString text;
};

struct FrameMarks {
    std::vector<MarkLine> lines;
    std::vector<MarkText> texts;
};

// The label of a frame: protocol, address, command, and its key's name when it has one.
QString frameLabel(const infrared::IrFrame& frame, const QString& keyName = {});

// The marks of every frame that reaches into a chart `widthTwips` wide whose left edge is
// sample `firstSample`, at `bitWidth` twips per sample. `keyNames`, when not empty, holds the
// frames' key names in their order.
FrameMarks frameMarks(const std::vector<infrared::IrFrame>& frames,
                      const std::vector<QString>& keyNames, int64_t firstSample, int bitWidth,
                      float widthTwips);

// Draws `marks` on `surface`; the pen and the text colour are put back.
void drawFrameMarks(Surface& surface, const FrameMarks& marks);

} // namespace velmoran
