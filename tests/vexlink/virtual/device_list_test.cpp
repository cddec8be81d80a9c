// VEXLINK_DEVICES entries: what each valid entry sets up, and that every
// bad one is refused with a message naming the token at fault while the
// valid entries of the same list still come up.
#include <gtest/gtest.h>

#include <algorithm>

#include "device/controller_ids.h"
#include "vexlink/virtual/device_class.h"

namespace vexlink::virt {
namespace {

DeviceSettings settingsOf(const std::string& entry) {
    std::string error;
    auto s = parseEntry(entry, &error);
    EXPECT_TRUE(s.has_value()) << error;
    return s.value_or(DeviceSettings{});
}

struct GoodEntry {
    const char* entry;
    const char* kind;
    int typeCode;
    int x, y;
    uint16_t vendorId, productId;
};

TEST(DeviceList, ValidEntriesSetUpTheirDevice) {
    const GoodEntry cases[] = {
        {"osprey", "osprey", 4, 40, 30, 0x2F1B, 0x7A04},
        {" osprey : x=64 , y=48 ", "osprey", 4, 64, 48, 0x2F1B, 0x7A04},
        {"OSPREY:X=90,Y=90", "osprey", 4, 90, 90, 0x2F1B, 0x7A04},
        {"osprey5", "osprey5", 5, 40, 30, 0x2F1B, 0x7A05},
        {"heron", "heron", 6, 36, 22, 0x2F1B, 0x7B06},
        {"heron8:x=20", "heron8", 8, 20, 34, 0x2F1B, 0x7B08},
        {"bootloader:code=2", "bootloader", 2, 0, 0, 0x2F1B, 0x7F01},
        {"bootloader:code=7", "bootloader", 7, 0, 0, 0x2F1B, 0x7F01},
        {"switcher", "switcher", 9, 40, 30, 0x2F1B, 0x7C09},
        {"switcher:family=heron", "switcher", 9, 36, 22, 0x2F1B, 0x7C09},
        {"pwm-tester", "pwm-tester", 0, 0, 0, 0x2F1B, 0x6BFE},
        {"uart-bridge", "uart-bridge", 4, 40, 30, 0x14F8, 0x5804},
        {"uart-bridge:pid=0x5806,family=heron8", "uart-bridge", 8, 48, 34, 0x14F8, 0x5806},
        {"osprey:vid=20ac,pid=0x0E01", "osprey", 4, 40, 30, 0x20AC, 0x0E01},
    };
    for (const GoodEntry& c : cases) {
        SCOPED_TRACE(c.entry);
        std::string error;
        auto s = parseEntry(c.entry, &error);
        ASSERT_TRUE(s.has_value()) << error;
        EXPECT_STREQ(s->cls->kind, c.kind);
        EXPECT_EQ(s->typeCode, c.typeCode);
        EXPECT_EQ(s->xCount, c.x);
        EXPECT_EQ(s->yCount, c.y);
        EXPECT_EQ(s->vendorId, c.vendorId);
        EXPECT_EQ(s->productId, c.productId);
    }
}

TEST(DeviceList, FaultOptionsAreKept) {
    std::string error;
    auto s = parseEntry(
        "osprey:failread=191+200,badcrc,open=x3+y7,short=x10,panel=0,finger=0,noise=0,mute=4f+0x51",
        &error);
    ASSERT_TRUE(s.has_value()) << error;
    EXPECT_EQ(s->failingReads, (std::vector<int>{191, 200}));
    EXPECT_TRUE(s->corruptChecksum);
    EXPECT_EQ(s->openChannels, (std::vector<ChannelRef>{{false, 3}, {true, 7}}));
    EXPECT_EQ(s->shortedChannels, (std::vector<ChannelRef>{{false, 10}}));
    EXPECT_FALSE(s->panelAttached);
    EXPECT_FALSE(s->finger);
    EXPECT_EQ(s->noise, 0);
    EXPECT_EQ(s->mutedPackets, (std::vector<uint8_t>{0x4F, 0x51}));

    // The stimulus latency in microseconds, from milliseconds with up to
    // three decimals.
    for (auto [entry, us] : {std::pair{"heron:latency=12.5", 12500}, {"osprey:latency=0", 0},
                             {"heron8:latency=7.125", 7125}, {"heron:latency=10000", 10000000}}) {
        auto l = parseEntry(entry, &error);
        ASSERT_TRUE(l.has_value()) << error;
        EXPECT_EQ(l->stimulusLatencyUs, us) << entry;
    }

    auto cols = parseEntry("osprey:cols=5+4", &error);
    ASSERT_TRUE(cols.has_value()) << error;
    EXPECT_EQ(cols->collections, (std::vector<int>{5, 4}));
}

TEST(DeviceList, BadEntriesNameTheTokenAtFault) {
    struct Bad {
        std::string entry;
        const char* token;  // must appear in the message
    };
    const Bad cases[] = {
        {"ospray", "\"ospray\""},
        {"osprey:x=abc", "\"abc\""},
        {"osprey:x=256", "\"256\""},
        {"osprey:y=-1", "\"-1\""},
        {"osprey:colour=red", "\"colour\""},
        {"bootloader:code=4", "\"4\""},
        {"osprey:code=1", "\"code\""},
        {"osprey:pid=0x1FFFF", "\"0x1FFFF\""},
        {"osprey:failread=256", "\"256\""},
        {"osprey:open=z3", "\"z3\""},
        {"osprey:mute=4F+100", "\"4F+100\""},
        {"osprey:x=10,open=x10", "\"x10\""},
        {"osprey:x=10,short=x9", "\"x9\""},
        {"switcher:family=pwm-tester", "\"pwm-tester\""},
        {"pwm-tester:x=4", "\"x\""},
        {"osprey:,x=4", "empty option"},
        {"osprey:model=", "\"model\""},
        {"osprey:fw=" + std::string(201, 'v'), "\"fw\""},
        {"heron:failregs=5", "\"5\""},
        {"heron:samplerate=0x100", "\"0x100\""},
        {"heron:dac=2", "\"2\""},
        {"osprey:samplerate=0x26", "samplerate"},
        {"osprey5:freq=1", "freq"},
        {"heron:latency=1.2345", "\"1.2345\""},
        {"heron:latency=10000.001", "\"10000.001\""},
        {"heron:latency=5.", "\"5.\""},
        {"pwm-tester:latency=5", "\"latency\""},
    };
    for (const Bad& c : cases) {
        SCOPED_TRACE(c.entry);
        std::string error;
        EXPECT_FALSE(parseEntry(c.entry, &error).has_value());
        EXPECT_NE(error.find(c.token), std::string::npos) << error;
        EXPECT_EQ(error.rfind("VEXLINK_DEVICES: bad entry", 0), 0u) << error;
    }
}

TEST(DeviceList, ValidEntriesOfAListSurviveABadOne) {
    std::string errors;
    const auto devices = parseDeviceList("osprey;;ospray:x=4; heron ;bootloader:code=9", &errors);
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_STREQ(devices[0].cls->kind, "osprey");
    EXPECT_STREQ(devices[1].cls->kind, "heron");
    EXPECT_NE(errors.find("\"ospray\""), std::string::npos) << errors;
    EXPECT_NE(errors.find("\"9\""), std::string::npos) << errors;
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 2);
}

// Interface paths keep the Windows form the programs' filters read; the
// command collection of a controller is the one the tester's arrival test
// accepts: "\\?\HID#VID_2F1B&PID_7", three more characters, "&col05".
TEST(DeviceList, InterfacePathsKeepTheWindowsForm) {
    std::string command;
    const auto interfaces = interfacesFor(settingsOf("osprey"), 3, &command);
    ASSERT_EQ(interfaces.size(), 3u);
    EXPECT_NE(interfaces[0].path.find("&col04#"), std::string::npos);
    EXPECT_NE(interfaces[1].path.find("&col06#"), std::string::npos);
    EXPECT_EQ(interfaces[2].path, command);
    EXPECT_EQ(command.substr(0, 22), "\\\\?\\HID#VID_2F1B&PID_7");
    EXPECT_EQ(command.substr(25, 6), "&col05");
    for (const auto& i : interfaces) {
        EXPECT_TRUE(i.touchController);
        EXPECT_LT(i.path.size(), 512u);
    }

    const auto tester = interfacesFor(settingsOf("pwm-tester"), 4, &command);
    ASSERT_EQ(tester.size(), 1u);
    EXPECT_FALSE(tester[0].touchController);
    EXPECT_EQ(tester[0].path.substr(0, 26), "\\\\?\\HID#VID_2F1B&PID_6BFE#");
    EXPECT_EQ(command, tester[0].path);

    const auto bridge = interfacesFor(settingsOf("uart-bridge:pid=5806"), 5, &command);
    ASSERT_EQ(bridge.size(), 1u);
    EXPECT_FALSE(bridge[0].touchController);
    EXPECT_EQ(bridge[0].vendorId, 0x14F8);
    EXPECT_EQ(bridge[0].productId, 0x5806);

    // Only the feature collection present: nothing opens.
    EXPECT_EQ(interfacesFor(settingsOf("osprey:cols=4"), 6, &command).size(), 1u);
}

// Every class's ids are among the devices the installed access rule covers,
// and EnumerateHidDevices reports a device by its ids, as over real HID: the
// family's controllers and boot loaders, never the PWM tester, the UART
// bridge or the feature device, nor a controller given another id pair.
TEST(DeviceList, EnumerationAndAccessFollowTheIdTable) {
    for (const DeviceClass& cls : deviceClasses()) {
        SCOPED_TRACE(cls.kind);
        EXPECT_TRUE(lumora::isOpenedDevice(cls.vendorId, cls.productId));
    }
    const struct {
        const char* entry;
        bool reported;
    } cases[] = {
        {"osprey", true},          {"osprey5", true},
        {"heron", true},           {"heron8", true},
        {"bootloader", true},      {"switcher", true},
        {"pwm-tester", false},     {"uart-bridge", false},
        {"thqa", false},           {"osprey:vid=0x20AC,pid=0x0E01", false},
        {"heron:pid=0x7FFF", true}, {"osprey:pid=0x6FFF", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entry);
        std::string command;
        const auto interfaces = interfacesFor(settingsOf(c.entry), 7, &command);
        ASSERT_FALSE(interfaces.empty());
        for (const auto& i : interfaces) EXPECT_EQ(i.touchController, c.reported) << i.path;
    }
}

}  // namespace
}  // namespace vexlink::virt
