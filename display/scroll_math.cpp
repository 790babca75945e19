#include "display/scroll_math.h"

#include "core/constants.h"
#include "core/number_rules.h"

namespace velmoran {

int16_t scrollMaximum(float surfaceWidth, int16_t bitWidth) {
    // Single / Integer / Integer stays single precision; the subtraction is done in double.
    const float screenBytes = surfaceWidth / static_cast<float>(bitWidth) / kSamplesPerByte;
    return vb::CInt(kScrollRangeUnits - static_cast<double>(screenBytes));
}

} // namespace velmoran
