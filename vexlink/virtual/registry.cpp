#include "vexlink/virtual/registry.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>

#include "device/vexlink.h"

#include "vexlink/virtual/control_server.h"

namespace vexlink {

Backend& virtualBackend() { return virt::Registry::instance(); }

namespace virt {

namespace {

// A host's open connection to a virtual device. Input reports wait in a
// queue like the report buffer of a HID driver; when the host stops reading
// the oldest reports are dropped, so a forgotten stream cannot grow without
// bound. The bound holds a whole mutual test of a 90 x 90 panel.
constexpr size_t kMaxQueuedReports = 16384;

class VirtualTransport : public Transport, public ReportSink {
public:
    explicit VirtualTransport(std::shared_ptr<Firmware> firmware) : m_firmware(std::move(firmware)) {
        m_firmware->attach(this);
    }
    ~VirtualTransport() override { m_firmware->detach(this); }

    bool writeReport(const uint8_t* report64) override {
        if (isGone()) return false;
        m_firmware->handleOutput(report64, this);
        return !isGone();
    }

    int readReport(uint8_t* report64, int timeoutMs) override {
        std::unique_lock<std::mutex> lock(m_mutex);
        auto ready = [this] { return !m_queue.empty() || m_gone; };
        if (timeoutMs < 0)
            m_cv.wait(lock, ready);
        else
            m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
        if (!m_queue.empty()) {
            std::copy(m_queue.front().begin(), m_queue.front().end(), report64);
            m_queue.pop_front();
            return 1;
        }
        return m_gone ? -1 : 0;
    }

    int getFeature(uint8_t* buffer, size_t length) override {
        return buffer ? m_firmware->getFeature(buffer, length) : -1;
    }
    int sendFeature(const uint8_t* buffer, size_t length) override {
        return buffer ? m_firmware->sendFeature(buffer, length) : -1;
    }

    void deliver(const Report& report) override {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_gone) return;
            if (m_queue.size() >= kMaxQueuedReports) m_queue.pop_front();
            m_queue.push_back(report);
        }
        m_cv.notify_one();
    }

    void gone() override {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_gone = true;
        }
        m_cv.notify_all();
    }

private:
    bool isGone() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_gone;
    }

    std::shared_ptr<Firmware> m_firmware;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<Report> m_queue;
    bool m_gone = false;
};

}  // namespace

Registry& Registry::instance() {
    static Registry* registry = [] {
        auto* r = new Registry();  // lives for the whole process, like the library
        if (const char* list = std::getenv("VEXLINK_DEVICES")) {
            const std::string errors = r->configure(list);
            if (!errors.empty()) std::fputs(errors.c_str(), stderr);
        }
        startControlServerFromEnvironment();
        return r;
    }();
    return *registry;
}

std::vector<InterfaceInfo> Registry::enumerate() {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<InterfaceInfo> out;
    for (const PluggedDevice& d : m_devices) out.insert(out.end(), d.interfaces.begin(), d.interfaces.end());
    return out;
}

std::unique_ptr<Transport> Registry::open(const std::string& path) {
    std::shared_ptr<Firmware> firmware;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const PluggedDevice& d : m_devices)
            if (!d.commandPath.empty() && d.commandPath == path) firmware = d.firmware;
    }
    if (!firmware) return nullptr;
    return std::make_unique<VirtualTransport>(std::move(firmware));
}

void Registry::setHotplugSink(HotplugSink sink) {
    std::lock_guard<std::mutex> lock(m_sinkMutex);
    m_sink = std::move(sink);
}

void Registry::notify(int event, const std::vector<InterfaceInfo>& interfaces) {
    HotplugSink sink;
    {
        std::lock_guard<std::mutex> lock(m_sinkMutex);
        sink = m_sink;
    }
    if (!sink) return;
    for (const InterfaceInfo& info : interfaces) sink(event, info.path);
}

int Registry::plugParsed(DeviceSettings settings) {
    PluggedDevice device;
    std::vector<InterfaceInfo> interfaces;
    int id = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        id = device.id = m_nextId++;
        device.interfaces = interfacesFor(settings, device.id, &device.commandPath);
        device.settings = settings;
        device.firmware = std::make_shared<Firmware>(std::move(settings));
        device.firmware->setStimulusListener(
            [this, id](bool on, int64_t atNs) { forwardStimulus(id, on, atNs); });
        interfaces = device.interfaces;
        m_devices.push_back(std::move(device));
    }
    notify(VEX_DEVICE_ARRIVED, interfaces);
    return id;
}

int Registry::plug(const std::string& entry, std::string* error) {
    std::string why;
    auto settings = parseEntry(entry, &why);
    if (!settings) {
        if (error) *error = why;
        return 0;
    }
    return plugParsed(std::move(*settings));
}

bool Registry::unplug(int id) {
    PluggedDevice device;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = std::find_if(m_devices.begin(), m_devices.end(),
                               [id](const PluggedDevice& d) { return d.id == id; });
        if (it == m_devices.end()) return false;
        device = std::move(*it);
        m_devices.erase(it);
    }
    // The end packet first, then the transports report the device gone,
    // then the removal reaches the host.
    device.firmware->unplug();
    notify(VEX_DEVICE_REMOVED, device.interfaces);
    return true;
}

std::string Registry::configure(const std::string& list) {
    std::string errors;
    std::vector<DeviceSettings> parsed = parseDeviceList(list, &errors);
    std::vector<int> old;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const PluggedDevice& d : m_devices) old.push_back(d.id);
    }
    for (int id : old) unplug(id);
    for (DeviceSettings& s : parsed) plugParsed(std::move(s));
    return errors;
}

std::vector<control::DeviceSummary> Registry::list() {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<control::DeviceSummary> out;
    for (const PluggedDevice& d : m_devices) {
        control::DeviceSummary s;
        s.id = d.id;
        s.entry = d.settings.entry;
        s.path = d.commandPath.empty() ? d.interfaces.front().path : d.commandPath;
        s.open = d.firmware->connectionCount() > 0;
        out.push_back(s);
    }
    return out;
}

std::vector<std::shared_ptr<Firmware>> Registry::firmwares() {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<std::shared_ptr<Firmware>> out;
    for (const PluggedDevice& d : m_devices) out.push_back(d.firmware);
    return out;
}

void Registry::forwardStimulus(int fromId, bool on, int64_t atNs) {
    std::vector<std::shared_ptr<Firmware>> targets;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const PluggedDevice& d : m_devices)
            if (d.id != fromId) targets.push_back(d.firmware);
    }
    for (const auto& firmware : targets) firmware->touchStimulus(on, atNs);
}

std::shared_ptr<Firmware> Registry::firmware(int id) {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const PluggedDevice& d : m_devices)
        if (d.id == id) return d.firmware;
    return nullptr;
}

}  // namespace virt
}  // namespace vexlink
