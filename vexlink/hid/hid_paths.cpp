#include "vexlink/hid/hid_paths.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "device/controller_ids.h"
#include "device/vexlink.h"

namespace vexlink::hid {

namespace {

bool isAlnum(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

}  // namespace

bool isTouchController(uint16_t vendorId, uint16_t productId) {
    return std::any_of(std::begin(lumora::kControllerIdPairs), std::end(lumora::kControllerIdPairs),
                       [&](const lumora::UsbIdPair& p) {
                           return p.vendor == vendorId && p.product == productId;
                       });
}

std::string interfacePath(const NativeInterface& native, int collection) {
    std::string node = native.nativePath;
    if (node.rfind("/dev/", 0) == 0) node.erase(0, 5);
    std::string unique;
    for (char c : node) {
        if (isAlnum(c)) {
            unique += c;
        } else {
            char esc[4];
            std::snprintf(esc, sizeof esc, "_%02x", static_cast<unsigned char>(c));
            unique += esc;
        }
    }
    char head[64];
    std::snprintf(head, sizeof head, "\\\\?\\hid#vid_%04x&pid_%04x&col%02d#", native.vendorId,
                  native.productId, std::clamp(collection, 0, 99));
    return head + unique + "#{4d1e55b2-f16f-11cf-88cb-001111000030}";
}

std::vector<InterfaceInfo> describe(const std::vector<NativeInterface>& natives) {
    std::map<std::string, int> seen;  // collections counted so far per node
    std::vector<InterfaceInfo> out;
    out.reserve(natives.size());
    for (const NativeInterface& n : natives) {
        const int collection = ++seen[n.nativePath];
        InterfaceInfo info;
        info.path = interfacePath(n, collection);
        info.vendorId = n.vendorId;
        info.productId = n.productId;
        info.value1 = n.usagePage;
        info.value2 = n.usage;
        info.touchController = isTouchController(n.vendorId, n.productId);
        out.push_back(std::move(info));
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const InterfaceInfo& a, const InterfaceInfo& b) { return a.path < b.path; });
    return out;
}

std::vector<std::pair<int, std::string>> hotplugEvents(const std::set<std::string>& before,
                                                       const std::set<std::string>& now) {
    std::vector<std::pair<int, std::string>> events;
    for (const std::string& p : before)
        if (!now.count(p)) events.emplace_back(VEX_DEVICE_REMOVED, p);
    for (const std::string& p : now)
        if (!before.count(p)) events.emplace_back(VEX_DEVICE_ARRIVED, p);
    return events;
}

}  // namespace vexlink::hid
