// Real USB HID devices through hidapi (hidraw on Linux): the native layer
// under the backend of hid_listing.h.
//
// The collections of a node are numbered from its report descriptor, read
// from sysfs on Linux (readable by every user, without opening the node)
// and through hidapi elsewhere where hidapi can give it.
//
// hid_exit() is never called: the backend lives for the whole process and
// devices may still be open while static objects are destroyed.
#include <hidapi/hidapi.h>

#include <cstring>

#include "device/vexlink.h"
#include "vexlink/hid/hid_listing.h"
#include "vexlink/hid/report_descriptor.h"
#include "vexlink/transport.h"

// hidapi hands out report descriptors from 0.14 on.
#if defined(HID_API_MAKE_VERSION)
#if HID_API_VERSION >= HID_API_MAKE_VERSION(0, 14, 0)
#define VEXLINK_HIDAPI_REPORT_DESCRIPTOR 1
#endif
#endif

namespace vexlink {

namespace {

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

class Hidapi : public hid::NativeHid {
public:
    Hidapi() { hid_init(); }

    std::vector<hid::NativeInterface> list() override {
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

    std::optional<std::vector<uint8_t>> reportDescriptor(const std::string& nativePath) override {
#if defined(__linux__)
        return hid::readSysfsReportDescriptor("/sys", nativePath);
#elif defined(VEXLINK_HIDAPI_REPORT_DESCRIPTOR)
        hid_device* device = hid_open_path(nativePath.c_str());
        if (!device) return std::nullopt;
        std::vector<uint8_t> bytes(HID_API_MAX_REPORT_DESCRIPTOR_SIZE);
        const int n = hid_get_report_descriptor(device, bytes.data(), bytes.size());
        hid_close(device);
        if (n <= 0) return std::nullopt;
        bytes.resize(size_t(n));
        return bytes;
#else
        (void)nativePath;
        return std::nullopt;
#endif
    }

    std::unique_ptr<Transport> open(const std::string& nativePath) override {
        hid_device* device = hid_open_path(nativePath.c_str());
        if (!device) return nullptr;
        return std::make_unique<HidTransport>(device);
    }
};

}  // namespace

Backend& hidBackend() {
    static const std::unique_ptr<Backend> backend = hid::makeHidBackend(std::make_unique<Hidapi>());
    return *backend;
}

}  // namespace vexlink
