// The device link over a scripted transport: routing, the unregister promise,
// the end packet when the device goes, and the command client's matching of
// responses, time-outs and blobs.
#include "vexlink/device_link.h"

#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <map>
#include <thread>

#include "device/packet.h"
#include "scripted_transport.h"

using namespace std::chrono_literals;
using vexlink::DeviceLink;
using vexlink::Registration;
using vexlink::testing::endPacket;
using vexlink::testing::packet;
using vexlink::testing::Report;
using vexlink::testing::response;
using vexlink::testing::ScriptedTransport;
namespace wire = vexlink::wire;

namespace {

// Everything delivered, in one order across windows and callbacks.
struct Log {
    struct Entry {
        int who;
        uint32_t message;
        Report packet;
    };
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<Entry> entries;

    void add(int who, uint32_t message, const uint8_t* p) {
        Entry e{who, message, {}};
        std::memcpy(e.packet.data(), p, 64);
        {
            std::lock_guard<std::mutex> lock(mutex);
            entries.push_back(e);
        }
        cv.notify_all();
    }
    bool waitFor(const std::function<bool(const std::vector<Entry>&)>& done) {
        std::unique_lock<std::mutex> lock(mutex);
        return cv.wait_for(lock, 5s, [&] { return done(entries); });
    }
    std::vector<Entry> snapshot() {
        std::lock_guard<std::mutex> lock(mutex);
        return entries;
    }
};

struct TestWindow {
    VexWindow window{};
    Log* log = nullptr;
    int who = 0;
    TestWindow(Log* l, int w) : log(l), who(w) {
        window.post = &TestWindow::post;
        window.user = this;
    }
    static void post(VexWindow* w, VexRegistration, uint32_t message, const uint8_t* p) {
        auto* self = static_cast<TestWindow*>(w->user);
        self->log->add(self->who, message, p);
    }
};

struct CallbackTarget {
    Log* log;
    int who;
};
void packetCallback(void* context, int, const uint8_t* p) {
    auto* t = static_cast<CallbackTarget*>(context);
    t->log->add(t->who, 0, p);
}

class DeviceLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        transport = new ScriptedTransport;
        // The link holds the runner by a shared pointer of its own: a thread
        // that ends the link from inside a callback may still be leaving the
        // runner when the fixture is gone.
        auto holder = runnerHolder;
        link = std::make_shared<DeviceLink>(std::unique_ptr<vexlink::Transport>(transport),
                                            [holder](std::function<void()> task) {
                                                (*holder)(std::move(task));
                                            });
        link->setResponseTimeoutMs(300);
        link->start();
    }
    // Closing first ends every registration, so no delivery can touch the
    // windows and logs below once they are destroyed.
    void TearDown() override { link->close(); }

    TestWindow& window(int who) { return windows.emplace_back(&log, who); }
    CallbackTarget& target(int who) { return targets.emplace_back(CallbackTarget{&log, who}); }

    VexRegistration addWindow(TestWindow& w, uint8_t id, int sub, uint32_t message) {
        auto r = std::make_shared<Registration>();
        r->id = ++lastId;
        r->kind = Registration::Kind::Window;
        r->window = &w.window;
        r->packetId = id;
        r->subId = sub;
        r->message = message;
        return link->add(r) ? r->id : 0;
    }
    VexRegistration addCallback(CallbackTarget& t, uint8_t id, int sub) {
        auto r = std::make_shared<Registration>();
        r->id = ++lastId;
        r->kind = Registration::Kind::PacketCallback;
        r->packetId = id;
        r->subId = sub;
        r->context = &t;
        r->packetCallback = &packetCallback;
        return link->add(r) ? r->id : 0;
    }
    // Answers every request with OK and the request's arguments as results.
    void echoResponder() {
        transport->responder = [this](const Report& req) {
            if (req[1] != wire::kRequestMarker) return;
            transport->push(response(req, wire::kOk, {req.begin() + 4, req.begin() + 62}));
        };
    }

    using Runner = std::function<void(std::function<void()>)>;
    std::shared_ptr<Runner> runnerHolder =
        std::make_shared<Runner>([](std::function<void()> t) { t(); });
    Runner& runner = *runnerHolder;
    Log log;
    std::deque<TestWindow> windows;
    std::deque<CallbackTarget> targets;
    ScriptedTransport* transport = nullptr;  // owned by the link
    std::shared_ptr<DeviceLink> link;
    VexRegistration lastId = 100;
};

