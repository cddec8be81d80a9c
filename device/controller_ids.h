// The vendor/product id pairs under which the controllers of the family
// enumerate, in the order both programs search them when the library
// recognises no controller by itself. The library's real-HID backend takes
// the same pairs as the touch controllers it reports.
#pragma once

#include <cstdint>

namespace lumora {

struct UsbIdPair {
    uint16_t vendor;
    uint16_t product;
};

inline constexpr UsbIdPair kControllerIdPairs[] = {
    {0x20AC, 0x0E01}, {0x20AC, 0x0E02}, {0x20AC, 0x0F01},
    {0x04E7, 0x006E}, {0x04E7, 0x006F}, {0x04E7, 0x006C},
};

}  // namespace lumora
