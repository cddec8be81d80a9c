#include "vexlink/hid/report_descriptor.h"

#include <fstream>

namespace vexlink::hid {

namespace {

// Item types of a short item (bits 2-3 of its prefix).
constexpr int kMain = 0;
constexpr int kGlobal = 1;
constexpr int kLocal = 2;

// Tags (bits 4-7 of the prefix) of the items that matter here.
constexpr int kTagCollection = 0xA;     // main
constexpr int kTagEndCollection = 0xC;  // main
constexpr int kTagUsagePage = 0x0;      // global
constexpr int kTagPush = 0xA;           // global
constexpr int kTagPop = 0xB;            // global
constexpr int kTagUsage = 0x0;          // local
constexpr int kTagUsageMinimum = 0x1;   // local

constexpr uint8_t kLongItemPrefix = 0xFE;

// The kernel refuses larger descriptors.
constexpr size_t kMaxDescriptorSize = 4096;

}  // namespace

std::optional<std::vector<CollectionUsage>> topLevelCollections(const uint8_t* data, size_t size) {
    std::vector<CollectionUsage> out;
    if (!data) return std::nullopt;

    uint16_t usagePage = 0;
    std::vector<uint16_t> pushedPages;
    // The collection's usage is the first one declared for it; a 4-byte
    // (extended) usage carries its own page in the high half.
    std::optional<uint32_t> firstUsage;
    bool firstUsageExtended = false;
    int depth = 0;

    size_t pos = 0;
    while (pos < size) {
        const uint8_t prefix = data[pos];
        if (prefix == kLongItemPrefix) {
            // Long item: size byte, tag byte, data. No long items are defined;
            // they are skipped whole.
            if (pos + 3 > size) return std::nullopt;
            const size_t length = data[pos + 1];
            if (pos + 3 + length > size) return std::nullopt;
            pos += 3 + length;
            continue;
        }
        const size_t length = (prefix & 0x03) == 3 ? 4 : (prefix & 0x03);
        if (pos + 1 + length > size) return std::nullopt;
        uint32_t value = 0;
        for (size_t i = 0; i < length; ++i) value |= uint32_t(data[pos + 1 + i]) << (8 * i);
        const int type = (prefix >> 2) & 0x03;
        const int tag = prefix >> 4;
        pos += 1 + length;

        if (type == kMain) {
            if (tag == kTagCollection) {
                if (depth == 0) {
                    CollectionUsage c;
                    c.usagePage = usagePage;
                    if (firstUsage) {
                        if (firstUsageExtended) c.usagePage = uint16_t(*firstUsage >> 16);
                        c.usage = uint16_t(*firstUsage & 0xFFFF);
                    }
                    out.push_back(c);
                }
                ++depth;
            } else if (tag == kTagEndCollection) {
                if (depth == 0) return std::nullopt;
                --depth;
            }
            // Every main item ends the local items declared for it.
            firstUsage.reset();
            firstUsageExtended = false;
        } else if (type == kGlobal) {
            if (tag == kTagUsagePage) {
                usagePage = uint16_t(value);
            } else if (tag == kTagPush) {
                pushedPages.push_back(usagePage);
            } else if (tag == kTagPop) {
                if (pushedPages.empty()) return std::nullopt;
                usagePage = pushedPages.back();
                pushedPages.pop_back();
            }
        } else if (type == kLocal) {
            if ((tag == kTagUsage || tag == kTagUsageMinimum) && !firstUsage) {
                firstUsage = value;
                firstUsageExtended = length == 4;
            }
        }
    }
    if (depth != 0 || out.empty()) return std::nullopt;
    return out;
}

std::optional<std::vector<uint8_t>> readSysfsReportDescriptor(const std::string& sysfsRoot,
                                                              const std::string& nativePath) {
    const size_t slash = nativePath.rfind('/');
    const std::string node = slash == std::string::npos ? nativePath : nativePath.substr(slash + 1);
    if (node.empty() || node == "." || node == "..") return std::nullopt;
    std::ifstream file(sysfsRoot + "/class/hidraw/" + node + "/device/report_descriptor",
                       std::ios::binary);
    if (!file) return std::nullopt;
    std::vector<uint8_t> bytes;
    bytes.reserve(512);
    char c;
    while (bytes.size() <= kMaxDescriptorSize && file.get(c)) bytes.push_back(uint8_t(c));
    if (bytes.empty() || bytes.size() > kMaxDescriptorSize) return std::nullopt;
    return bytes;
}

}  // namespace vexlink::hid
