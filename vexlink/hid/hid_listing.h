// The real-HID backend over a small native layer, so that its listing, its
// open and its hot-plug polling run the same in the library (over hidapi,
// hid_backend.cpp) and in tests (over a scripted enumeration).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "vexlink/hid/hid_paths.h"
#include "vexlink/transport.h"

namespace vexlink::hid {

// What the backend asks of the host's HID stack.
class NativeHid {
public:
    virtual ~NativeHid() = default;
    // Every HID interface entry of the host, as hidapi lists them.
    virtual std::vector<NativeInterface> list() = 0;
    // The report descriptor of a node; nothing when it cannot be read.
    virtual std::optional<std::vector<uint8_t>> reportDescriptor(const std::string& nativePath) = 0;
    // Opens a node; nullptr when it cannot be opened.
    virtual std::unique_ptr<Transport> open(const std::string& nativePath) = 0;
};

// Enumeration lists every HID interface of the host (describe()); open finds
// the node of a path by listing again, so paths need no cache and stay valid
// while the device is plugged. Hot-plug is found by polling once a second,
// and only while a sink is set.
std::unique_ptr<Backend> makeHidBackend(std::unique_ptr<NativeHid> native);

}  // namespace vexlink::hid
