#include "display/time_text.h"

#include "core/number_rules.h"
#include "core/texts.h"

namespace velmoran {

namespace {
constexpr int kShownDecimals = 3;
} // namespace

QString millisecondsText(double ms) {
    return QString::fromStdString(vb::signedNumberText(vb::roundHalfEven(ms, kShownDecimals))) +
           QString::fromUtf8(texts::kMilliseconds);
}

QString millisecondsText(float ms) {
    // Rounded, the value is single precision again before it is written.
    const auto rounded =
        static_cast<float>(vb::roundHalfEven(static_cast<double>(ms), kShownDecimals));
    return QString::fromStdString(vb::signedNumberText(rounded)) +
           QString::fromUtf8(texts::kMilliseconds);
}

} // namespace velmoran
