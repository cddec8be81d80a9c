// The C contract of device/vexlink.h against virtual controllers, driven
// through their control API: enumeration, identification, routing, the
// unregister promise, record callbacks on the dispatcher's thread, a device
// unplugged mid-stream, concurrent commands and hot-plug.
#include <gtest/gtest.h>

#include <atomic>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "device/packet.h"
#include "device/vexlink.h"
#include "vexlink/virtual/control.h"

using namespace std::chrono_literals;
namespace control = vexlink::control;

namespace {

// The machine's own HID devices stay out, even when run outside ctest.
const bool kNoHid = [] { return setenv("VEXLINK_NO_HID", "1", 1) == 0; }();

// Stands in for the GUI thread: runs dispatched tasks one by one.
class TaskThread {
public:
    TaskThread() : m_thread([this] { run(); }) {}
    ~TaskThread() {
        post([this] { m_quit = true; });
        m_thread.join();
    }
    void post(std::function<void()> f) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_tasks.push_back(std::move(f));
        }
        m_cv.notify_all();
    }
    std::thread::id id() const { return m_thread.get_id(); }
    static void dispatch(void* self, VexTask task, void* data) {
        static_cast<TaskThread*>(self)->post([task, data] { task(data); });
    }

private:
    void run() {
        while (!m_quit) {
            std::function<void()> f;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_cv.wait(lock, [this] { return !m_tasks.empty(); });
                f = std::move(m_tasks.front());
                m_tasks.pop_front();
            }
            f();
        }
    }
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<std::function<void()>> m_tasks;
    bool m_quit = false;
    std::thread m_thread;
};

// A window that records (message, packet) in arrival order.
struct Inbox {
    VexWindow window{};
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<std::pair<uint32_t, VexPacket>> got;
    Inbox() {
        window.user = this;
        window.post = [](VexWindow* w, VexRegistration, uint32_t message, const uint8_t* p) {
            auto* self = static_cast<Inbox*>(w->user);
            VexPacket copy;
            std::memcpy(copy.bytes, p, 64);
            {
                std::lock_guard<std::mutex> lock(self->mutex);
                self->got.emplace_back(message, copy);
            }
            self->cv.notify_all();
        };
    }
    bool waitFor(const std::function<bool(const std::vector<std::pair<uint32_t, VexPacket>>&)>& f,
                 std::chrono::milliseconds limit = 5s) {
        std::unique_lock<std::mutex> lock(mutex);
        return cv.wait_for(lock, limit, [&] { return f(got); });
    }
    int endPackets() {
        std::lock_guard<std::mutex> lock(mutex);
        int n = 0;
        for (auto& [m, p] : got) n += lumora::isEndPacket(p.bytes);
        return n;
    }
};

VexPacket makePacket(uint8_t id, uint8_t sub, uint8_t tag = 0) {
    VexPacket p{};
    p.bytes[0] = 3;
    p.bytes[2] = id;
    p.bytes[3] = sub;
    p.bytes[5] = tag;
    return p;
}

struct Seen {
    std::vector<std::string> paths;
    std::function<bool(const std::string&)> take = [](const std::string&) { return true; };
};
int remember(void* context, const char* path, void* reserved, uint32_t, uint32_t) {
    auto* seen = static_cast<Seen*>(context);
    EXPECT_EQ(reserved, nullptr);
    EXPECT_LT(std::strlen(path), size_t{VEX_PATH_SIZE});
    seen->paths.push_back(path);
    return seen->take(path) ? 1 : 0;
}

struct Records {
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<char> order;  // 'i' item, 'd' done
    bool offThread = false;
    std::thread::id gui;
};
void noteRecord(Records* r, char what) {
    std::lock_guard<std::mutex> lock(r->mutex);
    r->order.push_back(what);
    if (std::this_thread::get_id() != r->gui) r->offThread = true;
    r->cv.notify_all();
}

