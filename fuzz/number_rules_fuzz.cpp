// The number rules over any text and any double: Val reads any text, the number texts are
// total (no undefined behaviour from the largest values or infinities), and a plain number
// text reads back as the value it shows.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "core/number_rules.h"

using namespace velmoran;

namespace {

void checkTexts(double value) {
    const std::string text = vb::numberText(value);
    const std::string sign = vb::signedNumberText(value);
    if (text.empty() || (sign != text && sign != " " + text)) {
        std::abort();
    }
    vb::numberText(static_cast<float>(value));
    vb::signedNumberText(static_cast<float>(value));
    // Fifteen significant digits read back within their last digit.
    if (std::isfinite(value) && text.find('E') == std::string::npos && std::fabs(value) > 1e-300) {
        const double back = vb::Val(text);
        if (std::fabs(back - value) > std::fabs(value) * 1e-14) {
            std::abort();
        }
    }
    try {
        vb::CInt(value);
    } catch (const vb::OverflowError&) {
    }
    try {
        vb::CLng(value);
    } catch (const vb::OverflowError&) {
    }
    vb::Int(value);
    vb::roundHalfEven(value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    checkTexts(vb::Val(text));
    if (size >= sizeof(double)) {
        double value = 0;
        std::memcpy(&value, data, sizeof value);
        checkTexts(value);
        vb::roundHalfEven(value, static_cast<int>(data[size - 1] % 16));
    }
    return 0;
}
