// The plugged virtual devices of the process: the Backend the library core
// enumerates and opens through, and the state behind the control API.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "vexlink/transport.h"
#include "vexlink/virtual/control.h"
#include "vexlink/virtual/firmware.h"

namespace vexlink::virt {

struct PluggedDevice {
    int id = 0;
    DeviceSettings settings;
    std::shared_ptr<Firmware> firmware;
    std::vector<InterfaceInfo> interfaces;  // in enumeration order
    std::string commandPath;                // the interface that opens; empty: none
};

class Registry : public Backend {
public:
    // The one registry, configured from VEXLINK_DEVICES on first use.
    static Registry& instance();

    std::vector<InterfaceInfo> enumerate() override;
    std::unique_ptr<Transport> open(const std::string& path) override;
    void setHotplugSink(HotplugSink sink) override;

    std::string configure(const std::string& list);
    int plug(const std::string& entry, std::string* error);
    bool unplug(int id);
    std::vector<control::DeviceSummary> list();
    // The firmware of a plugged device, or null.
    std::shared_ptr<Firmware> firmware(int id);
    // Every plugged device's firmware, in plug order.
    std::vector<std::shared_ptr<Firmware>> firmwares();

private:
    Registry() = default;
    int plugParsed(DeviceSettings settings);
    void notify(int event, const std::vector<InterfaceInfo>& interfaces);
    // A PWM tester's stimulus switch reaches every other plugged device.
    void forwardStimulus(int fromId, bool on, int64_t atNs);

    std::mutex m_mutex;
    std::vector<PluggedDevice> m_devices;   // in plug order: the enumeration order
    int m_nextId = 1;
    std::mutex m_sinkMutex;
    HotplugSink m_sink;
};

}  // namespace vexlink::virt