class Contract : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(control::configure(""), ""); }
    // Handles close and the dispatcher goes before the members below are
    // destroyed, so that no delivery or task can reach them afterwards.
    void TearDown() override {
        for (VexHandle h : handles) CloseHIDDevice(h);
        VexSetDispatcher(nullptr, nullptr);
        VexSetHotplugListener(nullptr, nullptr);
        control::configure("");
    }
    void closeAll() {
        for (VexHandle h : handles) CloseHIDDevice(h);
        handles.clear();
        VexSetDispatcher(nullptr, nullptr);
    }
    void useGuiThread() { VexSetDispatcher(&TaskThread::dispatch, &gui); }
    Inbox& inbox() { return inboxes.emplace_back(); }
    // Plugs one device and opens its command interface.
    VexHandle plugAndOpen(const std::string& entry, int* id = nullptr) {
        std::string error;
        const int deviceId = control::plug(entry, &error);
        EXPECT_GT(deviceId, 0) << error;
        if (id) *id = deviceId;
        VexDeviceDescriptor d{};
        for (const auto& s : control::list())
            if (s.id == deviceId) std::strncpy(d.path, s.path.c_str(), VEX_PATH_SIZE - 1);
        const VexHandle h = OpenHIDDevice(d);
        EXPECT_NE(h, 0u) << d.path;
        handles.push_back(h);
        return h;
    }
    std::vector<VexHandle> handles;
    TaskThread gui;
    std::deque<Inbox> inboxes;
};

TEST_F(Contract, EnumerationSetsOrderAndTakenCount) {
    ASSERT_EQ(control::configure("osprey; pwm-tester; heron; thqa"), "");
    Seen all;
    EXPECT_EQ(EnumerateHidDevices(&all, &remember), 6) << "two controllers, three collections each";
    for (const auto& p : all.paths) EXPECT_EQ(p.find("PID_6BFE"), std::string::npos) << p;
    ASSERT_EQ(all.paths.size(), 6u);
    EXPECT_NE(all.paths[0].find("PID_7A04"), std::string::npos) << "plug order is the order";
    EXPECT_NE(all.paths[5].find("PID_7B06"), std::string::npos);

    Seen again;
    EnumerateHidDevices(&again, &remember);
    EXPECT_EQ(again.paths, all.paths) << "stable order";

    // The callback's answer decides the count: the tuner's collection rule.
    Seen skipping;
    skipping.take = [](const std::string& p) {
        return p.find("&col04") == std::string::npos && p.find("&col06") == std::string::npos;
    };
    EXPECT_EQ(EnumerateHidDevices(&skipping, &remember), 2);
    EXPECT_EQ(skipping.paths.size(), 6u);

    Seen tester;
    EXPECT_EQ(EnumerateHidDevicesById(0x2F1B, 0x6BFE, &tester, &remember), 1);
    ASSERT_EQ(tester.paths.size(), 1u);
    EXPECT_NE(tester.paths[0].find("PID_6BFE"), std::string::npos);

    Seen feature;
    EXPECT_EQ(EnumerateHidDevicesEx(0x38, 0, 0x101, 0x2F1B, 0x6C07, &feature, &remember), 1);
    Seen none;
    EXPECT_EQ(EnumerateHidDevicesById(0x20AC, 0x0E01, &none, &remember), 0);
    EXPECT_TRUE(none.paths.empty());
}

TEST_F(Contract, IdentifiesAndReadsTheVirtualOsprey) {
    int id = 0;
    const VexHandle h = plugAndOpen("osprey", &id);
    EXPECT_EQ(GetDevTypeCode(h, VexDeviceDescriptor{}), 4);
    char model[64];
    std::memset(model, 0, sizeof model);
    ASSERT_EQ(GetDevModelName(h, model), 1);
    EXPECT_STREQ(model, "ZT-4030");
    int8_t y = 0, x = 0;
    ASSERT_EQ(PCAPStopGetData(h, &y, &x), 1);
    EXPECT_EQ(y, 30);
    EXPECT_EQ(x, 40);

    ASSERT_TRUE(control::setWord(id, 191, 0xBEEF));
    uint16_t word = 0;
    ASSERT_EQ(DevReadWord(h, 191, &word), 1);
    EXPECT_EQ(word, 0xBEEF);
    ASSERT_EQ(DevWriteWord(h, 190, 0x1234), 1);
    ASSERT_TRUE(control::getWord(id, 190, &word));
    EXPECT_EQ(word, 0x1234);
    ASSERT_TRUE(control::failRead(id, 191, true));
    EXPECT_EQ(DevReadWord(h, 191, &word), 0);
    EXPECT_EQ(DevReadWord(h, 256, &word), 0) << "index out of the memory";
}

