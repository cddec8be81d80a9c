// The control socket of the virtual devices: when VEXLINK_CONTROL names a
// socket path, the library listens there (a Unix-domain stream socket) so
// that vexlink-ctl can plug and unplug devices of a running program.
//
// Protocol: one command per line ("plug <entry>", "unplug <id>",
// "panel <id> <0|1>", "fault <id> <open|short|noisy> <channel> <0|1>",
// "mode <id> <byte>", "log <id>", "list");
// each is answered by zero or more data lines and then one line that is
// "ok" or "ok <value>" on success, or "error <reason>".
//
// Only the user who runs the program may drive it: the socket file is made
// with mode 0600 and every client's user id is checked. Clients are served
// side by side, and each command line must arrive whole within a deadline,
// so that a slow or silent client holds nobody else up.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

#include "vexlink/virtual/device_class.h"

namespace vexlink::virt {

// One command line, parsed without acting on it.
struct ControlCommand {
    enum class Verb { Invalid, Plug, Unplug, Panel, Fault, Mode, Log, List };
    Verb verb = Verb::Invalid;
    std::string entry;  // plug: the device entry; fault: "open", "short" or "noisy"
    int id = 0;         // unplug, panel, fault, mode, log: the device id (> 0)
    int value = 0;      // panel, fault: 0 or 1; mode: 0..255
    ChannelRef channel; // fault: the channel (a short joins it with its next neighbour)
    std::string error;  // Invalid: the reason given in the answer
};
ControlCommand parseControlCommand(const std::string& line);

// Runs one command line and returns the whole answer (lines end in '\n').
std::string runControlCommand(const std::string& line);

struct ControlServerOptions {
    // A command line must arrive whole within this time, counted from the
    // connection or from the answer to the previous line.
    int lineDeadlineMs = 5000;
    // Clients served at once; one more is answered "error" and let go.
    int maxClients = 8;
    // The user whose clients are served; -1: the user running the program.
    long ownerUid = -1;
};

class ControlServer {
public:
    // Listens on `path`. A socket file left by a program that has ended is
    // replaced; anything else at the path (a regular file, a folder, a live
    // socket) is left alone and the start fails. Returns null with the
    // reason in *error when it cannot listen.
    static std::unique_ptr<ControlServer> start(const std::string& path, std::string* error,
                                                ControlServerOptions options = {});
    // Stops listening, ends the client connections and removes the socket file.
    ~ControlServer();
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;

    // Removes the socket file if it is still the one this server made.
    void removeSocketFile();

    struct Shared;

private:
    ControlServer() = default;

    std::string m_path;
    dev_t m_device = 0;
    ino_t m_inode = 0;
    std::shared_ptr<Shared> m_shared;
};

// Starts the server once per process when VEXLINK_CONTROL is set; a
// failure is reported on stderr and the library works on without it. The
// socket file is removed when the program ends.
void startControlServerFromEnvironment();

}  // namespace vexlink::virt
