// The control socket of the virtual devices: when VEXLINK_CONTROL names a
// socket path, the library listens there (a Unix-domain stream socket) so
// that vexlink-ctl can plug and unplug devices of a running program.
//
// Protocol: one command per line ("plug <entry>", "unplug <id>",
// "panel <id> <0|1>", "mode <id> <byte>", "list");
// each is answered by zero or more data lines and then one line that is
// "ok" or "ok <value>" on success, or "error <reason>".
#pragma once

#include <string>

namespace vexlink::virt {

// Starts the server once per process when VEXLINK_CONTROL is set; a
// failure to listen is reported on stderr and the library works on.
void startControlServerFromEnvironment();

// Runs one command line and returns the whole answer (lines end in '\n').
std::string runControlCommand(const std::string& line);

}  // namespace vexlink::virt
