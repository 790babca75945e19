#pragma once

// Decoded frames marked on the chart, each in the band under its own channel's row: the channel
// named, each frame's extent, its leader, every bit's value and a label. Computed as numbers
// (twips) so that tests read them; drawn on the same surface as the rows. The rule for showing
// bit values is shared with the navigator's detail chart.

#include <QString>

#include <cstdint>
#include <vector>

#include "display/surface.h"
#include "infrared/frame_cells.h"
#include "infrared/ir_decoder.h"

namespace velmoran {

inline constexpr QRgb kFrameMarkColour = qRgb(176, 64, 0);

// The band under a row, from the row's baseline (twips): the label's top sits below the row's
// time label and axis, the frame's line below the label, the bit values below the line.
inline constexpr float kFrameLabelDrop = 240;
inline constexpr float kFrameLineDrop = 560;
inline constexpr float kFrameTickHalf = 50;
inline constexpr float kFrameLeaderRise = 40;
inline constexpr float kFrameValueDrop = 20;
// Bits shown as marks: a 1 as a stroke across its cell this far below the line, a 0 lower.
inline constexpr float kFrameMarkOneDrop = 90;
inline constexpr float kFrameMarkZeroDrop = 180;
inline constexpr float kFrameHexDrop = 220;
// A digit's width and a gap, in twips: the narrowest cell that shows its bit as a digit.
inline constexpr float kFrameValueMinWidth = 100;

// How a frame's bit values are shown at a scale: every bit as its digit where every cell has
// room for one; else every bit as a mark (a 1 high, a 0 low) with each byte's value in hex.
enum class BitValues { Digits, Marks };

// The style for `cells` at `unitsPerSample` (pixels or twips) where a digit needs `digitRoom`
// of the same units; the narrowest cell decides, so that no bit is shown one way and its
// neighbour the other.
BitValues bitValuesShown(const infrared::FrameCells& cells, double unitsPerSample,
                         double digitRoom);

// The bits in bytes of eight from the first sent (the last one may be shorter), the first sent
// the least significant: the span each covers, in samples, and its value in hex ("F7").
struct ByteSpan {
    int64_t start = 0;
    int64_t end = 0;
    QString hex;
};
std::vector<ByteSpan> byteSpans(const infrared::FrameCells& cells);

// Every bit as a digit in sending order, bytes apart, then the bytes in hex:
// "00100000 11011111 00010000 11101111 (04 FB 08 F7)"; empty for a frame without bits.
QString bitsText(const infrared::FrameCells& cells);

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
// sample `firstSample`, at `bitWidth` twips per sample, each under the row of its channel.
// `keyNames`, when not empty, holds the frames' key names in their order.
FrameMarks frameMarks(const std::vector<infrared::IrFrame>& frames,
                      const std::vector<QString>& keyNames, int64_t firstSample, int bitWidth,
                      float widthTwips);

// Draws `marks` on `surface`; the pen and the text colour are put back.
void drawFrameMarks(Surface& surface, const FrameMarks& marks);

} // namespace velmoran
