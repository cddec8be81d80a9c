#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "tester/config/ini_number.h"

using lumora::tester::readIniInteger;
using lumora::tester::readIniInteger16;

namespace {

struct NumberCase {
    const char* text;
    int32_t expected;
};

class IniIntegerTest : public testing::TestWithParam<NumberCase> {};

TEST_P(IniIntegerTest, ReadsLikeStrtodTruncatedAndSaturated) {
    EXPECT_EQ(readIniInteger(GetParam().text), GetParam().expected) << '"' << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Grammar, IniIntegerTest,
    testing::Values(
        // plain numbers, blanks and signs
        NumberCase{"12", 12}, NumberCase{" \t-7", -7}, NumberCase{"+5", 5}, NumberCase{"0", 0},
        NumberCase{"\n\r\v\f 42", 42},
        // fractions and exponents, truncated toward zero
        NumberCase{"2.9", 2}, NumberCase{"-2.9", -2}, NumberCase{"-0.5", 0}, NumberCase{".5", 0},
        NumberCase{"9.", 9}, NumberCase{"1e3", 1000}, NumberCase{"1.5E1", 15},
        NumberCase{"2500e-3", 2}, NumberCase{"0.000e99999", 0},
        // reading stops at the first character that does not fit
        NumberCase{"12abc", 12}, NumberCase{"4 2", 4}, NumberCase{"1,5", 1},
        NumberCase{"1e", 1}, NumberCase{"1e+", 1}, NumberCase{"3e-x", 3},
        // no number at all, and forms outside the decimal grammar
        NumberCase{"", 0}, NumberCase{"abc", 0}, NumberCase{"-", 0}, NumberCase{".", 0},
        NumberCase{"0x10", 0}, NumberCase{"inf", 0}, NumberCase{"-infinity", 0},
        NumberCase{"nan", 0}, NumberCase{"e5", 0},
        // beyond 32 bits: saturation instead of overflow
        NumberCase{"2147483647", INT_MAX}, NumberCase{"2147483647.9", INT_MAX},
        NumberCase{"2147483648", INT_MAX}, NumberCase{"99999999999", INT_MAX},
        NumberCase{"-2147483648", INT_MIN}, NumberCase{"-2147483648.7", INT_MIN},
        NumberCase{"-99999999999", INT_MIN}, NumberCase{"1e400", INT_MAX},
        NumberCase{"-1e400", INT_MIN}, NumberCase{"1e-400", 0},
        NumberCase{"0.0000001e99999999999999999999", INT_MAX}));

TEST(IniInteger16, KeepsTheLowSixteenBits) {
    EXPECT_EQ(readIniInteger16("1200"), 1200);
    EXPECT_EQ(readIniInteger16("40000"), -25536);  // 0x9C40
    EXPECT_EQ(readIniInteger16("65536"), 0);
    EXPECT_EQ(readIniInteger16("70000"), 4464);
    EXPECT_EQ(readIniInteger16("-1"), -1);
    EXPECT_EQ(readIniInteger16("1e12"), -1);  // saturated to 0x7FFFFFFF first
}

TEST(IniInteger, LongDigitRunsDoNotOverflow) {
    EXPECT_EQ(readIniInteger(std::string(5000, '9')), INT_MAX);
    EXPECT_EQ(readIniInteger("0." + std::string(5000, '0') + "1"), 0);
}

}  // namespace
