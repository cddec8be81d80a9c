// The control socket's command parser on any line. Checks, beyond the
// sanitizers:
//  - a refused line has a reason and is answered "error <reason>" without
//    touching a device;
//  - what is taken is within range: plug an entry without surrounding
//    blanks, unplug and log an id of 1..1000000, panel 0 or 1, mode a byte,
//    fault a known kind on a channel 0..126 set or cleared, each on a device
//    id above 0, and no reason given.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "vexlink/virtual/control_server.h"

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using vexlink::virt::ControlCommand;
    const std::string line(reinterpret_cast<const char*>(data), size);
    const ControlCommand c = vexlink::virt::parseControlCommand(line);
    using Verb = ControlCommand::Verb;
    switch (c.verb) {
    case Verb::Invalid:
        check(!c.error.empty());
        check(vexlink::virt::runControlCommand(line) == "error " + c.error + "\n");
        return 0;
    case Verb::Plug:
        check(!c.entry.empty() && !blank(c.entry.front()) && !blank(c.entry.back()));
        break;
    case Verb::Unplug: check(c.id >= 1 && c.id <= 1000000); break;
    case Verb::Panel: check(c.id >= 1 && (c.value == 0 || c.value == 1)); break;
    case Verb::Fault:
        check(c.id >= 1 && (c.value == 0 || c.value == 1));
        check(c.entry == "open" || c.entry == "short" || c.entry == "noisy");
        check(c.channel.index >= 0 && c.channel.index <= 126);
        break;
    case Verb::Mode: check(c.id >= 1 && c.value >= 0 && c.value <= 255); break;
    case Verb::Log: check(c.id >= 1 && c.id <= 1000000); break;
    case Verb::List: break;
    }
    check(c.error.empty());
    return 0;
}