TEST_F(Contract, ModelNameTooLongStillEndsInsideTheBuffer) {
    const VexHandle h = plugAndOpen("osprey:model=" + std::string(63, 'M'));
    char model[64];
    std::memset(model, 0, sizeof model);
    ASSERT_EQ(GetDevModelName(h, model), 1);
    EXPECT_EQ(std::strlen(model), 63u);
    EXPECT_EQ(model[63], '\0');
}

TEST_F(Contract, HandlesAndRegistrationsAreNeverReused) {
    const VexHandle first = plugAndOpen("osprey");
    Inbox& box = inbox();
    const VexRegistration r1 = DevRegisterPacket(first, &box.window, 0x3B, 0x602);
    ASSERT_NE(r1, 0u);
    ASSERT_EQ(CloseHIDDevice(first), 1);
    EXPECT_EQ(CloseHIDDevice(first), 0) << "closed once";
    EXPECT_EQ(GetDevTypeCode(first, VexDeviceDescriptor{}), 0) << "a closed handle fails";

    VexDeviceDescriptor d{};
    std::strncpy(d.path, control::list().front().path.c_str(), VEX_PATH_SIZE - 1);
    const VexHandle second = OpenHIDDevice(d);
    handles.push_back(second);
    ASSERT_NE(second, 0u);
    EXPECT_NE(second, first);
    const VexRegistration r2 = DevRegisterPacket(second, &box.window, 0x3B, 0x602);
    EXPECT_NE(r2, r1);
    EXPECT_EQ(DevUnregisterPacket(second, r1), 0) << "a stale registration names nothing";
    EXPECT_EQ(DevUnregisterPacket(second, 0), 0);
    EXPECT_EQ(DevUnregisterPacket(second, r2), 1);
}

TEST_F(Contract, RoutesInjectedPacketsByIdAndSubId) {
    int id = 0;
    const VexHandle h = plugAndOpen("osprey", &id);
    useGuiThread();
    Inbox &stream = inbox(), &touch = inbox();
    struct Calls {
        std::mutex mutex;
        std::vector<uint8_t> tags;
        std::thread::id thread;
    } calls;
    ASSERT_NE(DevRegisterPacket(h, &stream.window, 0x3B, 0x602), 0u);
    ASSERT_NE(DevRegisterSubPacket(h, &touch.window, 0x36, 0x13, 0x601), 0u);
    ASSERT_NE(DevRegisterPacketCallback(h, 0x36, 0x6B, &calls,
                                        [](void* c, int, const uint8_t* p) {
                                            auto* self = static_cast<Calls*>(c);
                                            std::lock_guard<std::mutex> lock(self->mutex);
                                            self->tags.push_back(p[5]);
                                            self->thread = std::this_thread::get_id();
                                        }),
              0u);

    const VexPacket packets[] = {makePacket(0x3B, 0, 1), makePacket(0x36, 0x13, 2),
                                 makePacket(0x36, 0x6B, 3), makePacket(0x36, 0x14, 4),
                                 makePacket(0x3B, 9, 5), makePacket(0x36, 0x6B, 6)};
    for (const VexPacket& p : packets) ASSERT_TRUE(control::injectPacket(id, p.bytes));
    ASSERT_TRUE(stream.waitFor([](auto& g) { return g.size() == 2; }));
    ASSERT_TRUE(touch.waitFor([](auto& g) { return g.size() == 1; }));
    for (int i = 0; i < 500; ++i) {
        {
            std::lock_guard<std::mutex> lock(calls.mutex);
            if (calls.tags.size() == 2) break;
        }
        std::this_thread::sleep_for(2ms);
    }
    EXPECT_EQ(stream.got[0].second.bytes[5], 1);
    EXPECT_EQ(stream.got[1].second.bytes[5], 5);
    EXPECT_EQ(stream.got[0].first, 0x602u);
    EXPECT_EQ(touch.got[0].second.bytes[5], 2);
    EXPECT_EQ(touch.got[0].first, 0x601u);
    {
        std::lock_guard<std::mutex> lock(calls.mutex);
        EXPECT_EQ(calls.tags, (std::vector<uint8_t>{3, 6}));
        EXPECT_EQ(calls.thread, gui.id()) << "packet callbacks run through the dispatcher";
    }
    // Before `calls` goes, and without holding its lock: ending a
    // registration waits for a callback body that may be taking that lock.
    closeAll();
}

