// What a controller's type code (GetDevTypeCode) says about it.
#pragma once

namespace lumora {

// 1, 2, 3 and 7: the controller runs its boot loader.
constexpr bool isBootLoaderCode(int typeCode) {
    return typeCode == 1 || typeCode == 2 || typeCode == 3 || typeCode == 7;
}
// 4 and its sibling 5: the Osprey class.
constexpr bool isOspreyFamily(int typeCode) { return typeCode == 4 || typeCode == 5; }
// 6 and 8: the Heron class.
constexpr bool isHeronFamily(int typeCode) { return typeCode == 6 || typeCode == 8; }

}  // namespace lumora
