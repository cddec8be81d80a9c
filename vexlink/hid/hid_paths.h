// Pure logic of the real-HID backend: which devices count as touch
// controllers, and how a native hidapi interface becomes an interface path in
// the Windows form that the programs' collection and arrival filters read.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "vexlink/transport.h"

namespace vexlink::hid {

// One interface as hidapi lists it. hidapi lists the collections of a device
// node as entries of their own, with the node's path repeated (on hidraw,
// before 0.14, nested collections as well as top-level ones).
struct NativeInterface {
    std::string nativePath;  // /dev/hidrawN on Linux
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint16_t usagePage = 0;
    uint16_t usage = 0;
};

// The controllers that EnumerateHidDevices reports: the family's own
// (lumora::kFamilyControllers), the same set the virtual devices report.
// Every collection of such a device counts, so the programs' own collection
// rules ("&COL04", "&COL06") decide among them as they would on any host.
// The PWM tester, the feature-report device, the UART bridge boards and the
// controllers' other id pairs are found only by a search for their ids.
bool isTouchController(uint16_t vendorId, uint16_t productId);

// \\?\hid#vid_xxxx&pid_xxxx&colNN#<node>#{HID interface class}
// NN is the 1-based position of the top-level collection within its device
// node; a node with a single collection has no "&colNN" part, as on a
// Windows host (collection 0 here). <node> is the native path without a
// leading "/dev/", every character other than a letter or digit written as
// _XX (hex), so that it stays unique and the path stays stable while the
// device is plugged.
std::string interfacePath(const NativeInterface& native, int collection);

// The report descriptor of a node, by its native path; nothing when it
// cannot be had.
using DescriptorSource = std::function<std::optional<std::vector<uint8_t>>(const std::string&)>;

// One interface of the backend's enumeration and the node it opens through.
struct HidInterface {
    InterfaceInfo info;
    std::string nativePath;
};

// Turns hidapi's list into the backend's enumeration. Each node (native
// path) gets one interface per top-level collection of its report
// descriptor, numbered in descriptor order as a Windows host numbers them;
// a node whose descriptor cannot be read or parsed keeps the entries hidapi
// listed for it, numbered in that order. Vendor and product id come from the
// node's first entry. value1 and value2 are the collection's usage page and
// usage. Sorted by path for a stable order.
std::vector<HidInterface> describe(const std::vector<NativeInterface>& natives,
                                   const DescriptorSource& descriptorOf);

// What changed between two listings of interface paths, as hot-plug events
// (VEX_DEVICE_REMOVED for paths gone, then VEX_DEVICE_ARRIVED for new ones,
// each in path order). A device unplugged and plugged again between two
// listings under the same path is not seen; one replugged on another node
// is seen as a removal and an arrival.
std::vector<std::pair<int, std::string>> hotplugEvents(const std::set<std::string>& before,
                                                       const std::set<std::string>& now);

}  // namespace vexlink::hid
