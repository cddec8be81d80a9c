// The real-HID backend's path handling on any list of hidapi interfaces and
// any report descriptor. Input: one byte n, n bytes of a report descriptor,
// then records of vendor (2 bytes), product (2), usage page (2), usage (2),
// flags (1), node name length (1) and the node name, which follows "/dev/"
// as hidapi names nodes on Linux. A node whose first record has flag bit 3
// set reads that descriptor; the others have none. Checks, beyond the
// sanitizers:
//  - the descriptor parser gives either nothing or at least one collection;
//  - every interface path has the Windows form the programs' filters read:
//    \\?\hid#vid_xxxx&pid_xxxx[&colNN]#<node>#{4d1e55b2-f16f-11cf-88cb-001111000030},
//    with only letters, digits and '_' in <node>;
//  - each node gets one interface per top-level collection of a sound
//    descriptor, else one per hidapi entry (up to 99 entries a node; two
//    digits hold no more, so the input keeps to that), numbered 1, 2, ...
//    when there are several and not numbered when there is one;
//  - paths are unique and sorted;
//  - the hot-plug events between two listings, applied to the first, give
//    the second, removals first.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "device/vexlink.h"
#include "vexlink/hid/hid_paths.h"
#include "vexlink/hid/report_descriptor.h"

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
    check(path.size() >= 26 + kGuid.size());
    for (size_t i : {12, 13, 14, 15, 21, 22, 23, 24}) check(isHex(path[i]));
    check(path.compare(16, 5, "&pid_") == 0);
    size_t node = 26;
    if (path[25] == '&') {
        check(path.size() >= 32 + kGuid.size());
        check(path.compare(25, 4, "&col") == 0);
        check(path[29] >= '0' && path[29] <= '9' && path[30] >= '0' && path[30] <= '9');
        check(path[31] == '#');
        node = 32;
    } else {
        check(path[25] == '#');
    }
    check(path.compare(path.size() - kGuid.size(), kGuid.size(), kGuid) == 0);
    for (size_t i = node; i < path.size() - kGuid.size(); ++i) check(isNodeChar(path[i]));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using vexlink::hid::NativeInterface;
    if (size == 0) return 0;
    const size_t descriptorSize = std::min<size_t>(data[0], size - 1);
    const std::vector<uint8_t> descriptor(data + 1, data + 1 + descriptorSize);
    const auto parsed = vexlink::hid::topLevelCollections(descriptor.data(), descriptor.size());
    check(!parsed || !parsed->empty());

    std::vector<NativeInterface> natives;
    std::vector<uint8_t> flags;
    std::map<std::string, int> perNode;
    std::set<std::string> withDescriptor;
    size_t at = 1 + descriptorSize;
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
        if (perNode[n.nativePath] == 1 && (flag & 8)) withDescriptor.insert(n.nativePath);
        natives.push_back(n);
        flags.push_back(flag);
    }

    const auto described = vexlink::hid::describe(
        natives, [&](const std::string& node) -> std::optional<std::vector<uint8_t>> {
            if (!withDescriptor.count(node)) return std::nullopt;
            return descriptor;
        });
    std::set<std::string> paths;
    for (size_t i = 0; i < described.size(); ++i) {
        checkForm(described[i].info.path);
        check(paths.insert(described[i].info.path).second);
        if (i > 0) check(described[i - 1].info.path < described[i].info.path);
    }
    // Per node: the collections of its descriptor when that is sound, else
    // its hidapi entries; numbered only when there are several.
    std::map<std::string, const NativeInterface*> firstOf;
    std::map<std::string, int> entries;
    for (const NativeInterface& n : natives) {
        firstOf.emplace(n.nativePath, &n);
        ++entries[n.nativePath];
    }
    size_t expected = 0;
    for (const auto& [node, first] : firstOf) {
        const int count = withDescriptor.count(node) && parsed ? int(parsed->size()) : entries[node];
        expected += size_t(count);
        if (count == 1) {
            check(paths.count(vexlink::hid::interfacePath(*first, 0)) == 1);
        } else {
            for (int c = 1; c <= count; ++c)
                check(paths.count(vexlink::hid::interfacePath(*first, c)) == 1);
        }
    }
    check(described.size() == expected);

    std::set<std::string> before, now;
    for (size_t i = 0; i < natives.size(); ++i) {
        const std::string path = vexlink::hid::interfacePath(natives[i], int(flags[i] >> 4) % 16);
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
