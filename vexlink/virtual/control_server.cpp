// Linux-only by design: the control socket is a development aid of the
// virtual devices, and plain POSIX sockets keep it free of dependencies.
#include "vexlink/virtual/control_server.h"

#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "vexlink/virtual/control.h"

namespace vexlink::virt {

namespace {

std::string trim(const std::string& s) {
    const size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    const size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

bool writeAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Serves one client: commands line by line until it closes. Lines longer
// than 4 KiB are refused instead of growing the buffer without bound.
void serveClient(int fd) {
    std::string buffer;
    char chunk[512];
    for (;;) {
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        buffer.append(chunk, static_cast<size_t>(n));
        size_t nl;
        while ((nl = buffer.find('\n')) != std::string::npos) {
            const std::string line = buffer.substr(0, nl);
            buffer.erase(0, nl + 1);
            if (!writeAll(fd, runControlCommand(line))) return;
        }
        if (buffer.size() > 4096) {
            writeAll(fd, "error command line too long\n");
            return;
        }
    }
    if (!trim(buffer).empty()) writeAll(fd, runControlCommand(buffer));
}

void acceptLoop(int listener) {
    for (;;) {
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            std::fprintf(stderr, "VEXLINK_CONTROL: accept failed: %s\n", std::strerror(errno));
            return;
        }
        // Clients are served one at a time; one that connects and goes
        // quiet is dropped after 5 s so the next can be served.
        timeval timeout{5, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
        serveClient(fd);
        ::close(fd);
    }
}

}  // namespace

std::string runControlCommand(const std::string& rawLine) {
    const std::string line = trim(rawLine);
    const size_t space = line.find(' ');
    const std::string verb = line.substr(0, space);
    const std::string rest = space == std::string::npos ? "" : trim(line.substr(space + 1));
    if (verb == "plug") {
        if (rest.empty()) return "error plug needs an entry, such as: plug osprey:x=40,y=30\n";
        std::string error;
        const int id = control::plug(rest, &error);
        return id > 0 ? "ok " + std::to_string(id) + "\n" : "error " + error + "\n";
    }
    if (verb == "unplug") {
        char* end = nullptr;
        const long id = std::strtol(rest.c_str(), &end, 10);
        if (rest.empty() || *end != '\0' || id <= 0 || id > 1000000)
            return "error unplug needs a device id, as list shows it\n";
        return control::unplug(static_cast<int>(id)) ? "ok\n"
                                                     : "error no device with id " + rest + "\n";
    }
    if (verb == "panel") {
        // The production tester's second stage needs the sensor attached to
        // a board whose first stage ran bare: "panel <id> 1" attaches it.
        int id = 0, attached = -1;
        char extra = 0;
        if (std::sscanf(rest.c_str(), "%d %d %c", &id, &attached, &extra) != 2 || id <= 0 ||
            (attached != 0 && attached != 1))
            return "error panel needs a device id and 0 (bare board) or 1 (sensor attached)\n";
        return control::setPanelAttached(id, attached == 1)
                   ? "ok\n"
                   : "error no device with id " + std::to_string(id) + "\n";
    }
    if (verb == "mode") {
        // A mode report (0x36 / 0x7C) with the given byte 4, as a controller
        // sends when it changes its mode.
        int id = 0, mode = -1;
        char extra = 0;
        if (std::sscanf(rest.c_str(), "%d %d %c", &id, &mode, &extra) != 2 || id <= 0 || mode < 0 ||
            mode > 255)
            return "error mode needs a device id and a mode byte 0 to 255\n";
        return control::emitModeReport(id, static_cast<uint8_t>(mode))
                   ? "ok\n"
                   : "error no device with id " + std::to_string(id) + "\n";
    }
    if (verb == "list") {
        std::string out;
        for (const control::DeviceSummary& d : control::list())
            out += std::to_string(d.id) + " " + (d.open ? "open" : "closed") + " " + d.entry + " " +
                   d.path + "\n";
        return out + "ok\n";
    }
    if (verb.empty()) return "error empty command\n";
    return "error unknown command \"" + verb + "\" (plug <entry>, unplug <id>, panel <id> <0|1>, mode <id> <byte>, list)\n";
}

void startControlServerFromEnvironment() {
    const char* path = std::getenv("VEXLINK_CONTROL");
    if (!path || !*path) return;
    sockaddr_un address{};
    if (std::strlen(path) >= sizeof address.sun_path) {
        std::fprintf(stderr, "VEXLINK_CONTROL: socket path too long: %s\n", path);
        return;
    }
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener < 0) {
        std::fprintf(stderr, "VEXLINK_CONTROL: socket failed: %s\n", std::strerror(errno));
        return;
    }
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, path);
    // A socket file left by a program that ended without cleaning up would
    // block the bind; nothing can be listening on it if connect fails.
    const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (probe >= 0) {
        if (::connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 &&
            errno == ECONNREFUSED)
            ::unlink(path);
        ::close(probe);
    }
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 4) != 0) {
        std::fprintf(stderr, "VEXLINK_CONTROL: cannot listen on %s: %s\n", path, std::strerror(errno));
        ::close(listener);
        return;
    }
    // The server lives as long as the process, like the devices it drives.
    std::thread(acceptLoop, listener).detach();
}

}  // namespace vexlink::virt
