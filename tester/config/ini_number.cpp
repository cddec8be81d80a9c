#include "tester/config/ini_number.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace lumora::tester {

namespace {

bool isBlank(char c) {
    // The blanks strtod skips in the "C" locale.
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

int32_t readIniInteger(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && isBlank(text[i])) ++i;

    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }

    // Mantissa: digits, then an optional fraction. At least one digit in all.
    const size_t mantissaStart = i;
    size_t digits = 0;
    // Position of the first nonzero digit relative to the decimal point, as a
    // power of ten; used only to tell overflow from underflow below.
    long long firstNonzeroPower = 0;
    bool seenNonzero = false;
    long long integerDigits = 0;
    while (i < text.size() && isDigit(text[i])) {
        if (text[i] != '0') seenNonzero = true;
        if (seenNonzero) ++integerDigits;
        ++i;
        ++digits;
    }
    if (seenNonzero) firstNonzeroPower = integerDigits - 1;
    if (i < text.size() && text[i] == '.') {
        ++i;
        long long fractionPosition = 0;
        while (i < text.size() && isDigit(text[i])) {
            ++fractionPosition;
            if (!seenNonzero && text[i] != '0') {
                seenNonzero = true;
                firstNonzeroPower = -fractionPosition;
            }
            ++i;
            ++digits;
        }
    }
    if (digits == 0) return 0;  // no number at all: "", "-", ".", "x1", "inf", "nan"
    size_t mantissaEnd = i;

    // Exponent: taken only when at least one digit follows the 'e' and its sign.
    long long exponent = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        size_t j = i + 1;
        bool negativeExponent = false;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
            negativeExponent = text[j] == '-';
            ++j;
        }
        if (j < text.size() && isDigit(text[j])) {
            while (j < text.size() && isDigit(text[j])) {
                // Saturate: beyond a few thousand the result is 0 or the limit anyway.
                if (exponent < 100000) exponent = exponent * 10 + (text[j] - '0');
                ++j;
            }
            if (negativeExponent) exponent = -exponent;
            mantissaEnd = j;
        }
    }

    if (!seenNonzero) return 0;

    // std::from_chars reads the decimal form without regard to the locale,
    // where strtod would take the decimal point of the user's locale.
    const std::string number(text.substr(mantissaStart, mantissaEnd - mantissaStart));
    double value = 0.0;
    const auto result = std::from_chars(number.data(), number.data() + number.size(), value,
                                        std::chars_format::general);
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
    if (result.ec == std::errc::result_out_of_range) {
        // Too large or too small for a double: strtod gives HUGE_VAL or 0.
        const bool overflow = firstNonzeroPower + exponent > 0;
        if (!overflow) return 0;
        return negative ? kMin : kMax;
    }
    if (result.ec != std::errc()) return 0;

    if (negative) value = -value;
    const double truncated = std::trunc(value);
    if (truncated >= 2147483647.0) return kMax;
    if (truncated <= -2147483648.0) return kMin;
    return static_cast<int32_t>(truncated);
}

int16_t readIniInteger16(std::string_view text) {
    const auto low = static_cast<uint16_t>(static_cast<uint32_t>(readIniInteger(text)) & 0xFFFFu);
    return static_cast<int16_t>(low);
}

}  // namespace lumora::tester
