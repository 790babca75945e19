#include "app/vb.h"

#include <cctype>
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

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}

// &H and &O literals take the width of the smallest integer that holds their digits.
double radixValue(const std::string& digits, int radix, int bitsPerDigit) {
    unsigned long long v = 0;
    std::size_t used = 0;
    for (char c : digits) {
        const int d = std::isdigit(static_cast<unsigned char>(c))
                          ? c - '0'
                          : std::toupper(static_cast<unsigned char>(c)) - 'A' + 10;
        if (d < 0 || d >= radix) {
            break;
        }
        v = v * radix + d;
        ++used;
        if (used * bitsPerDigit > 32) {
            break;
        }
    }
    if (used * bitsPerDigit <= 16 && v > 0x7FFF && v <= 0xFFFF) {
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

std::string plainText(double value, int digits) {
    if (value == 0.0 || std::isnan(value)) {
        return "0";
    }
    char buf[512];
    std::snprintf(buf, sizeof buf, "%.*g", digits, value);
    std::string s = buf;
    if (s.find('e') == std::string::npos) {
        return trimZeros(s);
    }
    // Outside %g's plain range: write the same significant digits without an exponent.
    std::snprintf(buf, sizeof buf, "%.*e", digits - 1, value);
    const double rounded = std::strtod(buf, nullptr);
    const int exponent = static_cast<int>(std::floor(std::log10(std::fabs(rounded))));
    const int decimals = exponent >= digits - 1 ? 0 : digits - 1 - exponent;
    std::snprintf(buf, sizeof buf, "%.*f", decimals, rounded);
    return trimZeros(buf);
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
            return radixValue(s.substr(2), 16, 4);
        }
        if (kind == 'O') {
            return radixValue(s.substr(2), 8, 3);
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
    return plainText(value, 15);
}

std::string numberText(float value) {
    return plainText(static_cast<double>(value), 7);
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
