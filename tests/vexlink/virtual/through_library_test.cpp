// The virtual devices as the programs meet them: through the C contract of
// device/vexlink.h and, from outside, through the control API and the
// control socket with vexlink-ctl.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "device/packet.h"
#include "device/vexlink.h"
#include "vexlink/virtual/control.h"

namespace control = vexlink::control;

namespace {

// Set before the library's first use, which starts the control socket.
const std::string kSocketPath = "/tmp/vexlink-virtual-test-" + std::to_string(getpid()) + ".sock";
const bool kEnvironment = [] {
    setenv("VEXLINK_NO_HID", "1", 1);
    setenv("VEXLINK_CONTROL", kSocketPath.c_str(), 1);
    return true;
}();

struct Found {
    std::vector<std::string> paths;
};

int collect(void* context, const char* path, void*, uint32_t, uint32_t) {
    static_cast<Found*>(context)->paths.emplace_back(path);
    return 1;
}

// The tuner's controller callback: skip the &COL04 and &COL06 collections.
int tunerTake(void* context, const char* path, void*, uint32_t, uint32_t) {
    std::string upper(path);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (upper.find("&COL06") != std::string::npos || upper.find("&COL04") != std::string::npos) return 0;
    static_cast<Found*>(context)->paths.assign(1, path);
    return 1;
}

VexDeviceDescriptor descriptorFor(const std::string& path) {
    VexDeviceDescriptor d{};
    std::strncpy(d.path, path.c_str(), VEX_PATH_SIZE - 1);
    return d;
}

class ThroughLibrary : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(control::configure(""), ""); }
    void TearDown() override {
        for (VexHandle h : m_handles) CloseHIDDevice(h);
        control::configure("");
    }
    VexHandle open(const std::string& path) {
        const VexHandle h = OpenHIDDevice(descriptorFor(path));
        if (h) m_handles.push_back(h);
        return h;
    }

private:
    std::vector<VexHandle> m_handles;
};

TEST_F(ThroughLibrary, CollectionsEnumerateAndOnlyTheCommandCollectionOpens) {
    ASSERT_EQ(control::configure("osprey;uart-bridge;pwm-tester"), "");
    Found all;
    EXPECT_EQ(EnumerateHidDevices(&all, collect), 3);  // the osprey's three collections
    ASSERT_EQ(all.paths.size(), 3u);
    EXPECT_EQ(open(all.paths[0]), 0u) << all.paths[0];
    EXPECT_EQ(open(all.paths[1]), 0u) << all.paths[1];

    Found tuner;
    EnumerateHidDevices(&tuner, tunerTake);
    ASSERT_EQ(tuner.paths.size(), 1u);
    EXPECT_EQ(tuner.paths[0], all.paths[2]);
    const VexHandle h = open(tuner.paths[0]);
    ASSERT_NE(h, 0u);
    VexDeviceDescriptor d = descriptorFor(tuner.paths[0]);
    EXPECT_EQ(GetDevTypeCode(h, d), 4);

    // The UART bridge is found by its ids only, and answers as its controller.
    Found bridge;
    EXPECT_EQ(EnumerateHidDevicesById(0x14F8, 0x5804, &bridge, collect), 1);
    const VexHandle b = open(bridge.paths.at(0));
    ASSERT_NE(b, 0u);
    EXPECT_EQ(GetDevTypeCode(b, descriptorFor(bridge.paths[0])), 4);
    uint8_t info[64] = {};
    ASSERT_NE(DevGetPCAPInfo(b, info), 0);
    EXPECT_EQ(info[10], 1) << "interface: UART";

    // Only the feature collection present: the tuner takes nothing.
    ASSERT_EQ(control::configure("osprey:cols=4"), "");
    Found none;
    EnumerateHidDevices(&none, tunerTake);
    EXPECT_TRUE(none.paths.empty());
}

struct ModeReports {
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<uint8_t> modes;
};