constexpr uint8_t kSentinel = 0x7F;

TEST_F(DeviceLinkTest, RoutesByIdAndSubIdInRegistrationOrder) {
    TestWindow &w1 = window(1), &w2 = window(2), &w3 = window(3), &sentinel = window(9);
    CallbackTarget& cb = target(4);
    ASSERT_NE(addWindow(w1, 0x3B, -1, 0x602), 0u);
    ASSERT_NE(addWindow(w2, 0x36, 0x13, 0x601), 0u);
    ASSERT_NE(addCallback(cb, 0x36, 0x13), 0u);
    ASSERT_NE(addWindow(w1, 0x36, -1, 0x601), 0u);
    ASSERT_NE(addWindow(w3, 0x3B, -1, 0x602), 0u);
    ASSERT_NE(addWindow(sentinel, kSentinel, -1, 1), 0u);

    transport->push(packet(0x3B, 0));
    transport->push(packet(0x36, 0x13));
    transport->push(packet(0x36, 0x14));
    transport->push(packet(0x50, 0x13));  // nobody's
    transport->push(packet(kSentinel, 0));
    ASSERT_TRUE(log.waitFor([](auto& e) { return !e.empty() && e.back().who == 9; }));

    struct Expect {
        int who;
        uint32_t message;
        uint8_t id, sub;
    };
    const Expect expected[] = {
        {1, 0x602, 0x3B, 0}, {3, 0x602, 0x3B, 0},                          // 0x3B
        {2, 0x601, 0x36, 0x13}, {4, 0, 0x36, 0x13}, {1, 0x601, 0x36, 0x13},  // 0x36/0x13
        {1, 0x601, 0x36, 0x14},                                              // 0x36/0x14
        {9, 1, kSentinel, 0},
    };
    const auto got = log.snapshot();
    ASSERT_EQ(got.size(), std::size(expected));
    for (size_t i = 0; i < got.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(got[i].who, expected[i].who);
        EXPECT_EQ(got[i].message, expected[i].message);
        EXPECT_EQ(got[i].packet[2], expected[i].id);
        EXPECT_EQ(got[i].packet[3], expected[i].sub);
    }
}

TEST_F(DeviceLinkTest, NothingIsPostedAfterRemoveReturns) {
    // The window notes whether post() ran after remove() had returned. The
    // device streams flat out meanwhile, so remove() races a delivery.
    struct Watch {
        VexWindow window{};
        std::atomic<bool> removed{false};
        std::atomic<int> late{0};
        std::atomic<int> posts{0};
    } watch;
    watch.window.user = &watch;
    watch.window.post = [](VexWindow* w, VexRegistration, uint32_t, const uint8_t*) {
        // A post that starts, or is still running, once remove() has
        // returned breaks the promise.
        auto* self = static_cast<Watch*>(w->user);
        if (self->removed) ++self->late;
        ++self->posts;
        std::this_thread::sleep_for(50us);
        if (self->removed) ++self->late;
    };
    auto r = std::make_shared<Registration>();
    r->id = ++lastId;
    r->window = &watch.window;
    r->packetId = 0x3B;
    ASSERT_TRUE(link->add(r));

    std::atomic<bool> stop{false};
    std::thread device([&] {
        while (!stop) transport->push(packet(0x3B, 0));
    });
    while (watch.posts < 50) std::this_thread::sleep_for(1ms);
    ASSERT_TRUE(link->remove(r->id));
    watch.removed = true;
    std::this_thread::sleep_for(30ms);
    stop = true;
    device.join();
    EXPECT_EQ(watch.late, 0);
    EXPECT_FALSE(link->remove(r->id)) << "a registration ends once";
}

