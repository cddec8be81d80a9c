// Used only when the library is built without vexlink/virtual/: a backend
// with no devices, so that the library still links and serves real devices.
#include "vexlink/transport.h"

namespace vexlink {

namespace {

class NoVirtualDevices : public Backend {
public:
    std::vector<InterfaceInfo> enumerate() override { return {}; }
    std::unique_ptr<Transport> open(const std::string&) override { return nullptr; }
    void setHotplugSink(HotplugSink) override {}
};

}  // namespace

Backend& virtualBackend() {
    static NoVirtualDevices backend;
    return backend;
}

}  // namespace vexlink
