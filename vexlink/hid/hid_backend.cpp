// Real USB HID devices through hidapi (hidraw on Linux).
//
// Enumeration lists every HID interface of the host with its path rewritten
// into the Windows form (hid_paths.h); open finds the native node of such a
// path by enumerating again, so the paths need no cache and stay valid for as
// long as the device is plugged. Hot-plug is found by polling: hidapi has no
// notifications, and once a second is quick enough for a person plugging a
// board while costing nothing measurable. The poll runs only while a sink is
// set (the library sets one only while the host listens).
//
// hid_exit() is never called: the backend lives for the whole process and
// devices may still be open while static objects are destroyed.
#include <hidapi/hidapi.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "device/vexlink.h"
#include "vexlink/hid/hid_paths.h"
#include "vexlink/transport.h"

namespace vexlink {

namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(1000);

std::vector<hid::NativeInterface> listNative() {
    std::vector<hid::NativeInterface> out;
    hid_device_info* list = hid_enumerate(0, 0);
    for (hid_device_info* d = list; d; d = d->next) {
        if (!d->path) continue;
        hid::NativeInterface n;
        n.nativePath = d->path;
        n.vendorId = d->vendor_id;
        n.productId = d->product_id;
        n.usagePage = d->usage_page;
        n.usage = d->usage;
        out.push_back(std::move(n));
    }
    hid_free_enumeration(list);
    return out;
}

class HidTransport : public Transport {
public:
    explicit HidTransport(hid_device* device) : m_device(device) {}
    ~HidTransport() override { hid_close(m_device); }

    bool writeReport(const uint8_t* report64) override {
        // Byte 0 is the report id, as hidapi expects it.
        return hid_write(m_device, report64, VEX_PACKET_SIZE) >= 0;
    }

    int readReport(uint8_t* report64, int timeoutMs) override {
        uint8_t buffer[VEX_PACKET_SIZE] = {};
        const int n = hid_read_timeout(m_device, buffer, sizeof buffer, timeoutMs);
        if (n < 0) return -1;
        if (n == 0) return 0;
        // A shorter report is padded with zeros to the packet size.
        std::memcpy(report64, buffer, sizeof buffer);
        return 1;
    }

    int getFeature(uint8_t* buffer, size_t length) override {
        return hid_get_feature_report(m_device, buffer, length);
    }

    int sendFeature(const uint8_t* buffer, size_t length) override {
        return hid_send_feature_report(m_device, buffer, length);
    }

private:
    hid_device* m_device;
};

class HidBackend : public Backend {
public:
    HidBackend() { hid_init(); }

    ~HidBackend() override {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_quit = true;
        }
        m_cv.notify_all();
        if (m_poller.joinable()) m_poller.join();
    }

    std::vector<InterfaceInfo> enumerate() override { return hid::describe(listNative()); }

    std::unique_ptr<Transport> open(const std::string& path) override {
        // The path names a collection of a node; numbering the collections
        // as describe() does finds that node.
        const std::vector<hid::NativeInterface> natives = listNative();
        std::map<std::string, int> seen;
        for (const hid::NativeInterface& n : natives) {
            const int collection = ++seen[n.nativePath];
            if (hid::interfacePath(n, collection) != path) continue;
            hid_device* device = hid_open_path(n.nativePath.c_str());
            if (!device) return nullptr;
            return std::make_unique<HidTransport>(device);
        }
        return nullptr;
    }

    void setHotplugSink(HotplugSink sink) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_sink = std::move(sink);
        m_known.clear();
        m_primed = false;
        if (m_sink && !m_poller.joinable()) m_poller = std::thread([this] { pollLoop(); });
        m_cv.notify_all();
    }

private:
    void pollLoop() {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_quit) {
            if (!m_sink) {
                m_cv.wait(lock, [this] { return m_quit || m_sink; });
                continue;
            }
            lock.unlock();
            std::set<std::string> now;
            for (const InterfaceInfo& info : enumerate()) now.insert(info.path);
            lock.lock();
            if (m_quit) break;
            if (!m_sink) continue;

            // The devices present when listening started are not news.
            std::vector<std::pair<int, std::string>> events;
            if (m_primed) events = hid::hotplugEvents(m_known, now);
            m_known = std::move(now);
            m_primed = true;
            HotplugSink sink = m_sink;
            lock.unlock();
            for (const auto& [event, path] : events) sink(event, path);
            lock.lock();
            m_cv.wait_for(lock, kPollInterval, [this] { return m_quit; });
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_cv;
    HotplugSink m_sink;
    std::set<std::string> m_known;
    bool m_primed = false;
    bool m_quit = false;
    std::thread m_poller;
};

}  // namespace

Backend& hidBackend() {
    static HidBackend backend;
    return backend;
}

}  // namespace vexlink
