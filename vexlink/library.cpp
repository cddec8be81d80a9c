#include "vexlink/library.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace vexlink {

namespace {

// A dispatched task on its way through the host's dispatcher.
struct TaskBox {
    std::function<void()> task;
};

void runTaskBox(void* data) {
    std::unique_ptr<TaskBox> box(static_cast<TaskBox*>(data));
    box->task();
}

// Paths handed to the programs fit the descriptor's 512 bytes with their NUL.
void copyPath(char (&out)[VEX_PATH_SIZE], const std::string& path) {
    const size_t n = std::min(path.size(), static_cast<size_t>(VEX_PATH_SIZE - 1));
    std::memcpy(out, path.data(), n);
    out[n] = '\0';
}

bool hidSwitchedOff() {
    const char* v = std::getenv("VEXLINK_NO_HID");
    return v && std::strcmp(v, "1") == 0;
}

}  // namespace

Library& Library::instance() {
    static Library* library = [] {
        auto* created = new Library();
        // Registered after the backends exist, so it runs before their
        // destructors: no transport outlives its backend.
        std::atexit([] { instance().closeAll(); });
        return created;
    }();
    return *library;
}

Library::Library() : m_hidEnabled(!hidSwitchedOff()) {
    // The backends are created first so that they outlive the open devices,
    // whose transports belong to them (see instance()).
    Backend& virt = virtualBackend();
    if (m_hidEnabled) hidBackend();
    // Virtual devices report plugging at no cost, so their sink stays
    // installed; events simply go nowhere while no listener is set.
    virt.setHotplugSink([this](int event, const std::string& path) { relayHotplug(event, path); });
}

void Library::closeAll() {
    std::map<VexHandle, std::shared_ptr<DeviceLink>> links;
    {
        std::lock_guard<std::mutex> lock(m_linksMutex);
        links.swap(m_links);
    }
    for (auto& [handle, link] : links) link->close();
}

uintptr_t Library::nextId() {
    std::lock_guard<std::mutex> lock(m_idMutex);
    return ++m_lastId;
}

int Library::enumerate(const std::function<bool(const InterfaceInfo&)>& wanted, void* context,
                       VexEnumCallback callback) {
    if (!callback) return 0;
    std::vector<InterfaceInfo> all = virtualBackend().enumerate();
    if (m_hidEnabled) {
        std::vector<InterfaceInfo> real = hidBackend().enumerate();
        all.insert(all.end(), real.begin(), real.end());
    }
    // The callback runs without any library lock held: it may open the
    // device it is shown.
    int taken = 0;
    for (const InterfaceInfo& info : all) {
        if (!wanted(info)) continue;
        char path[VEX_PATH_SIZE];
        copyPath(path, info.path);
        if (callback(context, path, nullptr, info.value1, info.value2)) ++taken;
    }
    return taken;
}

VexHandle Library::open(const VexDeviceDescriptor& descriptor) {
    const size_t n = strnlen(descriptor.path, VEX_PATH_SIZE);
    // An empty path, or one without its NUL inside the 512 bytes, is not
    // something enumeration produced.
    if (n == 0 || n == VEX_PATH_SIZE) return 0;
    const std::string path(descriptor.path, n);

    std::unique_ptr<Transport> transport = virtualBackend().open(path);
    if (!transport && m_hidEnabled) transport = hidBackend().open(path);
    if (!transport) return 0;

    auto link = std::make_shared<DeviceLink>(
        std::move(transport), [this](std::function<void()> task) { runTask(std::move(task)); });
    link->start();
    const VexHandle handle = nextId();
    std::lock_guard<std::mutex> lock(m_linksMutex);
    m_links.emplace(handle, std::move(link));
    return handle;
}

bool Library::close(VexHandle handle) {
    std::shared_ptr<DeviceLink> link;
    {
        std::lock_guard<std::mutex> lock(m_linksMutex);
        auto it = m_links.find(handle);
        if (it == m_links.end()) return false;
        link = std::move(it->second);
        m_links.erase(it);
    }
    link->close();
    return true;
}

std::shared_ptr<DeviceLink> Library::find(VexHandle handle) {
    if (handle == 0) return nullptr;
    std::lock_guard<std::mutex> lock(m_linksMutex);
    auto it = m_links.find(handle);
    return it == m_links.end() ? nullptr : it->second;
}

void Library::setDispatcher(VexDispatchFn fn, void* context) {
    std::unique_lock<std::shared_mutex> lock(m_dispatchMutex);
    m_dispatch = fn;
    m_dispatchContext = fn ? context : nullptr;
}

void Library::runTask(std::function<void()> task) {
    auto* box = new TaskBox{std::move(task)};
    {
        std::shared_lock<std::shared_mutex> lock(m_dispatchMutex);
        if (m_dispatch) {
            // The host only queues the task here; it calls runTaskBox exactly
            // once, later, on its own thread.
            m_dispatch(m_dispatchContext, runTaskBox, box);
            return;
        }
    }
    runTaskBox(box);  // no dispatcher: on this (the delivery) thread, no lock held
}

void Library::setHotplugListener(VexHotplugFn fn, void* context) {
    std::lock_guard<std::mutex> serial(m_listenerSetMutex);
    bool wantHidSink;
    bool changeHidSink;
    {
        std::lock_guard<std::mutex> lock(m_listenerMutex);
        m_listener = fn;
        m_listenerContext = fn ? context : nullptr;
        ++m_listenerGeneration;
        wantHidSink = fn != nullptr && m_hidEnabled;
        changeHidSink = wantHidSink != m_hidSinkInstalled;
        m_hidSinkInstalled = wantHidSink;
    }
    // Real devices are watched by polling, so only while someone listens.
    if (changeHidSink) {
        if (wantHidSink)
            hidBackend().setHotplugSink(
                [this](int event, const std::string& path) { relayHotplug(event, path); });
        else
            hidBackend().setHotplugSink(nullptr);
    }
}

void Library::relayHotplug(int event, const std::string& path) {
    uint64_t generation;
    {
        std::lock_guard<std::mutex> lock(m_listenerMutex);
        if (!m_listener) return;
        generation = m_listenerGeneration;
    }
    std::string shown = path.substr(0, VEX_PATH_SIZE - 1);
    runTask([this, generation, event, shown] {
        VexHotplugFn fn;
        void* context;
        {
            std::lock_guard<std::mutex> lock(m_listenerMutex);
            // A listener replaced or cleared since the event was queued is
            // not called with it.
            if (generation != m_listenerGeneration || !m_listener) return;
            fn = m_listener;
            context = m_listenerContext;
        }
        fn(context, event, shown.c_str());
    });
}

}  // namespace vexlink