TEST_F(Contract, NothingArrivesAfterUnregisterReturns) {
    int id = 0;
    const VexHandle h = plugAndOpen("osprey", &id);
    struct Watch {
        VexWindow window{};
        std::atomic<bool> ended{false};
        std::atomic<int> late{0}, posts{0};
    } watch;
    watch.window.user = &watch;
    watch.window.post = [](VexWindow* w, VexRegistration, uint32_t, const uint8_t*) {
        // A post that starts, or is still running, once the registration
        // has ended breaks the promise.
        auto* self = static_cast<Watch*>(w->user);
        if (self->ended) ++self->late;
        ++self->posts;
        std::this_thread::sleep_for(std::chrono::microseconds(50));
        if (self->ended) ++self->late;
    };
    // A packet callback whose task waits on the dispatcher's thread while the
    // registration ends: it must not run its body.
    struct Held {
        std::mutex mutex;
        std::vector<std::pair<VexTask, void*>> tasks;
    } held;
    VexSetDispatcher(
        [](void* c, VexTask t, void* d) {
            auto* self = static_cast<Held*>(c);
            std::lock_guard<std::mutex> lock(self->mutex);
            self->tasks.emplace_back(t, d);
        },
        &held);
    std::atomic<int> bodies{0};
    const VexRegistration window = DevRegisterPacket(h, &watch.window, 0x3B, 0x602);
    const VexRegistration callback = DevRegisterPacketCallback(
        h, 0x3B, 0x00, &bodies, [](void* c, int, const uint8_t*) { ++*static_cast<std::atomic<int>*>(c); });
    ASSERT_NE(window, 0u);
    ASSERT_NE(callback, 0u);

    std::atomic<bool> stop{false};
    std::thread device([&] {
        const VexPacket p = makePacket(0x3B, 0);
        while (!stop) {
            control::injectPacket(id, p.bytes);
            std::this_thread::sleep_for(20us);
        }
    });
    while (watch.posts < 20) std::this_thread::sleep_for(1ms);
    ASSERT_EQ(DevUnregisterPacket(h, window), 1);
    watch.ended = true;
    ASSERT_EQ(DevUnregisterPacket(h, callback), 1);
    std::this_thread::sleep_for(30ms);
    stop = true;
    device.join();
    VexSetDispatcher(nullptr, nullptr);

    EXPECT_EQ(watch.late, 0);
    std::lock_guard<std::mutex> lock(held.mutex);
    EXPECT_FALSE(held.tasks.empty()) << "callbacks were queued before the registration ended";
    for (auto& [task, data] : held.tasks) task(data);  // the dispatcher gets round to them only now
    EXPECT_EQ(bodies, 0);
}

TEST_F(Contract, TestRecordsArriveOnTheDispatchersThreadItemsBeforeDone) {
    int id = 0;
    const VexHandle h = plugAndOpen("osprey", &id);
    useGuiThread();
    Records rec;
    rec.gui = gui.id();
    const VexRegistration item = PCAPSetOpenItemCallback(
        h, &rec, [](void* c, int, const uint8_t*) {
            noteRecord(static_cast<Records*>(c), 'i');
        });
    const VexRegistration done = PCAPSetOpenDoneCallback(
        h, &rec, [](void* c, int, const uint8_t*) { noteRecord(static_cast<Records*>(c), 'd'); });
    ASSERT_NE(item, 0u);
    ASSERT_NE(done, 0u);
    // Selection 1 reports every channel, so items are sure to come.
    ASSERT_EQ(PCAPStartOpenTest(h, 1, 300, 300, 0, 0), 1);
    std::unique_lock<std::mutex> lock(rec.mutex);
    ASSERT_TRUE(rec.cv.wait_for(lock, 10s, [&] {
        return !rec.order.empty() && rec.order.back() == 'd';
    }));
    EXPECT_FALSE(rec.offThread);
    EXPECT_GE(rec.order.size(), 2u);
    EXPECT_EQ(std::count(rec.order.begin(), rec.order.end(), 'd'), 1);
    lock.unlock();
    closeAll();  // before `rec` goes
}

