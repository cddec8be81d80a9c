// The real-HID backend's path handling on any list of hidapi interfaces.
// Input: records of vendor (2 bytes), product (2), usage page (2), usage (2),
// flags (1), node name length (1) and the node name, which follows "/dev/"
// as hidapi names nodes on Linux. Checks, beyond the sanitizers:
//  - every interface path has the Windows form the programs' filters read:
//    \\?\hid#vid_xxxx&pid_xxxx&colNN#<node>#{4d1e55b2-f16f-11cf-88cb-001111000030},
//    with only letters, digits and '_' in <node>;
//  - paths are unique and sorted, and collections are numbered 1, 2, ... in
//    each node's own order (up to 99 collections a node; two digits hold no
//    more, so the input keeps to that);
//  - the hot-plug events between two listings, applied to the first, give
//    the second, removals first.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "device/vexlink.h"
#include "vexlink/hid/hid_paths.h"

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

bool isHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }
bool isNodeChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

void checkForm(const std::string& path) {
    static const std::string kGuid = "#{4d1e55b2-f16f-11cf-88cb-001111000030}";
    check(path.rfind("\\\\?\\hid#vid_", 0) == 0);
    check(path.size() >= 32 + kGuid.size());
    for (size_t i : {12, 13, 14, 15, 21, 22, 23, 24}) check(isHex(path[i]));
    check(path.compare(16, 5, "&pid_") == 0);
    check(path.compare(25, 4, "&col") == 0);
    check(path[29] >= '0' && path[29] <= '9' && path[30] >= '0' && path[30] <= '9');
    check(path[31] == '#');
    check(path.compare(path.size() - kGuid.size(), kGuid.size(), kGuid) == 0);
    for (size_t i = 32; i < path.size() - kGuid.size(); ++i) check(isNodeChar(path[i]));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using vexlink::hid::NativeInterface;
    std::vector<NativeInterface> natives;
    std::vector<uint8_t> flags;
    std::map<std::string, int> perNode;
    size_t at = 0;
    while (at + 10 <= size) {
        NativeInterface n;
        n.vendorId = static_cast<uint16_t>(data[at] | data[at + 1] << 8);
        n.productId = static_cast<uint16_t>(data[at + 2] | data[at + 3] << 8);
        n.usagePage = static_cast<uint16_t>(data[at + 4] | data[at + 5] << 8);
        n.usage = static_cast<uint16_t>(data[at + 6] | data[at + 7] << 8);
        const uint8_t flag = data[at + 8];
        size_t length = data[at + 9];
        at += 10;
        if (length > size - at) length = size - at;
        n.nativePath = "/dev/" + std::string(reinterpret_cast<const char*>(data + at), length);
        at += length;
        if (++perNode[n.nativePath] > 99) continue;
        natives.push_back(n);
        flags.push_back(flag);
    }

    const std::vector<vexlink::InterfaceInfo> described = vexlink::hid::describe(natives);
    check(described.size() == natives.size());
    std::set<std::string> paths;
    for (size_t i = 0; i < described.size(); ++i) {
        checkForm(described[i].path);
        check(paths.insert(described[i].path).second);
        if (i > 0) check(described[i - 1].path < described[i].path);
    }
    // Collection numbers follow each node's own order.
    std::map<std::string, int> counted;
    for (const NativeInterface& n : natives) {
        const int collection = ++counted[n.nativePath];
        check(paths.count(vexlink::hid::interfacePath(n, collection)) == 1);
    }

    std::set<std::string> before, now;
    for (size_t i = 0; i < natives.size(); ++i) {
        const std::string path = vexlink::hid::interfacePath(natives[i], 1 + int(flags[i] >> 2) % 99);
        if (flags[i] & 1) before.insert(path);
        if (flags[i] & 2) now.insert(path);
    }
    std::set<std::string> applied = before;
    bool arrivals = false;
    for (const auto& [event, path] : vexlink::hid::hotplugEvents(before, now)) {
        if (event == VEX_DEVICE_REMOVED) {
            check(!arrivals);
            check(applied.erase(path) == 1);
        } else {
            check(event == VEX_DEVICE_ARRIVED);
            arrivals = true;
            check(applied.insert(path).second);
        }
    }
    check(applied == now);
    return 0;
}
