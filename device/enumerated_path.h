// Taking a device that an enumeration callback reports into a descriptor.
#pragma once

#include <cstdint>
#include <cstring>

#include "device/vexlink.h"

namespace lumora {

// The length of an enumerated path, or -1 when there is none or it has no
// NUL inside the descriptor's 512 bytes. Such a path cannot be stored whole,
// and a cut path would open some other interface, so it is never taken.
inline long fittingPathLength(const char* path) {
    if (!path) return -1;
    const size_t len = strnlen(path, VEX_PATH_SIZE);
    return len < size_t(VEX_PATH_SIZE) ? long(len) : -1;
}

// Stores a path and its two values in `d`, replacing what it held; false
// (and `d` untouched) for a path that does not fit.
inline bool storeEnumeratedPath(VexDeviceDescriptor& d, const char* path, uint32_t value1,
                                uint32_t value2) {
    const long len = fittingPathLength(path);
    if (len < 0) return false;
    std::memset(d.path, 0, sizeof d.path);
    std::memcpy(d.path, path, size_t(len));
    d.value1 = value1;
    d.value2 = value2;
    return true;
}

}  // namespace lumora