TEST_F(Contract, UnpluggedMidStreamEveryWindowGetsOneEndPacket) {
    int id = 0;
    const VexHandle h = plugAndOpen("osprey", &id);
    useGuiThread();
    Inbox &stream = inbox(), &touch = inbox();
    ASSERT_NE(DevRegisterPacket(h, &stream.window, 0x3B, 0x602), 0u);
    ASSERT_NE(DevRegisterSubPacket(h, &touch.window, 0x36, 0x13, 0x601), 0u);
    int8_t y = 0, x = 0;
    ASSERT_EQ(PCAPGetSingleData(h, &y, &x), 1);
    ASSERT_TRUE(stream.waitFor([](auto& g) { return g.size() >= 3; })) << "the stream runs";

    ASSERT_TRUE(control::unplug(id));
    ASSERT_TRUE(stream.waitFor([](auto& g) {
        return !g.empty() && lumora::isEndPacket(g.back().second.bytes);
    }));
    ASSERT_TRUE(touch.waitFor([](auto& g) {
        return !g.empty() && lumora::isEndPacket(g.back().second.bytes);
    }));
    std::this_thread::sleep_for(100ms);  // room for a wrong second one
    EXPECT_EQ(stream.endPackets(), 1);
    EXPECT_EQ(touch.endPackets(), 1);
    EXPECT_EQ(touch.got.back().first, 0x601u);

    EXPECT_EQ(GetDevTypeCode(h, VexDeviceDescriptor{}), 0) << "commands fail once it is gone";
    EXPECT_EQ(PCAPGetSingleData(h, &y, &x), 0);
    EXPECT_EQ(y, 0);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(CloseHIDDevice(h), 1) << "closing still works";
    handles.clear();
}

TEST_F(Contract, RawPacketsAndFeatureReportsReachTheDevice) {
    const VexHandle h = plugAndOpen("osprey");
    Inbox& readBack = inbox();
    ASSERT_NE(DevRegisterPacket(h, &readBack.window, 0x54, 0x602), 0u);
    uint8_t readLog[64] = {0x03, 0x03, 0x36, 0x5F};
    EXPECT_EQ(DevSendPacket(h, readLog, 63), 0) << "a packet is 64 bytes";
    uint8_t looksLikeRequest[64] = {0x03, 0xA5, 0x36, 0x5F};
    EXPECT_EQ(DevSendPacket(h, looksLikeRequest, 64), 0) << "would be taken for a request";
    ASSERT_EQ(DevSendPacket(h, readLog, 64), 1);
    ASSERT_TRUE(readBack.waitFor([](auto& g) { return g.size() == 34; }))
        << "the firmware answers its read-log packet with 34 records";
    for (size_t i = 0; i < readBack.got.size(); ++i) EXPECT_EQ(readBack.got[i].second.bytes[3], i);

    const VexHandle feature = plugAndOpen("thqa");
    uint8_t out[257] = {7};
    for (int i = 1; i < 257; ++i) out[i] = static_cast<uint8_t>(i * 3);
    ASSERT_EQ(DevSetFeature(feature, out, sizeof out), 1);
    uint8_t in[512] = {7};
    ASSERT_EQ(DevGetFeature(feature, in, 257), 1);
    EXPECT_EQ(std::memcmp(in, out, sizeof out), 0);
    uint8_t wrongId[8] = {9};
    EXPECT_EQ(DevGetFeature(feature, wrongId, sizeof wrongId), 0);
    EXPECT_EQ(DevSetFeature(feature, out, 0), 0);
}

