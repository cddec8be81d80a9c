// The VEXLINK_DEVICES parser on any text. Checks, beyond the sanitizers:
//  - every non-empty entry is either taken, in order, or named in the errors;
//  - what is taken is within its documented ranges: a class, channel counts
//    0..255, noise 0..200, texts of 1..200 characters, faults on channels
//    that exist (a short with its next neighbour);
//  - parsing the entry of a taken device again gives a device of the same
//    class and counts.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "vexlink/virtual/device_class.h"

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

std::string trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vexlink::virt;
    const std::string list(reinterpret_cast<const char*>(data), size);
    std::string errors;
    const std::vector<DeviceSettings> devices = parseDeviceList(list, &errors);

    // Entries in order: each non-empty one is the next device taken, or an
    // error names it.
    size_t next = 0;
    for (size_t start = 0; start <= list.size();) {
        size_t end = list.find(';', start);
        if (end == std::string::npos) end = list.size();
        const std::string entry = trim(list.substr(start, end - start));
        start = end + 1;
        if (entry.empty()) continue;
        if (next < devices.size() && devices[next].entry == entry)
            ++next;
        else
            check(errors.find("VEXLINK_DEVICES: bad entry \"" + entry + "\": ") != std::string::npos);
    }
    check(next == devices.size());

    for (const DeviceSettings& d : devices) {
        check(d.cls != nullptr);
        check(d.xCount >= 0 && d.xCount <= 255 && d.yCount >= 0 && d.yCount <= 255);
        check(d.noise >= 0 && d.noise <= 200);
        check(d.modelName.size() <= 200 && d.firmwareVersion.size() <= 200);
        for (const ChannelRef& c : d.openChannels) check(c.index >= 0 && c.index < (c.yAxis ? d.yCount : d.xCount));
        for (const ChannelRef& c : d.shortedChannels)
            check(c.index >= 0 && c.index + 1 < (c.yAxis ? d.yCount : d.xCount));
        for (const ChannelRef& c : d.noisyChannels) check(c.index >= 0 && c.index < (c.yAxis ? d.yCount : d.xCount));
        std::string again;
        const auto reparsed = parseEntry(d.entry, &again);
        check(reparsed.has_value());
        check(reparsed->cls == d.cls && reparsed->xCount == d.xCount && reparsed->yCount == d.yCount);
    }
    return 0;
}
