// Number reading of the tester's ini values.
#pragma once

#include <cstdint>
#include <string_view>

namespace lumora::tester {

// Reads the text the way the C library's strtod reads a decimal number:
// leading blanks, an optional sign, digits with an optional fraction, an
// optional exponent; reading stops at the first character that does not fit,
// and text that does not start a number reads as 0. Only the decimal form is
// accepted, so "0x10" reads as 0 and "inf" or "nan" read as 0. The result is
// truncated toward zero and saturates at the 32-bit limits instead of
// overflowing ("1e12" reads as 2147483647).
int32_t readIniInteger(std::string_view text);

// The low 16 bits of readIniInteger, as the 16-bit keys keep them
// ("40000" gives -25536 when the field is read as a signed number).
int16_t readIniInteger16(std::string_view text);

}  // namespace lumora::tester
