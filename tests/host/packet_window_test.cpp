// Packet windows and the GUI dispatcher against a virtual controller.
#include <gtest/gtest.h>

#include <QApplication>
#include <QThread>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "device/vexlink.h"
#include "host/packet_window.h"
#include "tests/support/test_support.h"
#include "vexlink/virtual/control.h"

namespace lumora::host {
namespace {

using lumora::test_support::app;
using lumora::test_support::pump;
using lumora::test_support::waitUntil;

int takeCommandCollection(void* context, const char* path, void*, uint32_t v1, uint32_t v2) {
    const std::string p(path);
    if (p.find("&col04") != std::string::npos || p.find("&col06") != std::string::npos ||
        p.find("&COL04") != std::string::npos || p.find("&COL06") != std::string::npos)
        return 0;
    auto* d = static_cast<VexDeviceDescriptor*>(context);
    std::memset(d, 0, sizeof *d);
    std::strncpy(d->path, path, sizeof d->path - 1);
    d->value1 = v1;
    d->value2 = v2;
    return 1;
}

// A packet id the idle controller never sends by itself.
constexpr uint8_t kTestPacketId = 0x77;

class PacketWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        app();
        ASSERT_EQ(vexlink::control::configure("osprey"), "");
        VexDeviceDescriptor d{};
        ASSERT_GT(EnumerateHidDevices(&d, &takeCommandCollection), 0);
        handle = OpenHIDDevice(d);
        ASSERT_NE(handle, 0u);
        for (const auto& s : vexlink::control::list())
            if (s.path == d.path) deviceId = s.id;
        ASSERT_GT(deviceId, 0);
    }
    void TearDown() override {
        if (handle) CloseHIDDevice(handle);
        vexlink::control::configure("");
    }

    VexPacket packet(uint8_t id, uint8_t sub, uint8_t fill) {
        VexPacket p{};
        for (int i = 0; i < VEX_PACKET_SIZE; ++i) p.bytes[i] = uint8_t(fill + i);
        p.bytes[1] = 0;  // never the end packet
        p.bytes[2] = id;
        p.bytes[3] = sub;
        return p;
    }

    VexHandle handle = 0;
    int deviceId = 0;
};

struct Received {
    uint32_t message;
    VexPacket packet;
    bool onGuiThread;
};

TEST_F(PacketWindowTest, DeliversACopyOfEachPacketOnTheGuiThreadInOrder) {
    PacketWindow window;
    std::vector<Received> got;
    window.setHandler([&](uint32_t message, const VexPacket& p) {
        got.push_back({message, p, QThread::currentThread() == app().thread()});
    });
    ASSERT_NE(window.registerPacket(handle, kTestPacketId, 0x602), 0u);
    ASSERT_NE(window.registerSubPacket(handle, kTestPacketId + 1, 5, 0x601), 0u);

    const VexPacket first = packet(kTestPacketId, 0, 10);
    const VexPacket other = packet(kTestPacketId + 1, 4, 20);  // sub id not registered
    const VexPacket sub = packet(kTestPacketId + 1, 5, 30);
    const VexPacket second = packet(kTestPacketId, 9, 40);
    for (const VexPacket* p : {&first, &other, &sub, &second})
        ASSERT_TRUE(vexlink::control::injectPacket(deviceId, p->bytes));
    ASSERT_TRUE(waitUntil([&] { return got.size() >= 3; }));
    pump(200);  // nothing more may arrive

    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].message, 0x602u);
    EXPECT_EQ(std::memcmp(got[0].packet.bytes, first.bytes, 64), 0);
    EXPECT_EQ(got[1].message, 0x601u);
    EXPECT_EQ(std::memcmp(got[1].packet.bytes, sub.bytes, 64), 0);
    EXPECT_EQ(std::memcmp(got[2].packet.bytes, second.bytes, 64), 0);
    for (const Received& r : got) EXPECT_TRUE(r.onGuiThread);
}

