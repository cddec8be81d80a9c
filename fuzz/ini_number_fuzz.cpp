// The number grammar of the tester's ini values against the C library's
// strtod, truncated toward zero and saturated at the 32-bit limits. strtod
// also reads hexadecimal ("0x1F"), "inf" and "nan", which the ini grammar
// does not: a text whose number starts that way must read as the decimal
// part before the letter, which for all three is 0. The 16-bit reading is
// the low half of the 32-bit one. Runs in the "C" locale, as libFuzzer
// leaves it.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tester/config/ini_number.h"

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

int32_t truncatedAndSaturated(double value) {
    const double t = std::trunc(value);
    if (t >= 2147483647.0) return INT32_MAX;
    if (t <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(t);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Ini values are C strings: the text ends at its first NUL.
    std::string text(reinterpret_cast<const char*>(data), size);
    text = text.substr(0, text.find('\0'));
    const int32_t got = lumora::tester::readIniInteger(text);

    size_t i = 0;
    while (i < text.size() && isBlank(text[i])) ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    const bool hexadecimal = i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X');
    const bool decimalStart = i < text.size() && ((text[i] >= '0' && text[i] <= '9') || text[i] == '.');
    int32_t expected = 0;
    if (decimalStart && !hexadecimal) expected = truncatedAndSaturated(std::strtod(text.c_str(), nullptr));
    if (got != expected) std::abort();

    const int16_t low = lumora::tester::readIniInteger16(text);
    if (low != static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(got) & 0xFFFFu))) std::abort();
    return 0;
}
