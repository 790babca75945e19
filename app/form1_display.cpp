#include "app/form1.h"

#include "core/number_rules.h"
#include "display/picture_box.h"
#include "display/scroll_math.h"
#include "display/square_wave.h"
#include "display/vb_scroll_bar.h"
#include "display/zoom.h"

#include <algorithm>

namespace velmoran {

void Form1::Draw_Square_Wave(int32_t Start, int16_t Y, int16_t Width_per_20us, int16_t Channel) {
    const ChannelBuffer* buffer = channel(Channel);
    if (buffer == nullptr) {
        return;
    }
    velmoran::Draw_Square_Wave(*Picture1, *buffer, SamplePeriod, Start, Y, Width_per_20us);
}

void Form1::PrintWord(float x, int16_t Y, const QString& toprint) {
    velmoran::PrintWord(*Picture1, x, Y, toprint);
}

void Form1::drawRows(int32_t start) {
    for (int ch = 1; ch <= kChannelCount; ++ch) {
        Draw_Square_Wave(start, kRowBaseline[ch - 1], BitWidth, static_cast<int16_t>(ch));
    }
    lastRowsStart_ = start;
    if (rowsOverlay_) {
        rowsOverlay_(*Picture1, int64_t{start} * kSamplesPerByte);
    }
}

void Form1::redrawLastRows() {
    Picture1->Cls();
    drawRows(lastRowsStart_);
}

void Form1::redrawRows(int32_t start) {
    Picture1->Cls();
    drawRows(start);
}

void Form1::Command5_Click() {
    setZoom(zoomedIn(BitWidth));
}

void Form1::Command6_Click() {
    setZoom(zoomedOut(BitWidth));
}

void Form1::setZoom(int16_t bitWidth) {
    BitWidth = std::clamp(bitWidth, kMinBitWidth, kMaxBitWidth);
    HScroll1->setMax(scrollMaximum(Picture1->Width(), BitWidth));
    redrawRows(kBytesPerScrollUnit * ViewStart);
    refreshCursorTime();
    Q_EMIT zoomChanged();
}

void Form1::HScroll1_Change() {
    Picture1->Cls();
    ViewStart = HScroll1->Value();
    drawRows(kBytesPerScrollUnit * ViewStart);
    refreshCursorTime();
    Q_EMIT scrolled();
}

int64_t Form1::visibleFirstSample() const {
    return int64_t{HScroll1->Value()} * kBytesPerScrollUnit * kSamplesPerByte;
}

int64_t Form1::visibleSampleCount() const {
    return samplesAcross(Picture1->Width(), BitWidth);
}

double Form1::chartWidthTwips() const {
    return Picture1->Width();
}

void Form1::scrollTo(int value) {
    HScroll1->setValue(std::clamp(value, 0, static_cast<int>(HScroll1->Max())));
}

int Form1::scrollValue() const {
    return HScroll1->Value();
}

int Form1::lastScrollValue() const {
    return HScroll1->Max();
}

} // namespace velmoran
