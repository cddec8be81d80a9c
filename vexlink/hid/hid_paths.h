// Pure logic of the real-HID backend: which devices count as touch
// controllers, and how a native hidapi interface becomes an interface path in
// the Windows form that the programs' collection and arrival filters read.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "vexlink/transport.h"

namespace vexlink::hid {

// One interface as hidapi lists it. hidapi lists every top-level collection
// of a device node as an entry of its own, with the node's path repeated.
struct NativeInterface {
    std::string nativePath;  // /dev/hidrawN on Linux
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint16_t usagePage = 0;
    uint16_t usage = 0;
};

// The controllers that EnumerateHidDevices reports: the vendor/product pairs
// of the touch controllers the programs search for (never the PWM tester,
// the feature-report device or the UART bridge board). Every collection of
// such a device counts, so the programs' own collection rules ("&COL04",
// "&COL06") decide among them as they would on any host.
bool isTouchController(uint16_t vendorId, uint16_t productId);

// \\?\hid#vid_xxxx&pid_xxxx&colNN#<node>#{HID interface class}
// NN is the 1-based position of the top-level collection within its device
// node. <node> is the native path without a leading "/dev/", every character
// other than a letter or digit written as _XX (hex), so that it stays unique
// and the path stays stable while the device is plugged.
std::string interfacePath(const NativeInterface& native, int collection);

// Turns hidapi's list into the backend's enumeration: collection numbers by
// order within each node, paths, touch-controller flags. value1 and value2
// are the collection's usage page and usage. Sorted by path for a stable order.
std::vector<InterfaceInfo> describe(const std::vector<NativeInterface>& natives);

// What changed between two listings of interface paths, as hot-plug events
// (VEX_DEVICE_REMOVED for paths gone, then VEX_DEVICE_ARRIVED for new ones,
// each in path order). A device unplugged and plugged again between two
// listings under the same path is not seen; one replugged on another node
// is seen as a removal and an arrival.
std::vector<std::pair<int, std::string>> hotplugEvents(const std::set<std::string>& before,
                                                       const std::set<std::string>& now);

}  // namespace vexlink::hid
