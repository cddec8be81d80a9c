// The USB vendor/product ids of every device the programs open, in one
// place: the library's enumeration, both programs' searches, the virtual
// devices' tests and the device-access rule installed for the hidraw nodes
// (generated from kOpenedDevices at build time) all read them from here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace lumora {

struct UsbIdPair {
    uint16_t vendor;
    uint16_t product;
};

// A vendor id with a range of product ids, both ends included.
struct UsbIdRange {
    uint16_t vendor;
    uint16_t productFirst;
    uint16_t productLast;
    const char* what;  // one line for people reading the generated rule

    constexpr bool contains(uint16_t v, uint16_t p) const {
        return v == vendor && p >= productFirst && p <= productLast;
    }
};

// The family's own controllers: vendor 0x2F1B, products 0x7000..0x7FFF
// (every class and boot loader of the family; the tester's arrival check
// accepts the same "VID_2F1B&PID_7" prefix). EnumerateHidDevices reports
// exactly these, over real HID and among the virtual devices alike.
inline constexpr UsbIdRange kFamilyControllers[] = {
    {0x2F1B, 0x7000, 0x7FFF, "the family's touch controllers and their boot loaders"},
};

// The vendor/product id pairs under which controllers of the family also
// enumerate, in the order both programs search them when the library
// recognises no controller by itself. The library does not report them on
// its own: they are found only by this search.
inline constexpr UsbIdPair kControllerIdPairs[] = {
    {0x20AC, 0x0E01}, {0x20AC, 0x0E02}, {0x20AC, 0x0F01},
    {0x04E7, 0x006E}, {0x04E7, 0x006F}, {0x04E7, 0x006C},
};

// The PWM tester board of the tuner's Analyze page.
inline constexpr UsbIdPair kPwmTesterId = {0x2F1B, 0x6BFE};
// The feature-report device of the workbench (report id 7).
inline constexpr UsbIdPair kFeatureDeviceId = {0x2F1B, 0x6C07};
// The UART bridge boards through which the tester reaches a unit.
inline constexpr UsbIdPair kUartBridgeIds[] = {{0x14F8, 0x5804}, {0x14F8, 0x5806}};

// True for a device that EnumerateHidDevices reports.
constexpr bool isFamilyController(uint16_t vendor, uint16_t product) {
    for (const UsbIdRange& r : kFamilyControllers)
        if (r.contains(vendor, product)) return true;
    return false;
}

namespace detail {

constexpr size_t kOpenedDeviceCount = std::size(kFamilyControllers) + std::size(kControllerIdPairs) +
                                      1 + 1 + std::size(kUartBridgeIds);

constexpr std::array<UsbIdRange, kOpenedDeviceCount> openedDevices() {
    std::array<UsbIdRange, kOpenedDeviceCount> all{};
    size_t n = 0;
    for (const UsbIdRange& r : kFamilyControllers) all[n++] = r;
    for (const UsbIdPair& p : kControllerIdPairs)
        all[n++] = {p.vendor, p.product, p.product, "a controller of the family under another id pair"};
    all[n++] = {kPwmTesterId.vendor, kPwmTesterId.product, kPwmTesterId.product, "the PWM tester"};
    all[n++] = {kFeatureDeviceId.vendor, kFeatureDeviceId.product, kFeatureDeviceId.product,
                "the feature-report device"};
    for (const UsbIdPair& p : kUartBridgeIds)
        all[n++] = {p.vendor, p.product, p.product, "a UART bridge board"};
    return all;
}

}  // namespace detail

// Every device either program opens: what a user needs access to.
inline constexpr auto kOpenedDevices = detail::openedDevices();

constexpr bool isOpenedDevice(uint16_t vendor, uint16_t product) {
    for (const UsbIdRange& r : kOpenedDevices)
        if (r.contains(vendor, product)) return true;
    return false;
}

}  // namespace lumora
