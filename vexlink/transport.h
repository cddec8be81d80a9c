// The one transport interface of libvexlink: 64-byte output and input
// reports plus feature reports. Virtual controllers and real HID devices
// both implement it, so the command path above it is the same code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vexlink {

// One enumerated device interface.
struct InterfaceInfo {
    std::string path;        // Windows interface-path form, fits 511 characters
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint32_t value1 = 0;     // the two values enumeration reports with the path
    uint32_t value2 = 0;
    bool touchController = false;  // reported by EnumerateHidDevices
};

class Transport {
public:
    virtual ~Transport() = default;
    // Sends one 64-byte output report. False when the device is gone.
    virtual bool writeReport(const uint8_t* report64) = 0;
    // Waits up to timeoutMs for one input report: 1 with a report in
    // report64, 0 on time-out, -1 when the device is gone for good.
    virtual int readReport(uint8_t* report64, int timeoutMs) = 0;
    // Feature reports; buffer[0] is the report id. Bytes moved, or -1.
    virtual int getFeature(uint8_t* buffer, size_t length) = 0;
    virtual int sendFeature(const uint8_t* buffer, size_t length) = 0;
};

// Hot-plug events of a backend: VEX_DEVICE_ARRIVED / VEX_DEVICE_REMOVED.
using HotplugSink = std::function<void(int event, const std::string& path)>;

class Backend {
public:
    virtual ~Backend() = default;
    // Interfaces present now, in a stable order.
    virtual std::vector<InterfaceInfo> enumerate() = 0;
    // Opens one interface by path; nullptr when it cannot be opened.
    virtual std::unique_ptr<Transport> open(const std::string& path) = 0;
    // Receives arrival and removal events from any thread.
    virtual void setHotplugSink(HotplugSink sink) = 0;
};

// The two backends of the library. Both live for the whole process.
Backend& virtualBackend();  // vexlink/virtual/
Backend& hidBackend();      // vexlink/hid/

}  // namespace vexlink
