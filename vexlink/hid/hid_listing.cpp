#include "vexlink/hid/hid_listing.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

namespace vexlink::hid {

namespace {

// hidapi has no notifications; once a second is quick enough for a person
// plugging a board while costing nothing measurable.
constexpr auto kPollInterval = std::chrono::milliseconds(1000);

class HidBackend : public Backend {
public:
    explicit HidBackend(std::unique_ptr<NativeHid> native) : m_native(std::move(native)) {}

    ~HidBackend() override {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_quit = true;
        }
        m_cv.notify_all();
        if (m_poller.joinable()) m_poller.join();
    }

    std::vector<InterfaceInfo> enumerate() override {
        std::vector<InterfaceInfo> out;
        for (HidInterface& h : listing()) out.push_back(std::move(h.info));
        return out;
    }

    std::unique_ptr<Transport> open(const std::string& path) override {
        for (const HidInterface& h : listing())
            if (h.info.path == path) return m_native->open(h.nativePath);
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
    std::vector<HidInterface> listing() {
        return describe(m_native->list(),
                        [this](const std::string& node) { return m_native->reportDescriptor(node); });
    }

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
            if (m_primed) events = hotplugEvents(m_known, now);
            m_known = std::move(now);
            m_primed = true;
            HotplugSink sink = m_sink;
            lock.unlock();
            for (const auto& [event, path] : events) sink(event, path);
            lock.lock();
            m_cv.wait_for(lock, kPollInterval, [this] { return m_quit; });
        }
    }

    const std::unique_ptr<NativeHid> m_native;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    HotplugSink m_sink;
    std::set<std::string> m_known;
    bool m_primed = false;
    bool m_quit = false;
    std::thread m_poller;
};

}  // namespace

std::unique_ptr<Backend> makeHidBackend(std::unique_ptr<NativeHid> native) {
    return std::make_unique<HidBackend>(std::move(native));
}

}  // namespace vexlink::hid
