#include <gtest/gtest.h>

#include "support/case_name.h"

#include <limits>

#include "core/number_rules.h"

using namespace velmoran;

namespace {

struct ValCase {
    const char* name;
    const char* text;
    double value;
};

class ValTest : public ::testing::TestWithParam<ValCase> {};

TEST_P(ValTest, ReadsTheNumberAtTheStart) {
    EXPECT_DOUBLE_EQ(vb::Val(GetParam().text), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ValTest,
    ::testing::Values(ValCase{"one", "1", 1}, ValCase{"com2_gives_0", "COM2", 0},
                      ValCase{"empty", "", 0}, ValCase{"letters", "abc", 0},
                      ValCase{"fraction", "2.5", 2.5}, ValCase{"two_point_seven", "2.7", 2.7},
                      ValCase{"leading_blanks", "   3", 3}, ValCase{"embedded_blanks", " 1 2", 12},
                      ValCase{"trailing_text", "2abc", 2}, ValCase{"negative", "-4", -4},
                      ValCase{"leading_point", ".5", 0.5}, ValCase{"exponent", "1e3", 1000},
                      ValCase{"dangling_exponent", "1e", 1}, ValCase{"hex", "&H10", 16},
                      ValCase{"hex_integer_wraps", "&HFFFF", -1}, ValCase{"octal", "&O17", 15},
                      ValCase{"big", "99999", 99999}, ValCase{"sign_only", "-", 0}),
    velmoran::test::CaseName());

// The radix literals take the width of the smallest integer holding their value, octal the
// same as hex; leading zeros do not widen them.
INSTANTIATE_TEST_SUITE_P(
    Radix, ValTest,
    ::testing::Values(ValCase{"octal_sixteen_bits_wraps", "&O177777", -1},
                      ValCase{"octal_top_positive", "&O77777", 32767},
                      ValCase{"octal_past_sixteen_bits", "&O200000", 65536},
                      ValCase{"octal_thirty_two_bits_wraps", "&O37777777777", -1},
                      ValCase{"hex_leading_zero_still_wraps", "&H0FFFF", -1},
                      ValCase{"hex_past_sixteen_bits", "&H10000", 65536},
                      ValCase{"hex_thirty_two_bits_wraps", "&HFFFFFFFF", -1},
                      ValCase{"hex_digits_past_32_bits_unread", "&H123456789", 0x12345678},
                      ValCase{"octal_stops_at_8", "&O178", 15}),
    velmoran::test::CaseName());

struct CIntCase {
    const char* name;
    double in;
    int out;
};

class CIntTest : public ::testing::TestWithParam<CIntCase> {};

TEST_P(CIntTest, RoundsHalfToEven) {
    EXPECT_EQ(vb::CInt(GetParam().in), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(
    Values, CIntTest,
    ::testing::Values(CIntCase{"two_and_a_half", 2.5, 2}, CIntCase{"three_and_a_half", 3.5, 4},
                      CIntCase{"minus_half", -0.5, 0}, CIntCase{"minus_one_and_a_half", -1.5, -2},
                      CIntCase{"just_above_half", 2.5000001, 3},
                      CIntCase{"scroll_max_at_load", 31743 - 127.6875, 31615},
                      CIntCase{"top", 32767.4, 32767}, CIntCase{"bottom", -32768.5, -32768}),
    velmoran::test::CaseName());

TEST(CInt, OverflowsOutsideSixteenBits) {
    EXPECT_THROW(vb::CInt(99999), vb::OverflowError);
    EXPECT_THROW(vb::CInt(32767.5), vb::OverflowError);
    EXPECT_THROW(vb::CInt(-32769), vb::OverflowError);
    EXPECT_THROW(vb::CLng(3e9), vb::OverflowError);
}

TEST(Int, RoundsDown) {
    EXPECT_EQ(vb::Int(2.7), 2);
    EXPECT_EQ(vb::Int(-2.5), -3);
    EXPECT_EQ(vb::Int(31744.0 / 63488 * 100), 50);
}

struct TextCase {
    const char* name;
    double value;
    bool single;
    const char* plain;
    const char* sign;
};

class NumberTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(NumberTextTest, WritesPlainDecimals) {
    const TextCase& c = GetParam();
    if (c.single) {
        EXPECT_EQ(vb::numberText(static_cast<float>(c.value)), c.plain);
        EXPECT_EQ(vb::signedNumberText(static_cast<float>(c.value)), c.sign);
    } else {
        EXPECT_EQ(vb::numberText(c.value), c.plain);
        EXPECT_EQ(vb::signedNumberText(c.value), c.sign);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Values, NumberTextTest,
    ::testing::Values(
        TextCase{"zero", 0, false, "0", " 0"},
        TextCase{"duration", 103 / 5.0, false, "20.6", " 20.6"},
        TextCase{"whole_duration", 100 / 5.0, false, "20", " 20"},
        TextCase{"rate", 24920, false, "24920", " 24920"},
        TextCase{"negative", -6.022, false, "-6.022", "-6.022"},
        TextCase{"below_one", 0.642, false, "0.642", " 0.642"},
        TextCase{"fifteen_digits", 1.0 / 3, false, "0.333333333333333", " 0.333333333333333"},
        TextCase{"single_seven_digits", 1.0 / 3, true, "0.3333333", " 0.3333333"},
        TextCase{"single_ms", 6.022, true, "6.022", " 6.022"},
        TextCase{"negative_zero", -0.0, false, "0", " 0"},
        TextCase{"large", 1e20, false, "100000000000000000000", " 100000000000000000000"},
        TextCase{"tiny", 1.5e-7, false, "0.00000015", " 0.00000015"}),
    velmoran::test::CaseName());

// Values past what plain decimals show at a glance, up to the largest Double and the
// infinities, take the legacy exponent form.
INSTANTIATE_TEST_SUITE_P(
    Extremes, NumberTextTest,
    ::testing::Values(
        TextCase{"largest_double", 1.7976931348623157e308, false, "1.79769313486232E+308",
                 " 1.79769313486232E+308"},
        TextCase{"most_negative_double", -1.7976931348623157e308, false, "-1.79769313486232E+308",
                 "-1.79769313486232E+308"},
        TextCase{"near_the_largest", 1.79e308, false, "1.79E+308", " 1.79E+308"},
        TextCase{"infinity", std::numeric_limits<double>::infinity(), false,
                 "1.79769313486232E+308", " 1.79769313486232E+308"},
        TextCase{"minus_infinity", -std::numeric_limits<double>::infinity(), false,
                 "-1.79769313486232E+308", "-1.79769313486232E+308"},
        TextCase{"first_exponent_form", 1e21, false, "1E+21", " 1E+21"},
        TextCase{"rounds_up_to_exponent_form", 999999999999999999999.0, false, "1E+21", " 1E+21"},
        TextCase{"last_plain", 9.99999999999999e20, false, "999999999999999000000",
                 " 999999999999999000000"},
        TextCase{"single_largest", 3.4028234663852886e38, true, "3.402823E+38", " 3.402823E+38"},
        TextCase{"single_infinity", std::numeric_limits<double>::infinity(), true, "3.402823E+38",
                 " 3.402823E+38"}),
    velmoran::test::CaseName());

TEST(NumberText, SmallestDoubleStaysPlain) {
    const std::string text = vb::numberText(std::numeric_limits<double>::denorm_min());
    EXPECT_EQ(text.size(), 2 + 323 + 15); // "0." then 323 zeros then the 15 digits
    EXPECT_EQ(text.substr(0, 6), "0.0000");
    EXPECT_EQ(text.substr(text.size() - 15), "494065645841247");
}

TEST(RoundHalfEven, RoundsToDecimals) {
    EXPECT_DOUBLE_EQ(vb::roundHalfEven(64.2358, 3), 64.236);
    EXPECT_DOUBLE_EQ(vb::roundHalfEven(0.0625, 3), 0.062); // an exact binary half goes to even
    EXPECT_DOUBLE_EQ(vb::roundHalfEven(0.0635, 3), 0.064); // 0.0635 is really 0.063500000000000001
    EXPECT_DOUBLE_EQ(vb::roundHalfEven(-6.02211, 3), -6.022);
}

} // namespace
