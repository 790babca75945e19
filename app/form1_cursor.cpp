#include "app/form1.h"

#include "app/vb_label.h"
#include "core/number_rules.h"
#include "core/twips.h"
#include "display/line_control.h"
#include "display/measure.h"
#include "display/picture_box.h"
#include "display/time_text.h"

namespace velmoran {

void Form1::Picture1_MouseMove(int, int, float X, float Y) {
    Line1->setPoints(X, 0, X, Picture1->Height());
    Line1->setBorderColor(kCursorColour);
    // Label3 lives in Picture1's client area, whose scale is the twip.
    Label3->move(Picture1->contentsRect().topLeft() +
                 QPoint(twipsToPixels(X), twipsToPixels(Y + kReadoutDrop)));
    Label3->setCaption(millisecondsText(cursorTime(X, BitWidth, ViewStart, SamplePeriod)));
    cursorPlaced_ = true;
}

void Form1::refreshCursorTime() {
    // The cursor stays where the pointer left it; the time under it changes with the chart.
    if (cursorPlaced_) {
        Label3->setCaption(millisecondsText(
            cursorTime(static_cast<float>(Line1->X1()), BitWidth, ViewStart, SamplePeriod)));
    }
}

void Form1::Picture1_MouseDown(int, int, float X, float Y) {
    if (MeasurePending == 0) {
        MeasureStartX = X;
        drawMarker(*Picture1, X);
    } else {
        // Unset, the start reads as 0, like an empty variant would.
        const float X1 = MeasureStartX.value_or(0.0f);
        drawMarker(*Picture1, X);
        drawArrow(*Picture1, X1, X, Y);
        const float dt = measuredInterval(X1, X, BitWidth, SamplePeriod);
        PrintWord((X1 + X) / 2, static_cast<int16_t>(vb::Int(Y)), millisecondsText(dt));
    }
    MeasurePending = static_cast<int16_t>(~MeasurePending);
}

} // namespace velmoran