TEST_F(DeviceLinkTest, QueuedCallbackOfEndedRegistrationDoesNothing) {
    std::mutex queueMutex;
    std::vector<std::function<void()>> queued;
    runner = [&](std::function<void()> t) {
        std::lock_guard<std::mutex> lock(queueMutex);
        queued.push_back(std::move(t));
    };
    CallbackTarget &ended = target(1), &kept = target(2);
    const VexRegistration r1 = addCallback(ended, 0x36, 0x6B);
    ASSERT_NE(addCallback(kept, 0x36, 0x6B), 0u);

    transport->push(packet(0x36, 0x6B));
    for (int i = 0; i < 500; ++i) {
        {
            std::lock_guard<std::mutex> lock(queueMutex);
            if (queued.size() == 2) break;
        }
        std::this_thread::sleep_for(2ms);
    }
    ASSERT_TRUE(link->remove(r1));
    std::lock_guard<std::mutex> lock(queueMutex);
    ASSERT_EQ(queued.size(), 2u);
    for (auto& task : queued) task();  // the host's thread gets round to them now
    const auto got = log.snapshot();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].who, 2);
}

TEST_F(DeviceLinkTest, DeviceGoneGivesEveryWindowOneEndPacket) {
    TestWindow &streaming = window(1), &touch = window(2), &both = window(3);
    CallbackTarget& cb = target(4);
    ASSERT_NE(addWindow(streaming, 0x3B, -1, 0x602), 0u);
    ASSERT_NE(addWindow(touch, 0x36, 0x13, 0x601), 0u);
    ASSERT_NE(addWindow(both, 0x3B, -1, 0x602), 0u);
    ASSERT_NE(addWindow(both, 0x36, -1, 0x601), 0u);
    ASSERT_NE(addCallback(cb, 0x36, 0x13), 0u);

    // Mid-stream the device sends its own end packet on 0x3B, then vanishes.
    transport->push(packet(0x3B, 1));
    transport->push(endPacket(0x3B));
    transport->goAway();
    ASSERT_TRUE(log.waitFor([](auto& e) {
        int ends = 0;
        for (auto& x : e) ends += lumora::isEndPacket(x.packet.data());
        return ends >= 3;
    }));
    std::this_thread::sleep_for(50ms);  // room for a wrong second end packet

    std::map<int, int> ends;
    for (const auto& e : log.snapshot())
        if (lumora::isEndPacket(e.packet.data())) ++ends[e.who];
    EXPECT_EQ(ends[1], 1);  // the device's own
    EXPECT_EQ(ends[3], 1);  // the device's own through its 0x3B registration, no second
    EXPECT_EQ(ends[2], 1);  // made by the library, on its own registration's message
    EXPECT_EQ(ends.count(4), 0u) << "callbacks are not windows";
    for (const auto& e : log.snapshot())
        if (e.who == 2) {
            EXPECT_EQ(e.message, 0x601u);
        }

    EXPECT_TRUE(link->gone());
    const auto before = std::chrono::steady_clock::now();
    EXPECT_FALSE(link->command(wire::kReset, nullptr, 0));
    EXPECT_LT(std::chrono::steady_clock::now() - before, 100ms) << "fails at once, no time-out";
    EXPECT_FALSE(addWindow(touch, 0x36, 0x13, 0x601));
    link->close();  // still fine
}

TEST_F(DeviceLinkTest, CommandTakesOnlyItsOwnResponse) {
    // The device first answers with a wrong sequence number, then with the
    // right number but another command's echo, then correctly; a data packet
    // arrives in between and goes to its registration, not to the command.
    TestWindow& w = window(1);
    ASSERT_NE(addWindow(w, 0x3B, -1, 0x602), 0u);
    transport->responder = [this](const Report& req) {
        Report stale = response(req, wire::kOk, {0xEE});
        stale[3] = static_cast<uint8_t>(req[3] + 1);
        transport->push(stale);
        Report otherCommand = response(req, wire::kOk, {0xDD});
        otherCommand[5] = static_cast<uint8_t>(req[2] + 1);
        transport->push(otherCommand);
        transport->push(packet(0x3B, 7));
        transport->push(response(req, wire::kOk, {0x34, 0x12}));
    };
    uint8_t args[2] = {191, 0};
    uint8_t res[58] = {};
    ASSERT_TRUE(link->command(wire::kReadWord, args, 2, res));
    EXPECT_EQ(lumora::readLE16u(res), 0x1234);
    ASSERT_TRUE(log.waitFor([](auto& e) { return e.size() == 1; }));
    EXPECT_EQ(log.snapshot()[0].packet[3], 7);

    const auto sent = transport->written();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0][0], wire::kReportId);
    EXPECT_EQ(sent[0][1], wire::kRequestMarker);
    EXPECT_EQ(sent[0][2], wire::kReadWord);
    EXPECT_NE(sent[0][3], 0) << "sequence numbers run 1..255";
    EXPECT_EQ(sent[0][4], 191);
}

