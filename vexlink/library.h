// The process-wide state of libvexlink: the backends, the open devices by
// handle, the id counter, the dispatcher and the hot-plug listener.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>

#include "device/vexlink.h"
#include "vexlink/device_link.h"
#include "vexlink/transport.h"

namespace vexlink {

class Library {
public:
    // The one library object. It is never destroyed, so that a call made
    // while the process exits still finds it; the devices still open at
    // exit are closed by an exit handler instead.
    static Library& instance();

    // True unless VEXLINK_NO_HID=1: real HID devices take part in
    // enumeration, open and hot-plug.
    bool hidEnabled() const { return m_hidEnabled; }

    // Calls callback for every interface that `wanted` accepts, virtual
    // devices first, then real ones. Returns how many the callback took.
    int enumerate(const std::function<bool(const InterfaceInfo&)>& wanted, void* context,
                  VexEnumCallback callback);

    VexHandle open(const VexDeviceDescriptor& descriptor);
    bool close(VexHandle handle);
    // The open link of a handle; null for 0, unknown or closed handles.
    std::shared_ptr<DeviceLink> find(VexHandle handle);

    // Handles, registrations and tokens come from this one counter and are
    // never reused, so a stale value can never name something new.
    uintptr_t nextId();

    // When this returns, the previous dispatcher is not being called and will
    // not be called again, so the host may destroy what it dispatched to.
    void setDispatcher(VexDispatchFn fn, void* context);
    // Runs task through the dispatcher, or at once when none is set.
    void runTask(std::function<void()> task);

    void setHotplugListener(VexHotplugFn fn, void* context);

private:
    Library();
    void closeAll();
    void relayHotplug(int event, const std::string& path);

    bool m_hidEnabled = true;

    std::mutex m_linksMutex;
    std::map<VexHandle, std::shared_ptr<DeviceLink>> m_links;
    std::mutex m_idMutex;
    uintptr_t m_lastId = 0;

    // Shared while a task is handed to the dispatcher, exclusive to change it.
    std::shared_mutex m_dispatchMutex;
    VexDispatchFn m_dispatch = nullptr;
    void* m_dispatchContext = nullptr;

    std::mutex m_listenerSetMutex;  // serialises setHotplugListener as a whole
    std::mutex m_listenerMutex;     // guards the fields below
    VexHotplugFn m_listener = nullptr;
    void* m_listenerContext = nullptr;
    uint64_t m_listenerGeneration = 0;
    bool m_hidSinkInstalled = false;
};

}  // namespace vexlink