TEST_F(Contract, WhatADeviceDoesNotModelFails) {
    // Unsupported and failed answers alike come back as failure, and stream
    // commands then write zero counts.
    const VexHandle loader = plugAndOpen("bootloader");
    EXPECT_EQ(GetDevTypeCode(loader, VexDeviceDescriptor{}), 1);
    int8_t y = 5, x = 5;
    EXPECT_EQ(PCAPStopGetData(loader, &y, &x), 0);
    EXPECT_EQ(y, 0);
    EXPECT_EQ(x, 0);
    uint16_t word = 0;
    EXPECT_EQ(DevReadWord(loader, 191, &word), 0);

    const VexHandle osprey = plugAndOpen("osprey");
    EXPECT_EQ(PCAPStartSelfCapChannel(osprey, 0, 41, 1), 0) << "beyond the 40 X channels";
    uint8_t record[46] = {};
    EXPECT_EQ(DevGetDownloadInfo(osprey, 9, record, 46), 0) << "no such record yet";
    EXPECT_EQ(DevSetDownloadInfo(osprey, record, 46), 1);
    EXPECT_EQ(DevGetDownloadInfo(osprey, 0, record, 46), 1);

    const VexHandle tester = plugAndOpen("pwm-tester");
    EXPECT_EQ(GetDevTypeCode(tester, VexDeviceDescriptor{}), 0);
    EXPECT_EQ(PCAPGetRawPoint(tester, &y, &x), 0);
    uint8_t buffer[64] = {};
    EXPECT_EQ(DevSetFreqIndex(tester, buffer, 2), 1) << "stimulus on";
    EXPECT_EQ(buffer[2], 2);
    EXPECT_EQ(SetHeronPWMFreq(tester, 60, 3), 0) << "voltage 0..2";
}

TEST_F(Contract, CommandsFromTwoThreadsDoNotMix) {
    int id = 0;
    const VexHandle h = plugAndOpen("osprey", &id);
    for (int i = 64; i < 128; ++i) ASSERT_TRUE(control::setWord(id, i, static_cast<uint16_t>(0x1000 + i)));
    std::atomic<int> wrong{0};
    std::thread words([&] {
        for (int round = 0; round < 5; ++round)
            for (int i = 64; i < 128; ++i) {
                uint16_t w = 0;
                if (!DevReadWord(h, i, &w) || w != 0x1000 + i) ++wrong;
            }
    });
    std::thread identity([&] {
        for (int round = 0; round < 100; ++round) {
            char model[64] = {};
            int8_t y = 0, x = 0;
            if (!GetDevModelName(h, model) || std::strcmp(model, "ZT-4030") != 0) ++wrong;
            if (!DevQueryChannelCounts(h, &y, &x) || y != 30 || x != 40) ++wrong;
        }
    });
    words.join();
    identity.join();
    EXPECT_EQ(wrong, 0);
}

TEST_F(Contract, HotplugReachesTheListenerThroughTheDispatcher) {
    useGuiThread();
    struct Events {
        std::mutex mutex;
        std::condition_variable cv;
        std::vector<std::pair<int, std::string>> got;
        bool offThread = false;
        std::thread::id gui;
    } events;
    events.gui = gui.id();
    ASSERT_EQ(VexSetHotplugListener(
                  [](void* c, int event, const char* path) {
                      auto* e = static_cast<Events*>(c);
                      std::lock_guard<std::mutex> lock(e->mutex);
                      e->got.emplace_back(event, path);
                      if (std::this_thread::get_id() != e->gui) e->offThread = true;
                      e->cv.notify_all();
                  },
                  &events),
              1);
    const int id = control::plug("pwm-tester");
    ASSERT_GT(id, 0);
    ASSERT_TRUE(control::unplug(id));
    {
        std::unique_lock<std::mutex> lock(events.mutex);
        ASSERT_TRUE(events.cv.wait_for(lock, 5s, [&] { return events.got.size() >= 2; }));
        EXPECT_EQ(events.got[0].first, VEX_DEVICE_ARRIVED);
        EXPECT_EQ(events.got[1].first, VEX_DEVICE_REMOVED);
        EXPECT_EQ(events.got[0].second, events.got[1].second);
        EXPECT_NE(events.got[0].second.find("PID_6BFE"), std::string::npos);
        EXPECT_FALSE(events.offThread);
    }
    VexSetHotplugListener(nullptr, nullptr);
    control::plug("pwm-tester");
    std::this_thread::sleep_for(50ms);
    std::lock_guard<std::mutex> lock(events.mutex);
    EXPECT_EQ(events.got.size(), 2u) << "no listener, no events";
}

}  // namespace