// A packet may already sit in the event queue when its page unregisters;
// it must not reach the page after that.
TEST_F(PacketWindowTest, DropsQueuedPacketsOfAnEndedRegistrationOnly) {
    PacketWindow window;
    std::vector<uint8_t> got;  // packet ids
    window.setHandler([&](uint32_t, const VexPacket& p) { got.push_back(p.bytes[2]); });
    const VexRegistration ended = window.registerPacket(handle, kTestPacketId, 0x602);
    const VexRegistration kept = window.registerPacket(handle, kTestPacketId + 1, 0x602);
    ASSERT_NE(ended, 0u);
    ASSERT_NE(kept, 0u);

    // Queue one packet of each as the delivery thread does, then end one
    // registration before the event loop runs.
    const VexPacket a = packet(kTestPacketId, 0, 1);
    const VexPacket b = packet(kTestPacketId + 1, 0, 2);
    std::thread delivery([&] {
        VexWindow* w = window.vexWindow();
        w->post(w, ended, 0x602, a.bytes);
        w->post(w, kept, 0x602, b.bytes);
    });
    delivery.join();
    EXPECT_NE(window.unregister(handle, ended), 0);
    EXPECT_EQ(window.unregister(handle, 0), 0);  // 0 fails as in the library

    waitUntil([&] { return !got.empty(); });
    pump(200);
    EXPECT_EQ(got, std::vector<uint8_t>{uint8_t(kTestPacketId + 1)});

    // And from the device itself: nothing more for the ended registration.
    got.clear();
    ASSERT_TRUE(vexlink::control::injectPacket(deviceId, a.bytes));
    ASSERT_TRUE(vexlink::control::injectPacket(deviceId, b.bytes));
    ASSERT_TRUE(waitUntil([&] { return !got.empty(); }));
    pump(200);
    EXPECT_EQ(got, std::vector<uint8_t>{uint8_t(kTestPacketId + 1)});
}

TEST_F(PacketWindowTest, DestroyedWindowEndsItsRegistrations) {
    int seen = 0;
    const VexPacket p = packet(kTestPacketId, 0, 3);
    {
        PacketWindow window;
        window.setHandler([&](uint32_t, const VexPacket&) { ++seen; });
        ASSERT_NE(window.registerPacket(handle, kTestPacketId, 0x602), 0u);
        // Packets still on their way when the window goes are discarded
        // with it (a use after free here fails under the sanitizers).
        for (int i = 0; i < 50; ++i) vexlink::control::injectPacket(deviceId, p.bytes);
    }
    // A window registered later gets the packets from then on; the handler
    // of the destroyed one is never called.
    PacketWindow next;
    int nextSeen = 0;
    next.setHandler([&](uint32_t, const VexPacket&) { ++nextSeen; });
    ASSERT_NE(next.registerPacket(handle, kTestPacketId, 0x602), 0u);
    ASSERT_TRUE(vexlink::control::injectPacket(deviceId, p.bytes));
    ASSERT_TRUE(waitUntil([&] { return nextSeen >= 1; }));
    EXPECT_EQ(seen, 0);
}

struct CallbackLog {
    std::vector<uint8_t> marks;  // byte 10 of each packet, in arrival order
    bool allOnGuiThread = true;
};

void recordCallback(void* context, int, const uint8_t* packet) {
    auto* log = static_cast<CallbackLog*>(context);
    log->marks.push_back(packet[10]);
    log->allOnGuiThread = log->allOnGuiThread && QThread::currentThread() == app().thread();
}

TEST_F(PacketWindowTest, GuiDispatcherRunsCallbacksOnTheGuiThreadInOrder) {
    installGuiDispatcher();
    CallbackLog log;
    const VexRegistration r = DevRegisterPacketCallback(handle, kTestPacketId, 2, &log, &recordCallback);
    ASSERT_NE(r, 0u);
    for (uint8_t i = 0; i < 20; ++i) {
        VexPacket p = packet(kTestPacketId, 2, i);
        ASSERT_TRUE(vexlink::control::injectPacket(deviceId, p.bytes));
    }
    ASSERT_TRUE(waitUntil([&] { return log.marks.size() == 20; }));
    for (uint8_t i = 0; i < 20; ++i) EXPECT_EQ(log.marks[i], uint8_t(i + 10)) << int(i);
    EXPECT_TRUE(log.allOnGuiThread);
    DevUnregisterPacket(handle, r);
    VexSetDispatcher(nullptr, nullptr);
}

}  // namespace
}  // namespace lumora::host
