// Interface paths of real HID devices: the Windows form that the programs'
// filters read, collection numbers per device node, the recognised set, and
// the hot-plug events between two listings.
#include "vexlink/hid/hid_paths.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "device/vexlink.h"

using vexlink::hid::describe;
using vexlink::hid::interfacePath;
using vexlink::hid::NativeInterface;

namespace {

TEST(HidPaths, WindowsInterfacePathForm) {
    const NativeInterface n{"/dev/hidraw3", 0x2F1B, 0x7A01, 0xFF00, 1};
    const std::string path = interfacePath(n, 5);
    EXPECT_EQ(path, "\\\\?\\hid#vid_2f1b&pid_7a01&col05#hidraw3#{4d1e55b2-f16f-11cf-88cb-001111000030}");
    // The tester's arrival check: the first 22 characters and characters 26..30.
    EXPECT_EQ(path.substr(0, 22), "\\\\?\\hid#vid_2f1b&pid_7");
    EXPECT_EQ(path.substr(26, 5), "col05");
}

TEST(HidPaths, NodeNamesStayDistinct) {
    // Characters other than letters and digits are escaped, so two nodes
    // that differ only there keep different paths.
    const NativeInterface a{"/dev/usb/a_b", 1, 2, 0, 0}, b{"/dev/usb/a/b", 1, 2, 0, 0};
    EXPECT_NE(interfacePath(a, 1), interfacePath(b, 1));
    EXPECT_EQ(interfacePath(b, 1).find('/'), std::string::npos);
}

// Without a readable descriptor a node keeps hidapi's entries, numbered in
// listed order; a node with one entry has no collection number. Only the
// family's own controllers are reported as touch controllers: the other id
// pairs, the PWM tester and the UART bridge are found by id searches.
TEST(HidPaths, EntriesOfNodesWithoutDescriptorAndWhichAreTouch) {
    const std::vector<NativeInterface> natives = {
        {"/dev/hidraw1", 0x20AC, 0x0E01, 0x000D, 0x04},  // controller of another id pair
        {"/dev/hidraw1", 0x20AC, 0x0E01, 0xFF00, 0x01},
        {"/dev/hidraw0", 0x046D, 0xC077, 0x0001, 0x02},  // a mouse
        {"/dev/hidraw2", 0x2F1B, 0x6BFE, 0xFF00, 0x01},  // PWM tester
        {"/dev/hidraw4", 0x14F8, 0x5804, 0xFF00, 0x01},  // UART bridge
        {"/dev/hidraw5", 0x2F1B, 0x7B06, 0x000D, 0x04},  // the family's controller
        {"/dev/hidraw5", 0x2F1B, 0x7B06, 0xFF00, 0x01},
        {"/dev/hidraw1", 0x20AC, 0x0E01, 0x0001, 0x06},
    };
    const auto interfaces = describe(natives, nullptr);
    ASSERT_EQ(interfaces.size(), natives.size());
    EXPECT_TRUE(std::is_sorted(interfaces.begin(), interfaces.end(),
                               [](auto& x, auto& y) { return x.info.path < y.info.path; }));
    for (const auto& h : interfaces) {
        const auto& i = h.info;
        SCOPED_TRACE(i.path);
        EXPECT_EQ(i.touchController, i.vendorId == 0x2F1B && i.productId == 0x7B06);
        EXPECT_EQ(i.path.find("#" + h.nativePath.substr(5) + "#"), i.path.find('#', 20));
        if (i.vendorId == 0x20AC || i.productId == 0x7B06) {
            // value1/value2 are the usage page and usage of that collection.
            const char* col = i.value1 == 0x000D ? "&col01#" : i.value1 == 0xFF00 ? "&col02#" : "&col03#";
            EXPECT_NE(i.path.find(col), std::string::npos);
        } else {
            EXPECT_EQ(i.path.find("&col"), std::string::npos);
        }
        EXPECT_LT(i.path.size(), 512u);
    }
}

TEST(HidPaths, HotplugEventsFromTwoListings) {
    const std::set<std::string> before = {"a", "b", "c"};
    const std::set<std::string> now = {"b", "d", "a2"};
    using E = std::pair<int, std::string>;
    EXPECT_EQ(vexlink::hid::hotplugEvents(before, now),
              (std::vector<E>{{VEX_DEVICE_REMOVED, "a"}, {VEX_DEVICE_REMOVED, "c"},
                              {VEX_DEVICE_ARRIVED, "a2"}, {VEX_DEVICE_ARRIVED, "d"}}));
    EXPECT_TRUE(vexlink::hid::hotplugEvents(now, now).empty());
}

}  // namespace