TEST_F(DeviceLinkTest, StatusOtherThanOkFails) {
    for (uint8_t status : {uint8_t{wire::kFailed}, uint8_t{wire::kUnsupported}, uint8_t{0x7E}}) {
        SCOPED_TRACE(int(status));
        transport->responder = [this, status](const Report& req) {
            transport->push(response(req, status, {1, 2, 3}));
        };
        uint8_t res[58] = {};
        EXPECT_FALSE(link->command(wire::kDacCalibration, nullptr, 0, res));
        EXPECT_EQ(res[0], 0) << "results are not written on failure";
    }
}

TEST_F(DeviceLinkTest, TimedOutResponseArrivingLateIsNotTakenForTheNext) {
    link->setResponseTimeoutMs(50);
    std::vector<Report> held;
    transport->responder = [&](const Report& req) { held.push_back(req); };
    EXPECT_FALSE(link->command(wire::kGetTypeCode, nullptr, 0));

    // Now the late answer arrives, then the next command is answered properly.
    transport->responder = [&](const Report& req) {
        transport->push(response(held[0], wire::kOk, {0x99}));
        transport->push(response(req, wire::kOk, {4}));
    };
    uint8_t res[58] = {};
    ASSERT_TRUE(link->command(wire::kGetTypeCode, nullptr, 0, res));
    EXPECT_EQ(res[0], 4);
}

TEST_F(DeviceLinkTest, CommandsFromTwoThreadsKeepTheirOwnResults) {
    echoResponder();
    std::atomic<int> mixed{0};
    auto worker = [&](uint8_t tag) {
        for (int i = 0; i < 300; ++i) {
            const uint8_t args[3] = {tag, static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8)};
            uint8_t res[58] = {};
            if (!link->command(wire::kModeWord, args, 3, res) || res[0] != tag ||
                res[1] != args[1] || res[2] != args[2])
                ++mixed;
        }
    };
    std::thread a(worker, 0xA0), b(worker, 0xB0);
    a.join();
    b.join();
    EXPECT_EQ(mixed, 0);
}

TEST_F(DeviceLinkTest, CallbackOnDeliveryThreadMayCommandAndClose) {
    // With no dispatcher, callbacks run on the delivery thread; a command from
    // there still gets its response, and closing the device from there ends
    // the link without waiting for itself.
    echoResponder();
    struct Ctx {
        DeviceLink* link;
        std::atomic<int> result{-1};
        std::atomic<bool> closed{false};
    } ctx{link.get()};
    auto r = std::make_shared<Registration>();
    r->id = ++lastId;
    r->kind = Registration::Kind::PacketCallback;
    r->packetId = 0x36;
    r->subId = 0x7C;
    r->context = &ctx;
    r->packetCallback = [](void* c, int, const uint8_t*) {
        auto* self = static_cast<Ctx*>(c);
        const uint8_t args[1] = {42};
        uint8_t res[58] = {};
        self->result = self->link->command(wire::kWriteModeByte, args, 1, res) ? res[0] : 0;
        self->link->close();
        self->closed = true;
    };
    ASSERT_TRUE(link->add(r));
    transport->push(packet(0x36, 0x7C));
    for (int i = 0; i < 500 && !ctx.closed; ++i) std::this_thread::sleep_for(2ms);
    ASSERT_TRUE(ctx.closed);
    EXPECT_EQ(ctx.result, 42);
    EXPECT_FALSE(link->command(wire::kReset, nullptr, 0));
}

