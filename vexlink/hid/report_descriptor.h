// The top-level collections of a HID report descriptor, in descriptor
// order. A Windows host makes one interface of each (numbered "&colNN" from
// 01 when there are several), and the programs' collection rules count on
// those numbers; hidapi's own listing cannot be trusted for them, since
// some versions also list the usages of nested collections on hidraw.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vexlink::hid {

struct CollectionUsage {
    uint16_t usagePage = 0;
    uint16_t usage = 0;
    bool operator==(const CollectionUsage&) const = default;
};

// Parses the descriptor's items and returns the usage page and usage of each
// collection opened at nesting depth 0. Nothing when the descriptor is not
// sound (an item running past the end, an End Collection or Pop without its
// opening item, a collection left open) or holds no collection, so that the
// caller can fall back on another source rather than number wrongly.
std::optional<std::vector<CollectionUsage>> topLevelCollections(const uint8_t* data, size_t size);

// The report descriptor of a hidraw node as the kernel shows it under
// <sysfsRoot>/class/hidraw/<node>/device/report_descriptor. nativePath is
// the node's device path ("/dev/hidraw3"). Nothing when it cannot be read.
std::optional<std::vector<uint8_t>> readSysfsReportDescriptor(const std::string& sysfsRoot,
                                                              const std::string& nativePath);

}  // namespace vexlink::hid
