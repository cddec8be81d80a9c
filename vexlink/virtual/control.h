// C++ control API of the virtual controllers, for tests and for the control
// tool. Exported from libvexlink; the programs never include it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#define VEXLINK_CONTROL_API __attribute__((visibility("default")))

namespace vexlink::control {

struct DeviceSummary {
    int id = 0;             // stable while the device stays plugged
    std::string entry;      // the VEXLINK_DEVICES entry it came from
    std::string path;       // interface path as enumeration reports it
    bool open = false;      // a host handle is open on it
};

// Replaces every virtual device by the devices of a VEXLINK_DEVICES-style
// list (syntax: docs/virtual-devices.md). Invalid entries are skipped; the
// returned text names each bad token (empty when all were valid). Devices
// that go away are unplugged as by unplug().
VEXLINK_CONTROL_API std::string configure(const std::string& devices);

// Plugs one device described like one list entry. Returns its id (> 0), or
// 0 with the reason in *error.
VEXLINK_CONTROL_API int plug(const std::string& entry, std::string* error = nullptr);

// Unplugs a device: it sends its end packet to an open host, then vanishes
// and a removal is reported to the hot-plug listener.
VEXLINK_CONTROL_API bool unplug(int id);

VEXLINK_CONTROL_API std::vector<DeviceSummary> list();

// Sends an exact 64-byte input packet from the device to the host.
VEXLINK_CONTROL_API bool injectPacket(int id, const uint8_t* packet64);

// Parameter memory, word by word (0..255).
VEXLINK_CONTROL_API bool setWord(int id, int index, uint16_t value);
VEXLINK_CONTROL_API bool getWord(int id, int index, uint16_t* value);

// Makes DevReadWord of that word fail (or succeed again).
VEXLINK_CONTROL_API bool failRead(int id, int index, bool fail);

}  // namespace vexlink::control