// ---- Blobs --------------------------------------------------------------------

// A device that serves `blob` in chunks, with one chunk answered as `bend` says.
struct BlobDevice {
    std::vector<uint8_t> blob;
    size_t chunk = wire::kChunkSize;
    std::function<void(Report& r, size_t offset)> bend = [](Report&, size_t) {};
};

void serveBlob(ScriptedTransport* t, BlobDevice* d) {
    t->responder = [t, d](const Report& req) {
        const size_t offset = req[6];
        const size_t n = std::min(d->chunk, d->blob.size() - std::min(offset, d->blob.size()));
        std::vector<uint8_t> res{static_cast<uint8_t>(d->blob.size()), static_cast<uint8_t>(n)};
        res.insert(res.end(), d->blob.begin() + offset, d->blob.begin() + offset + n);
        Report r = response(req, wire::kOk, res);
        d->bend(r, offset);
        t->push(r);
    };
}

TEST_F(DeviceLinkTest, BlobIsReassembledFromChunks) {
    BlobDevice dev;
    for (int i = 0; i < 100; ++i) dev.blob.push_back(static_cast<uint8_t>(i + 1));
    serveBlob(transport, &dev);
    uint8_t out[128] = {};
    size_t length = 0;
    ASSERT_TRUE(link->getBlob(wire::kModelName, 0, out, sizeof out, &length));
    EXPECT_EQ(length, 100u);
    EXPECT_TRUE(std::equal(dev.blob.begin(), dev.blob.end(), out));
    EXPECT_EQ(out[100], 0);

    uint8_t small[10] = {};
    ASSERT_TRUE(link->getBlob(wire::kModelName, 0, small, sizeof small, &length));
    EXPECT_EQ(length, 100u) << "the full length is reported";
    EXPECT_EQ(small[9], 10) << "but only the capacity is written";
}

TEST_F(DeviceLinkTest, MalformedBlobAnswersFail) {
    struct Case {
        const char* what;
        std::function<void(Report&, size_t)> bend;
    };
    const Case cases[] = {
        {"chunk longer than a chunk may be", [](Report& r, size_t) { r[7] = 49; }},
        {"chunk past the total", [](Report& r, size_t o) { if (o == 96) r[7] = 10; }},
        {"empty chunk before the end", [](Report& r, size_t o) { if (o == 48) r[7] = 0; }},
        {"total changes between chunks", [](Report& r, size_t o) { if (o == 48) r[6] = 120; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BlobDevice dev;
        dev.blob.assign(100, 0x41);
        dev.bend = c.bend;
        serveBlob(transport, &dev);
        uint8_t out[128] = {};
        EXPECT_FALSE(link->getBlob(wire::kModelName, 0, out, sizeof out));
    }
}

TEST_F(DeviceLinkTest, PutBlobSendsChunksWithTheLastMarked) {
    echoResponder();
    std::vector<uint8_t> data(100);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(200 - i);
    ASSERT_TRUE(link->putBlob(wire::kFreqRegs, 3, data.data(), data.size()));
    const auto sent = transport->written();
    ASSERT_EQ(sent.size(), 3u);
    const size_t offsets[] = {0, 48, 96}, lengths[] = {48, 48, 4};
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(sent[i][2], wire::kPutBlob);
        EXPECT_EQ(sent[i][4], wire::kFreqRegs);
        EXPECT_EQ(sent[i][5], 3);
        EXPECT_EQ(sent[i][6], offsets[i]);
        EXPECT_EQ(sent[i][7], lengths[i]);
        EXPECT_EQ(sent[i][8], i == 2 ? 1 : 0);
        EXPECT_TRUE(std::equal(sent[i].begin() + 9, sent[i].begin() + 9 + lengths[i],
                               data.begin() + offsets[i]));
    }
    EXPECT_FALSE(link->putBlob(wire::kFreqRegs, 0, data.data(), 256)) << "longer than 255";
}

}  // namespace
