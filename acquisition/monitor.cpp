#include "acquisition/monitor.h"

#include <limits>

#include "core/constants.h"
#include "core/number_rules.h"
#include "core/texts.h"

namespace velmoran {

int16_t countTick(int16_t elapsedTicks, int32_t recvCount) {
    if (recvCount <= 0 || elapsedTicks == std::numeric_limits<int16_t>::max()) {
        return elapsedTicks;
    }
    return static_cast<int16_t>(elapsedTicks + 1);
}

int16_t progressBarWidth(int32_t recvCount, int scaleWidth) {
    const double fraction = static_cast<double>(recvCount) / kCaptureBytes;
    return vb::CInt(vb::Int(fraction * scaleWidth * 2) + 1);
}

QString percentText(int32_t recvCount) {
    const double percent = vb::Int(static_cast<double>(recvCount) / kCaptureBytes * 100);
    return QString::fromStdString(vb::numberText(percent)) + QLatin1Char('%');
}

QString rateText(int32_t recvCount, int16_t waiting, int32_t lastCount) {
    const int32_t bitsPerSecond = (arrivedCount(recvCount, waiting) - lastCount) * kRateFactor;
    return QString::number(bitsPerSecond) + QString::fromUtf8(texts::kRateUnit);
}

int32_t arrivedCount(int32_t recvCount, int16_t waiting) {
    return recvCount + waiting;
}

} // namespace velmoran