// The production tester's path for a type-9 controller.
TEST_F(ThroughLibrary, SwitcherAnnouncesItsFamilyAfterTheModeByteStep) {
    ASSERT_EQ(control::configure("switcher:family=heron"), "");
    Found found;
    EnumerateHidDevices(&found, collect);
    const VexHandle h = open(found.paths.back());
    ASSERT_NE(h, 0u);
    ModeReports reports;
    const VexRegistration r = DevRegisterPacketCallback(
        h, 0x36, 0x7C, &reports, [](void* context, int, const uint8_t* packet) {
            auto* m = static_cast<ModeReports*>(context);
            std::lock_guard<std::mutex> lock(m->mutex);
            m->modes.push_back(packet[4]);
            m->cv.notify_all();
        });
    ASSERT_NE(r, 0u);
    const VexDeviceDescriptor d = descriptorFor(found.paths.back());
    EXPECT_EQ(GetDevTypeCode(h, d), 9);
    int8_t y = 0, x = 0;
    EXPECT_EQ(PCAPStopGetData(h, &y, &x), 0);
    uint8_t mode = 0;
    EXPECT_NE(DevWriteModeByte(h, &mode), 0);
    mode = 1;
    EXPECT_NE(DevWriteModeByte(h, &mode), 0);
    {
        std::unique_lock<std::mutex> lock(reports.mutex);
        ASSERT_TRUE(reports.cv.wait_for(lock, std::chrono::seconds(2), [&] { return !reports.modes.empty(); }));
        EXPECT_EQ(reports.modes, std::vector<uint8_t>{6});
    }
    EXPECT_EQ(GetDevTypeCode(h, d), 6);
    EXPECT_NE(PCAPStopGetData(h, &y, &x), 0);
    EXPECT_EQ(x, 36);
    EXPECT_EQ(y, 22);
    DevUnregisterPacket(h, r);
}

struct Records {
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<std::vector<uint8_t>> items;
    int done = -100;
};

// Runs the diagnostic page's Heron open test (lower 50, 50; upper 200, 200;
// failing items only) and returns its items (result, channel word, value);
// `final` gets the final result, -100 when none came.
std::vector<std::vector<uint8_t>> heronOpenTestItems(VexHandle h, int* final) {
    Records records;
    const VexRegistration item = PCAPSetOpenItemCallback(h, &records, [](void* c, int, const uint8_t* r) {
        auto* rec = static_cast<Records*>(c);
        std::lock_guard<std::mutex> lock(rec->mutex);
        rec->items.emplace_back(r + 4, r + 11);
    });
    const VexRegistration done = PCAPSetOpenDoneCallback(h, &records, [](void* c, int, const uint8_t* r) {
        auto* rec = static_cast<Records*>(c);
        std::lock_guard<std::mutex> lock(rec->mutex);
        rec->done = static_cast<int8_t>(r[4]);
        rec->cv.notify_all();
    });
    EXPECT_NE(item, 0u);
    EXPECT_NE(done, 0u);
    EXPECT_NE(PCAPStartOpenTest(h, 0, 50, 50, 200, 200), 0);
    std::vector<std::vector<uint8_t>> items;
    {
        std::unique_lock<std::mutex> lock(records.mutex);
        records.cv.wait_for(lock, std::chrono::seconds(3), [&] { return records.done != -100; });
        *final = records.done;
        items = records.items;
    }
    DevUnregisterPacket(h, item);
    DevUnregisterPacket(h, done);
    return items;
}

TEST_F(ThroughLibrary, TestRecordsReportAnInjectedFault) {
    const int id = control::plug("heron");
    ASSERT_GT(id, 0);
    const VexHandle h = open(control::list().front().path);
    ASSERT_NE(h, 0u);
    ASSERT_TRUE(control::setOpenChannel(id, true, 4, true));
    int final = 0;
    const auto items = heronOpenTestItems(h, &final);
    EXPECT_EQ(final, 0);
    ASSERT_EQ(items.size(), 1u) << "Show Fail Only: the failing channel alone";
    EXPECT_EQ(items[0][0], 0) << "result";
    EXPECT_EQ(lumora::readLE16u(&items[0][1]), 0x8000 | 4) << "Rx 4";
    EXPECT_LT(lumora::readLE16(&items[0][3]), 50);
}

// What a program leaves behind in the controller is visible to tests.
TEST_F(ThroughLibrary, StatusShowsWhatTheProgramDid) {
    const int id = control::plug("osprey");
    const VexHandle h = open(control::list().front().path);
    ASSERT_NE(h, 0u);
    int8_t y = 0, x = 0;
    ASSERT_NE(PCAPGetRawPoint(h, &y, &x), 0);
    ASSERT_NE(DevDisableFilter(h, 1), 0);
    ASSERT_NE(SetReportId(h, 4), 0);
    control::DeviceStatus s;
    ASSERT_TRUE(control::status(id, &s));
    EXPECT_EQ(s.typeCode, 4);
    EXPECT_EQ(s.stream, 2);
    EXPECT_TRUE(s.filterDisabled);
    EXPECT_EQ(s.reportId, 4);
    EXPECT_EQ(s.connections, 1);
    ASSERT_NE(DevResetController(h), 0);
    ASSERT_TRUE(control::status(id, &s));
    EXPECT_EQ(s.stream, 0) << "a reset stops the stream";
    EXPECT_TRUE(control::list().front().open);
}

