#pragma once

// The number rules of the original program: rounding, parsing and number texts.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace velmoran::vb {

// Raised when a value does not fit the integer it is assigned to.
class OverflowError : public std::overflow_error {
public:
    OverflowError() : std::overflow_error("溢出") {}
};

// Nearest integer, exact halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
double roundHalfEven(double value);

// Rounded half to even at `decimals` places after the point.
double roundHalfEven(double value, int decimals);

// Conversion to a 16-bit integer with banker's rounding; OverflowError outside -32768..32767.
int16_t CInt(double value);

// Conversion to a 32-bit integer with banker's rounding; OverflowError outside its range.
int32_t CLng(double value);

// The integer part, rounded towards minus infinity (Int(-2.5) is -3).
double Int(double value);

// The number at the start of a text: blanks are ignored, a fractional part and an exponent
// count, "&H"/"&O" prefixes read hex and octal (a value up to &HFFFF or &O177777 as a 16-bit
// integer, so both are -1; up to &HFFFFFFFF as a 32-bit one), and a text without a number
// gives 0.
double Val(std::string_view text);

// Decimal text with "." whatever the locale, no trailing zeros, no point for whole numbers,
// at most 15 significant digits; "-" for negatives and nothing in front otherwise. From 1E+21
// on, the legacy exponent form ("1.79769313486232E+308"); an infinity reads as the largest
// Double of its sign, a NaN as 0.
std::string numberText(double value);

// The same for a single-precision value: at most 7 significant digits (an infinity reads as the
// largest Single).
std::string numberText(float value);

// A number text with one blank in front when the value is zero or positive.
std::string signedNumberText(double value);
std::string signedNumberText(float value);

} // namespace velmoran::vb
