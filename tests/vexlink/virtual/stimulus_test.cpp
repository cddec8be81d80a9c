// The PWM tester's touch stimulus and the controllers' answer to it, the
// tester's noise source, and the controllers' channel tests.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "device/vexlink.h"
#include "tests/vexlink/virtual/firmware_harness.h"
#include "vexlink/virtual/control.h"
#include "vexlink/virtual/touch_stimulus.h"

namespace vexlink::virt::testing {
namespace {

constexpr int64_t kUs = 1000;
constexpr int64_t kMs = 1000 * kUs;

// The contact follows the stimulus like a delay line: a touch `latency`
// after it goes on, repeats every 8 ms while it stays on, a lift `latency`
// after it goes off.
TEST(StimulusTouch, ContactFollowsTheStimulusAfterTheLatency) {
    struct Step {
        const char* what;
        int switchTo;        // -1: no switch, 0 off, 1 on (at atUs)
        int64_t atUs;        // the switch's time, or the time asked for
        std::vector<bool> expected;  // reports due by atUs (for no switch)
    };
    const Step steps[] = {
        {"on", 1, 0, {}},
        {"just before the latency", -1, 4'999, {}},
        {"at the latency: the touch", -1, 5'000, {true}},
        {"before the repeat", -1, 12'999, {}},
        {"the repeat 8 ms later", -1, 13'000, {true}},
        {"off", 0, 14'000, {}},
        {"before the lift", -1, 18'999, {}},
        {"the lift", -1, 19'000, {false}},
        {"no repeat after the lift", -1, 100'000, {}},
        {"a short pulse: on", 1, 200'000, {}},
        {"a short pulse: off", 0, 201'000, {}},
        {"the pulse arrives whole", -1, 206'000, {true, false}},
        {"on again", 1, 300'000, {}},
        {"on once more changes nothing", 1, 301'000, {}},
        {"touch", -1, 305'000, {true}},
        {"far behind: one repeat, not a burst", -1, 400'000, {true}},
    };
    StimulusTouch touch;
    touch.setLatencyNs(5 * kMs);
    EXPECT_EQ(touch.nextDueNs(), INT64_MAX);
    for (const Step& s : steps) {
        if (s.switchTo >= 0)
            touch.change(s.switchTo == 1, s.atUs * kUs);
        else
            EXPECT_EQ(touch.due(s.atUs * kUs), s.expected) << s.what;
    }
    EXPECT_TRUE(touch.touching());
    EXPECT_EQ(touch.nextDueNs(), 408 * kMs) << "one period after the late repeat";
}

TEST(PwmTester, NoiseSourceRunsOnceAppliedWithItsCode) {
    Device pwm("pwm-tester");
    auto apply = [&](uint8_t arg1, uint8_t arg2) {
        return pwm.status(wire::kPwmApply, {arg1, 0, 0, 0, arg2, 0, 0, 0});
    };
    EXPECT_FALSE(pwm.firmware->pwmOutput().on);
    // SetHeronPWMFreq(700, 15 V): set, not yet driven.
    ASSERT_EQ(pwm.status(wire::kSetPwmFreq, {0xBC, 0x02, 0, 0, 2}), wire::kOk);
    Firmware::PwmOutput out = pwm.firmware->pwmOutput();
    EXPECT_EQ(out.divisor, 700);
    EXPECT_EQ(out.voltage, 2);
    EXPECT_FALSE(out.on);
    EXPECT_EQ(apply(1, 0x44), wire::kFailed) << "only output 0";
    EXPECT_EQ(apply(0, 0x43), wire::kFailed) << "only the drive code 0x44";
    EXPECT_FALSE(pwm.firmware->pwmOutput().on);
    EXPECT_EQ(apply(0, 0x44), wire::kOk);
    EXPECT_TRUE(pwm.firmware->pwmOutput().on);
    // A new divisor takes effect on the running output.
    ASSERT_EQ(pwm.status(wire::kSetPwmFreq, {36, 0, 0, 0, 0}), wire::kOk);
    out = pwm.firmware->pwmOutput();
    EXPECT_EQ(out.divisor, 36);
    EXPECT_TRUE(out.on);
    // The stimulus: index 1 off, 2 on, nothing else.
    EXPECT_EQ(pwm.request(wire::kSetFreqIndex, {2})[6], 2);
    EXPECT_TRUE(pwm.firmware->stimulusOn());
    EXPECT_EQ(pwm.status(wire::kSetFreqIndex, {3}), wire::kFailed);
    EXPECT_EQ(pwm.request(wire::kSetFreqIndex, {1})[6], 1);
    EXPECT_FALSE(pwm.firmware->stimulusOn());
}

// Channel numbers run from 1 to the channel count (0 leaves the axis out);
// drive 0 is X, 1 is Y.
TEST(ChannelTests, StartWithinTheCountsAndStop) {
    Device osprey("osprey");  // 40 x 30
    struct Case {
        uint8_t command, drive, x, y, expected;
    };
    const Case cases[] = {
        {wire::kSelfCapChannel, 0, 40, 30, wire::kOk},
        {wire::kSelfCapChannel, 0, 41, 1, wire::kFailed},
        {wire::kMutualCapChannel, 1, 0, 30, wire::kOk},
        {wire::kMutualCapChannel, 1, 1, 31, wire::kFailed},
        {wire::kSelfCapChannel, 2, 1, 1, wire::kFailed},
    };
    for (const Case& c : cases)
        EXPECT_EQ(osprey.status(c.command, {c.drive, c.x, c.y}), c.expected)
            << int(c.command) << " drive " << int(c.drive) << " x " << int(c.x) << " y " << int(c.y);
    EXPECT_EQ(osprey.status(wire::kStopChannelTest), wire::kOk);

    Device loader("bootloader");
    EXPECT_EQ(loader.status(wire::kSelfCapChannel, {0, 1, 1}), wire::kUnsupported);
}

// ---- through the library: the registry carries the stimulus ---------------

class Packets {
public:
    Packets() { m_window.post = &Packets::post; m_window.user = this; }
    VexWindow* window() { return &m_window; }
    std::vector<std::array<uint8_t, 64>> all() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_packets;
    }
    bool waitForCount(size_t n, int timeoutMs = 5000) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return m_packets.size() >= n; });
    }

private:
    static void post(VexWindow* w, VexRegistration, uint32_t, const uint8_t* packet) {
        auto* self = static_cast<Packets*>(w->user);
        std::array<uint8_t, 64> p;
        std::memcpy(p.data(), packet, 64);
        {
            std::lock_guard<std::mutex> lock(self->m_mutex);
            self->m_packets.push_back(p);
        }
        self->m_cv.notify_all();
    }
    VexWindow m_window{};
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<std::array<uint8_t, 64>> m_packets;
};

class StimulusThroughLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("VEXLINK_NO_HID", "1", 1);
        ASSERT_EQ(control::configure("pwm-tester;heron:latency=7.5,finger=0"), "");
        const auto devices = control::list();
        ASSERT_EQ(devices.size(), 2u);
        m_tester = open(devices[0].path);
        m_controller = open(devices[1].path);
        m_controllerId = devices[1].id;
        ASSERT_NE(m_tester, 0u);
        ASSERT_NE(m_controller, 0u);
        ASSERT_NE(DevRegisterSubPacket(m_controller, m_touches.window(), 0x36, 0x13, 0x601), 0u);
    }
    void TearDown() override {
        control::useSteadyStimulusTime();
        for (VexHandle h : {m_tester, m_controller})
            if (h) CloseHIDDevice(h);
        control::configure("");
    }
    static VexHandle open(const std::string& path) {
        VexDeviceDescriptor d{};
        std::strncpy(d.path, path.c_str(), VEX_PATH_SIZE - 1);
        return OpenHIDDevice(d);
    }
    int stimulus(int index) {
        uint8_t buffer[64] = {};
        return DevSetFreqIndex(m_tester, buffer, index);
    }
    // Byte 4 of the multi-contact report: the first contact's status.
    std::vector<int> states() {
        std::vector<int> out;
        for (const auto& p : m_touches.all()) out.push_back(p[4]);
        return out;
    }

    VexHandle m_tester = 0;
    VexHandle m_controller = 0;
    int m_controllerId = 0;
    Packets m_touches;
};

TEST_F(StimulusThroughLibrary, TouchAndLiftFollowTheTestersSwitchesAfterTheLatency) {
    const int64_t t0 = 1000 * kMs;
    EXPECT_EQ(control::setStimulusTime(t0), 0);
    ASSERT_EQ(stimulus(2), 1);
    EXPECT_EQ(control::setStimulusTime(t0 + 7'499'999), 0);
    EXPECT_EQ(control::setStimulusTime(t0 + 7'500'000), 1);
    ASSERT_TRUE(m_touches.waitForCount(1));
    const auto first = m_touches.all()[0];
    EXPECT_EQ(first[2], 0x36);
    EXPECT_EQ(first[3], 0x13);
    EXPECT_EQ(first[0], 6) << "the Heron report id";

    EXPECT_EQ(control::setStimulusTime(t0 + 10 * kMs), 0);
    ASSERT_EQ(stimulus(1), 1);
    // The repeat at 15.5 ms still comes (the contact lasts until 17.5 ms), then the lift.
    EXPECT_EQ(control::setStimulusTime(t0 + 17 * kMs), 1);
    EXPECT_EQ(control::setStimulusTime(t0 + 17'500'000), 1);
    ASSERT_TRUE(m_touches.waitForCount(3));
    EXPECT_EQ(states(), (std::vector<int>{1, 1, 0}));
    EXPECT_EQ(control::setStimulusTime(t0 + 100 * kMs), 0) << "nothing after the lift";

    // DevSetOption(2, 0) silences the touch output, the stimulus' reports too.
    ASSERT_EQ(DevSetOption(m_controller, 2, 0), 1);
    ASSERT_EQ(stimulus(2), 1);
    EXPECT_EQ(control::setStimulusTime(t0 + 200 * kMs), 0);
    EXPECT_EQ(m_touches.all().size(), 3u);
}

// On the steady clock the controller's own thread sends the touch, never
// sooner than the latency after the switch.
TEST_F(StimulusThroughLibrary, OnTheSteadyClockTheTouchComesNoSoonerThanTheLatency) {
    using Clock = std::chrono::steady_clock;
    const auto before = Clock::now();
    ASSERT_EQ(stimulus(2), 1);
    ASSERT_TRUE(m_touches.waitForCount(1));
    EXPECT_GE(Clock::now() - before, std::chrono::microseconds(7500));
    ASSERT_EQ(stimulus(1), 1);
    // Wait for the lift among the repeats.
    for (int round = 0; round < 100; ++round) {
        const std::vector<int> s = states();
        if (!s.empty() && s.back() == 0) break;
        m_touches.waitForCount(s.size() + 1, 100);
    }
    const std::vector<int> s = states();
    ASSERT_FALSE(s.empty());
    EXPECT_EQ(s.front(), 1);
    EXPECT_EQ(s.back(), 0);
}

}  // namespace
}  // namespace vexlink::virt::testing