// The command log holds every call a program made, in order, with its
// arguments: a deleted call fails the test that looks for it.
TEST_F(ThroughLibrary, CommandLogRecordsCallsInOrderWithArguments) {
    const int id = control::plug("heron");
    const VexHandle h = open(control::list().front().path);
    ASSERT_NE(h, 0u);
    ASSERT_TRUE(control::clearCommandLog(id));
    ASSERT_NE(DevWriteWord(h, 70, 0xBEEF), 0);
    ASSERT_NE(DevHardwareCalibration(h), 0);
    ASSERT_NE(DevResetController(h), 0);
    char model[64] = {};
    ASSERT_NE(GetDevModelName(h, model), 0);
    uint8_t regs[64];
    for (int k = 0; k < 64; ++k) regs[k] = static_cast<uint8_t>(k + 1);
    uint8_t buffer[64] = {};
    ASSERT_NE(DevWriteFreqRegs(h, buffer, 3, regs), 0);
    uint8_t raw[64] = {0x03, 0x03, 0x36, 0x5F};
    ASSERT_NE(DevSendPacket(h, raw, 64), 0);

    const auto log = control::commandLog(id);
    EXPECT_EQ(control::operationsOf(log),
              (std::vector<std::string>{"DevWriteWord", "DevHardwareCalibration",
                                        "DevResetController", "GetDevModelName",
                                        "DevWriteFreqRegs", "DevSendPacket"}));
    ASSERT_EQ(log.size(), 6u);
    EXPECT_EQ(log[0].u16(0), 70);
    EXPECT_EQ(log[0].u16(2), 0xBEEF);
    ASSERT_EQ(log[4].args.size(), 65u) << "index, then the whole block once";
    EXPECT_EQ(log[4].u8(0), 3);
    EXPECT_EQ(log[4].u8(1), 1);
    EXPECT_EQ(log[4].u8(64), 64);
    EXPECT_EQ(log[5].u8(3), 0x5F);
    EXPECT_EQ(control::operationsOf(log, {"DevResetController", "DevWriteWord"}),
              (std::vector<std::string>{"DevWriteWord", "DevResetController"}));

    ASSERT_TRUE(control::clearCommandLog(id));
    EXPECT_TRUE(control::commandLog(id).empty());
    EXPECT_TRUE(control::commandLog(id + 100).empty()) << "no such device";
}

std::string ctlPath() {
    char exe[4096] = {};
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    std::string dir(exe, n > 0 ? static_cast<size_t>(n) : 0);
    return dir.substr(0, dir.rfind('/')) + "/vexlink-ctl";
}

