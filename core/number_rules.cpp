#include "core/number_rules.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

namespace velmoran::vb {

double roundHalfEven(double value) {
    return std::nearbyint(value); // the default rounding mode rounds exact halves to even
}

double roundHalfEven(double value, int decimals) {
    const double scale = std::pow(10.0, decimals);
    const double scaled = value * scale;
    double rounded = std::nearbyint(scaled);
    // A decimal half such as 0.0625 * 1000 is exact in binary; anything else that merely
    // prints like a half (64.2355 is 64.23549999...) must round the way its true value does.
    if (std::fabs(scaled - std::trunc(scaled)) != 0.5) {
        rounded = std::round(scaled);
    }
    return rounded / scale;
}

int16_t CInt(double value) {
    const double r = roundHalfEven(value);
    if (!(r >= std::numeric_limits<int16_t>::min() && r <= std::numeric_limits<int16_t>::max())) {
        throw OverflowError();
    }
    return static_cast<int16_t>(r);
}

int32_t CLng(double value) {
    const double r = roundHalfEven(value);
    if (!(r >= std::numeric_limits<int32_t>::min() && r <= std::numeric_limits<int32_t>::max())) {
        throw OverflowError();
    }
    return static_cast<int32_t>(r);
}

double Int(double value) {
    return std::floor(value);
}

namespace {

// From this magnitude on, a number text takes the exponent form: 22 digits and more are no
// longer read at a glance, and the largest values would need 309 of them.
constexpr double kExponentFormFrom = 1e21;

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}

// &H and &O literals take the width of the smallest integer that holds their value, as the
// legacy rules do for both radixes: up to &HFFFF (&O177777) a 16-bit integer, so &HFFFF and
// &O177777 are -1; up to &HFFFFFFFF (&O37777777777) a 32-bit one. Digits past 32 bits are
// not read.
double radixValue(const std::string& digits, int radix) {
    unsigned long long v = 0;
    for (char c : digits) {
        const int d = std::isdigit(static_cast<unsigned char>(c))
                          ? c - '0'
                          : std::toupper(static_cast<unsigned char>(c)) - 'A' + 10;
        if (d < 0 || d >= radix) {
            break;
        }
        const unsigned long long next = v * static_cast<unsigned>(radix) + static_cast<unsigned>(d);
        if (next > 0xFFFFFFFFULL) {
            break;
        }
        v = next;
    }
    if (v > 0x7FFF && v <= 0xFFFF) {
        return static_cast<double>(static_cast<long long>(v) - 0x10000);
    }
    if (v > 0x7FFFFFFF && v <= 0xFFFFFFFFULL) {
        return static_cast<double>(static_cast<long long>(v) - 0x100000000LL);
    }
    return static_cast<double>(v);
}

std::string trimZeros(std::string s) {
    if (s.find('.') != std::string::npos) {
        while (!s.empty() && s.back() == '0') {
            s.pop_back();
        }
        if (!s.empty() && s.back() == '.') {
            s.pop_back();
        }
    }
    return s;
}

// The legacy exponent form: "1.79769313486232E+308", "-1E+21" (at least two exponent digits).
std::string exponentText(double value, int digits) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*e", digits - 1, value);
    const std::string s = buf;
    const std::size_t e = s.find('e');
    std::string mantissa = trimZeros(s.substr(0, e));
    return mantissa + 'E' + s.substr(e + 1);
}

// `largest`: what an infinity shows as, the largest magnitude of the value's type.
std::string plainText(double value, int digits, double largest) {
    if (value == 0.0 || std::isnan(value)) {
        return "0";
    }
    if (std::isinf(value)) {
        value = std::copysign(largest, value);
    }
    char buf[64];
    // A whole number within the shown digits prints as it is: the common case (counts, percents)
    // and the cheap one.
    if (std::fabs(value) < std::pow(10.0, digits) && value == std::trunc(value)) {
        const auto end = std::to_chars(buf, buf + sizeof buf, static_cast<long long>(value)).ptr;
        return std::string(buf, end);
    }
    // Judged on the shown digits: a value that rounds up to the limit takes the exponent form.
    std::snprintf(buf, sizeof buf, "%.*e", digits - 1, value);
    if (!(std::fabs(std::strtod(buf, nullptr)) < kExponentFormFrom)) {
        return exponentText(value, digits);
    }
    std::snprintf(buf, sizeof buf, "%.*g", digits, value);
    std::string s = buf;
    if (s.find('e') == std::string::npos) {
        return trimZeros(s);
    }
    // Outside %g's plain range: place the point among the same significant digits (printing
    // the rounded binary value instead would show digits past the fifteenth).
    std::snprintf(buf, sizeof buf, "%.*e", digits - 1, value);
    const std::string e = buf;
    const bool negative = e.front() == '-';
    const std::size_t at = e.find('e');
    std::string mantissa = e.substr(negative ? 1 : 0, at - (negative ? 1 : 0));
    mantissa.erase(1, 1); // the point after the first digit
    const int exponent = std::stoi(e.substr(at + 1));
    std::string text;
    if (exponent < 0) {
        text = "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + mantissa;
    } else if (exponent >= digits - 1) {
        text = mantissa + std::string(static_cast<std::size_t>(exponent - (digits - 1)), '0');
    } else {
        text = mantissa.substr(0, static_cast<std::size_t>(exponent) + 1) + '.' +
               mantissa.substr(static_cast<std::size_t>(exponent) + 1);
    }
    return (negative ? "-" : "") + trimZeros(text);
}

} // namespace

double Val(std::string_view text) {
    std::string s;
    s.reserve(text.size());
    for (char c : text) {
        if (!isBlank(c)) {
            s.push_back(c);
        }
    }
    if (s.size() >= 2 && s[0] == '&') {
        const char kind = static_cast<char>(std::toupper(static_cast<unsigned char>(s[1])));
        if (kind == 'H') {
            return radixValue(s.substr(2), 16);
        }
        if (kind == 'O') {
            return radixValue(s.substr(2), 8);
        }
        return 0.0;
    }
    std::string number;
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        number.push_back(s[i++]);
    }
    bool anyDigit = false;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
        number.push_back(s[i++]);
        anyDigit = true;
    }
    if (i < s.size() && s[i] == '.') {
        number.push_back(s[i++]);
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
            number.push_back(s[i++]);
            anyDigit = true;
        }
    }
    if (!anyDigit) {
        return 0.0;
    }
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
        std::string exponent = "e";
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) {
            exponent.push_back(s[j++]);
        }
        bool expDigit = false;
        while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) {
            exponent.push_back(s[j++]);
            expDigit = true;
        }
        if (expDigit) {
            number += exponent;
        }
    }
    return std::strtod(number.c_str(), nullptr);
}

std::string numberText(double value) {
    return plainText(value, 15, std::numeric_limits<double>::max());
}

std::string numberText(float value) {
    return plainText(static_cast<double>(value), 7, std::numeric_limits<float>::max());
}

std::string signedNumberText(double value) {
    const std::string text = numberText(value);
    return text.front() == '-' ? text : " " + text;
}

std::string signedNumberText(float value) {
    const std::string text = numberText(value);
    return text.front() == '-' ? text : " " + text;
}

} // namespace velmoran::vb
