#include "vexlink/hid/hid_paths.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "device/controller_ids.h"
#include "device/vexlink.h"
#include "vexlink/hid/report_descriptor.h"

namespace vexlink::hid {

namespace {

bool isAlnum(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

}  // namespace

bool isTouchController(uint16_t vendorId, uint16_t productId) {
    return lumora::isFamilyController(vendorId, productId);
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
    char col[16] = "";
    if (collection > 0) std::snprintf(col, sizeof col, "&col%02d", std::min(collection, 99));
    char head[64];
    std::snprintf(head, sizeof head, "\\\\?\\hid#vid_%04x&pid_%04x%s#", native.vendorId,
                  native.productId, col);
    return head + unique + "#{4d1e55b2-f16f-11cf-88cb-001111000030}";
}

std::vector<HidInterface> describe(const std::vector<NativeInterface>& natives,
                                   const DescriptorSource& descriptorOf) {
    // The nodes in the order hidapi first lists them, each with its entries.
    std::vector<std::string> order;
    std::map<std::string, std::vector<const NativeInterface*>> entries;
    for (const NativeInterface& n : natives) {
        auto& list = entries[n.nativePath];
        if (list.empty()) order.push_back(n.nativePath);
        list.push_back(&n);
    }

    std::vector<HidInterface> out;
    out.reserve(natives.size());
    for (const std::string& node : order) {
        const NativeInterface& first = *entries[node].front();
        std::vector<CollectionUsage> collections;
        std::optional<std::vector<uint8_t>> descriptor;
        if (descriptorOf) descriptor = descriptorOf(node);
        if (descriptor) {
            if (auto parsed = topLevelCollections(descriptor->data(), descriptor->size()))
                collections = std::move(*parsed);
        }
        if (collections.empty())
            for (const NativeInterface* n : entries[node]) collections.push_back({n->usagePage, n->usage});

        const bool numbered = collections.size() > 1;
        for (size_t i = 0; i < collections.size(); ++i) {
            HidInterface h;
            h.nativePath = node;
            h.info.path = interfacePath(first, numbered ? int(i) + 1 : 0);
            h.info.vendorId = first.vendorId;
            h.info.productId = first.productId;
            h.info.value1 = collections[i].usagePage;
            h.info.value2 = collections[i].usage;
            h.info.touchController = isTouchController(first.vendorId, first.productId);
            out.push_back(std::move(h));
        }
    }
    std::stable_sort(out.begin(), out.end(), [](const HidInterface& a, const HidInterface& b) {
        return a.info.path < b.info.path;
    });
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