// Runs vexlink-ctl; returns its exit status and its standard output.
int runCtl(const std::string& args, std::string* out) {
    const std::string command = ctlPath() + " -s " + kSocketPath + " " + args + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return -1;
    char buffer[512];
    out->clear();
    while (fgets(buffer, sizeof buffer, pipe)) *out += buffer;
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A panel fault set and cleared from outside while a program holds the unit.
TEST_F(ThroughLibrary, ControlToolSetsAndClearsPanelFaults) {
    const int id = control::plug("heron");
    ASSERT_GT(id, 0);
    const VexHandle h = open(control::list().front().path);
    ASSERT_NE(h, 0u);
    const std::string unit = std::to_string(id);
    std::string out;
    int final = 0;

    ASSERT_EQ(runCtl("fault " + unit + " open Y4 1", &out), 0) << out;
    auto items = heronOpenTestItems(h, &final);
    EXPECT_EQ(final, 0);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(lumora::readLE16u(&items[0][1]), 0x8000 | 4) << "Rx 4";

    ASSERT_EQ(runCtl("fault " + unit + " open y4 0", &out), 0) << out;
    items = heronOpenTestItems(h, &final);
    EXPECT_EQ(final, 1);
    EXPECT_TRUE(items.empty());

    // A short needs the next neighbour on the panel; the last Rx has none.
    int8_t rx = 0, tx = 0;
    ASSERT_NE(PCAPStopGetData(h, &rx, &tx), 0);
    ASSERT_GT(rx, 1);
    EXPECT_EQ(runCtl("fault " + unit + " short y" + std::to_string(rx - 2) + " 1", &out), 0) << out;
    EXPECT_EQ(runCtl("fault " + unit + " short y" + std::to_string(rx - 1) + " 1", &out), 1);
    EXPECT_EQ(runCtl("fault " + unit + " noisy x" + std::to_string(tx) + " 1", &out), 1) << "past the panel";
    EXPECT_EQ(runCtl("fault 999 noisy x1 1", &out), 1);
    EXPECT_EQ(runCtl("fault " + unit + " bent x1 1", &out), 1);
    EXPECT_EQ(runCtl("fault " + unit + " open x1", &out), 2) << "usage error";
}

struct Arrivals {
    std::mutex mutex;
    std::vector<std::pair<int, std::string>> events;
};

TEST_F(ThroughLibrary, ControlToolPlugsListsAndUnplugsIntoARunningProgram) {
    Arrivals arrivals;
    VexSetHotplugListener(
        [](void* c, int event, const char* path) {
            auto* a = static_cast<Arrivals*>(c);
            std::lock_guard<std::mutex> lock(a->mutex);
            a->events.emplace_back(event, path);
        },
        &arrivals);

    std::string out;
    ASSERT_EQ(runCtl("plug 'osprey:x=20,y=12'", &out), 0) << out;
    const int id = std::atoi(out.c_str());
    ASSERT_GT(id, 0) << out;
    ASSERT_EQ(control::list().size(), 1u);
    EXPECT_EQ(control::list().front().entry, "osprey:x=20,y=12");

    ASSERT_EQ(runCtl("list", &out), 0);
    EXPECT_EQ(out.find(std::to_string(id) + " closed osprey:x=20,y=12 \\\\?\\HID#VID_2F1B&PID_7A04&col05#"), 0u)
        << out;

    ASSERT_EQ(runCtl("panel " + std::to_string(id) + " 0", &out), 0);
    control::DeviceStatus status;
    ASSERT_TRUE(control::status(id, &status));
    EXPECT_FALSE(status.panelAttached);
    EXPECT_EQ(runCtl("panel " + std::to_string(id) + " 2", &out), 1);
    EXPECT_EQ(runCtl("mode " + std::to_string(id) + " 300", &out), 1);

    // "log" hands over the calls made to the device since the last "log".
    const VexHandle h = open(control::list().front().path);
    ASSERT_NE(h, 0u);
    ASSERT_EQ(GetDevTypeCode(h, descriptorFor(control::list().front().path)), 4);
    ASSERT_EQ(runCtl("log " + std::to_string(id), &out), 0);
    EXPECT_EQ(out, "GetDevTypeCode\n1\n");
    ASSERT_EQ(runCtl("log " + std::to_string(id), &out), 0);
    EXPECT_EQ(out, "0\n");
    EXPECT_EQ(runCtl("log 999", &out), 1);

    EXPECT_EQ(runCtl("plug 'ospray'", &out), 1);
    EXPECT_EQ(runCtl("unplug 999", &out), 1);
    EXPECT_EQ(runCtl("frobnicate", &out), 2) << "usage error";

    ASSERT_EQ(runCtl("unplug " + std::to_string(id), &out), 0);
    EXPECT_TRUE(control::list().empty());

    // Arrival and removal of each interface reached the listener; the
    // command collection passes the tester's arrival test.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(arrivals.mutex);
            if (arrivals.events.size() >= 6) break;
        }
        ASSERT_LT(std::chrono::steady_clock::now(), deadline);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    VexSetHotplugListener(nullptr, nullptr);
    std::lock_guard<std::mutex> lock(arrivals.mutex);
    ASSERT_EQ(arrivals.events.size(), 6u);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(arrivals.events[i].first, VEX_DEVICE_ARRIVED);
    for (int i = 3; i < 6; ++i) EXPECT_EQ(arrivals.events[i].first, VEX_DEVICE_REMOVED);
    const std::string& command = arrivals.events[2].second;
    EXPECT_EQ(command.substr(0, 22), "\\\\?\\HID#VID_2F1B&PID_7");
    EXPECT_EQ(command.substr(26, 5), "col05");
    unlink(kSocketPath.c_str());
}

}  // namespace
