// Linux-only by design: the control socket is a development aid of the
// virtual devices, and plain POSIX sockets keep it free of dependencies.
#include "vexlink/virtual/control_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "vexlink/virtual/control.h"

namespace vexlink::virt {

namespace {

using Clock = std::chrono::steady_clock;

// Lines longer than this are refused instead of growing the buffer without bound.
constexpr size_t kMaxLine = 4096;

std::string trim(const std::string& s) {
    const size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    const size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

std::vector<std::string> tokens(const std::string& s) {
    std::vector<std::string> out;
    std::istringstream in(s);
    for (std::string t; in >> t;) out.push_back(t);
    return out;
}

// A whole token as a decimal number within [lo, hi].
bool parseNumber(const std::string& token, long lo, long hi, int* out) {
    if (token.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(token.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
    *out = static_cast<int>(v);
    return true;
}

std::string errnoText(const std::string& what) { return what + ": " + std::strerror(errno); }

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

}  // namespace

// What the accept thread and the client threads share; the client threads
// hold it too, so it outlives the server object until the last one is done.
struct ControlServer::Shared {
    ControlServerOptions options;
    uid_t owner = 0;
    int listener = -1;
    int stopRead = -1;   // readable once the server stops
    int stopWrite = -1;
    std::mutex mutex;
    std::condition_variable idle;
    int clients = 0;     // guarded by mutex
    std::thread acceptThread;

    ~Shared() {
        for (int fd : {listener, stopRead, stopWrite})
            if (fd >= 0) ::close(fd);
    }
};

namespace {

using Shared = ControlServer::Shared;

// Waits for `fd` to become readable until `deadline`; false when the time is
// up or the server stops (*stopped tells which).
bool waitReadable(const Shared& shared, int fd, Clock::time_point deadline, bool* stopped) {
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        pollfd fds[2] = {{fd, POLLIN, 0}, {shared.stopRead, POLLIN, 0}};
        const int n = ::poll(fds, 2, static_cast<int>(std::min<int64_t>(left.count(), 1000)));
        if (n < 0 && errno != EINTR) return false;
        if (n <= 0) continue;
        if (fds[1].revents != 0) {
            *stopped = true;
            return false;
        }
        if (fds[0].revents != 0) return true;
    }
}

// Serves one client on its own thread: command lines until it closes, each
// of which must arrive whole before its deadline.
void serveClient(std::shared_ptr<Shared> shared, int fd) {
    const auto lineTime = std::chrono::milliseconds(shared->options.lineDeadlineMs);
    std::string buffer;
    char chunk[512];
    auto deadline = Clock::now() + lineTime;
    bool open = true;
    while (open) {
        size_t nl;
        while (open && (nl = buffer.find('\n')) != std::string::npos) {
            const std::string line = buffer.substr(0, nl);
            buffer.erase(0, nl + 1);
            open = writeAll(fd, runControlCommand(line));
            deadline = Clock::now() + lineTime;
        }
        if (!open) break;
        if (buffer.size() > kMaxLine) {
            writeAll(fd, "error command line too long\n");
            break;
        }
        bool stopped = false;
        if (!waitReadable(*shared, fd, deadline, &stopped)) {
            if (!stopped)
                writeAll(fd, "error command line not complete within " +
                                 std::to_string(shared->options.lineDeadlineMs) + " ms\n");
            break;
        }
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            // The client closed its side: a last line without its line end counts.
            if (!trim(buffer).empty()) writeAll(fd, runControlCommand(buffer));
            break;
        }
        buffer.append(chunk, static_cast<size_t>(n));
    }
    ::close(fd);
    std::lock_guard<std::mutex> lock(shared->mutex);
    --shared->clients;
    shared->idle.notify_all();
}

// Answers a refused client and lets it go.
void refuse(int fd, const char* answer) {
    writeAll(fd, answer);
    ::close(fd);
}

void acceptLoop(std::shared_ptr<Shared> shared) {
    for (;;) {
        pollfd fds[2] = {{shared->listener, POLLIN, 0}, {shared->stopRead, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            std::fprintf(stderr, "VEXLINK_CONTROL: poll failed: %s\n", std::strerror(errno));
            return;
        }
        if (fds[1].revents != 0) return;
        const int fd = ::accept4(shared->listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED || errno == EAGAIN) continue;
            std::fprintf(stderr, "VEXLINK_CONTROL: accept failed: %s\n", std::strerror(errno));
            return;
        }
        // An answer the client does not read never holds its thread for long.
        timeval sendTimeout{5, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof sendTimeout);
        // The file mode keeps other users out; the peer's user id is the
        // check that does not depend on the file system.
        ucred peer{};
        socklen_t length = sizeof peer;
        if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 || peer.uid != shared->owner) {
            refuse(fd, "error the control socket serves only the user who runs the program\n");
            continue;
        }
        bool room = false;
        {
            std::lock_guard<std::mutex> lock(shared->mutex);
            room = shared->clients < shared->options.maxClients;
            if (room) ++shared->clients;
        }
        if (!room) {
            refuse(fd, "error too many clients at once, try again\n");
            continue;
        }
        try {
            std::thread(serveClient, shared, fd).detach();
        } catch (const std::system_error&) {
            refuse(fd, "error cannot serve another client now\n");
            std::lock_guard<std::mutex> lock(shared->mutex);
            --shared->clients;
        }
    }
}

}  // namespace

ControlCommand parseControlCommand(const std::string& rawLine) {
    ControlCommand c;
    const std::string line = trim(rawLine);
    const size_t space = line.find_first_of(" \t");
    const std::string verb = line.substr(0, space);
    const std::string rest = space == std::string::npos ? "" : trim(line.substr(space + 1));
    const std::vector<std::string> args = tokens(rest);
    if (verb == "plug") {
        if (rest.empty()) {
            c.error = "plug needs an entry, such as: plug osprey:x=40,y=30";
            return c;
        }
        c.verb = ControlCommand::Verb::Plug;
        c.entry = rest;
    } else if (verb == "unplug") {
        if (args.size() != 1 || !parseNumber(args[0], 1, 1000000, &c.id)) {
            c.error = "unplug needs a device id, as list shows it";
            return c;
        }
        c.verb = ControlCommand::Verb::Unplug;
        c.entry = args[0];
    } else if (verb == "panel") {
        // The production tester's second stage needs the sensor attached to
        // a board whose first stage ran bare: "panel <id> 1" attaches it.
        if (args.size() != 2 || !parseNumber(args[0], 1, 1000000, &c.id) ||
            !parseNumber(args[1], 0, 1, &c.value)) {
            c.error = "panel needs a device id and 0 (bare board) or 1 (sensor attached)";
            return c;
        }
        c.verb = ControlCommand::Verb::Panel;
    } else if (verb == "fault") {
        // The panel faults of the entry options (open=, short=, noisy=),
        // set or cleared while a program runs: "fault 1 short x3 1".
        if (args.size() != 4 || !parseNumber(args[0], 1, 1000000, &c.id) ||
            (args[1] != "open" && args[1] != "short" && args[1] != "noisy") ||
            !parseChannel(args[2], &c.channel) || !parseNumber(args[3], 0, 1, &c.value)) {
            c.error = "fault needs a device id, open, short or noisy, a channel such as x3 or y12, "
                      "and 1 (set) or 0 (clear)";
            return c;
        }
        c.verb = ControlCommand::Verb::Fault;
        c.entry = args[1];
    } else if (verb == "mode") {
        // A mode report (0x36 / 0x7C) with the given byte 4, as a controller
        // sends when it changes its mode.
        if (args.size() != 2 || !parseNumber(args[0], 1, 1000000, &c.id) ||
            !parseNumber(args[1], 0, 255, &c.value)) {
            c.error = "mode needs a device id and a mode byte 0 to 255";
            return c;
        }
        c.verb = ControlCommand::Verb::Mode;
    } else if (verb == "log") {
        // The calls the programs made to the device since the last "log",
        // so that a person (or the soak run) sees a program at work.
        if (args.size() != 1 || !parseNumber(args[0], 1, 1000000, &c.id)) {
            c.error = "log needs a device id, as list shows it";
            return c;
        }
        c.verb = ControlCommand::Verb::Log;
    } else if (verb == "list") {
        c.verb = ControlCommand::Verb::List;
    } else if (verb.empty()) {
        c.error = "empty command";
    } else {
        c.error = "unknown command \"" + verb +
                  "\" (plug <entry>, unplug <id>, panel <id> <0|1>, "
                  "fault <id> <open|short|noisy> <channel> <0|1>, mode <id> <byte>, log <id>, list)";
    }
    return c;
}

std::string runControlCommand(const std::string& line) {
    const ControlCommand c = parseControlCommand(line);
    const std::string noDevice = "error no device with id " + std::to_string(c.id) + "\n";
    switch (c.verb) {
    case ControlCommand::Verb::Plug: {
        std::string error;
        const int id = control::plug(c.entry, &error);
        return id > 0 ? "ok " + std::to_string(id) + "\n" : "error " + error + "\n";
    }
    case ControlCommand::Verb::Unplug:
        return control::unplug(c.id) ? "ok\n" : "error no device with id " + c.entry + "\n";
    case ControlCommand::Verb::Panel:
        return control::setPanelAttached(c.id, c.value == 1) ? "ok\n" : noDevice;
    case ControlCommand::Verb::Fault: {
        const bool set = c.value == 1;
        const bool done =
            c.entry == "open"    ? control::setOpenChannel(c.id, c.channel.yAxis, c.channel.index, set)
            : c.entry == "short" ? control::setShortedChannel(c.id, c.channel.yAxis, c.channel.index, set)
                                 : control::setNoisyChannel(c.id, c.channel.yAxis, c.channel.index, set);
        if (done) return "ok\n";
        return "error no device with id " + std::to_string(c.id) + " has channel " + channelName(c.channel) +
               (c.entry == "short" ? " and a next neighbour" : "") + "\n";
    }
    case ControlCommand::Verb::Mode:
        return control::emitModeReport(c.id, static_cast<uint8_t>(c.value)) ? "ok\n" : noDevice;
    case ControlCommand::Verb::Log: {
        std::vector<control::CommandRecord> log;
        if (!control::takeCommandLog(c.id, &log)) return noDevice;
        std::string out;
        for (const control::CommandRecord& r : log) out += r.operation + "\n";
        return out + "ok " + std::to_string(log.size()) + "\n";
    }
    case ControlCommand::Verb::List: {
        std::string out;
        for (const control::DeviceSummary& d : control::list())
            out += std::to_string(d.id) + " " + (d.open ? "open" : "closed") + " " + d.entry + " " +
                   d.path + "\n";
        return out + "ok\n";
    }
    case ControlCommand::Verb::Invalid: break;
    }
    return "error " + c.error + "\n";
}

std::unique_ptr<ControlServer> ControlServer::start(const std::string& path, std::string* error,
                                                    ControlServerOptions options) {
    std::string ignored;
    std::string& why = error ? *error : ignored;
    sockaddr_un address{};
    if (path.empty()) {
        why = "no socket path";
        return nullptr;
    }
    if (path.size() >= sizeof address.sun_path) {
        why = "socket path too long: " + path;
        return nullptr;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const auto* sockaddress = reinterpret_cast<const sockaddr*>(&address);

    // Something already at the path: only a socket file that nothing listens
    // on any more (left by a program that ended without removing it) is
    // replaced. connect() is refused for a plain file too, so the file type
    // is checked first: a regular file, a folder or a link is never removed.
    struct stat existing{};
    if (::lstat(path.c_str(), &existing) == 0) {
        if (!S_ISSOCK(existing.st_mode)) {
            why = path + " exists and is not a socket (left alone)";
            return nullptr;
        }
        const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (probe < 0) {
            why = errnoText("socket failed");
            return nullptr;
        }
        const int connected = ::connect(probe, sockaddress, sizeof address);
        const int probeErrno = errno;
        ::close(probe);
        if (connected == 0) {
            why = "another program listens on " + path;
            return nullptr;
        }
        if (probeErrno != ECONNREFUSED) {
            errno = probeErrno;
            why = errnoText("cannot probe " + path);
            return nullptr;
        }
        ::unlink(path.c_str());
    } else if (errno != ENOENT) {
        why = errnoText("cannot look at " + path);
        return nullptr;
    }

    auto shared = std::make_shared<Shared>();
    shared->options = options;
    shared->owner = options.ownerUid >= 0 ? static_cast<uid_t>(options.ownerUid) : ::geteuid();
    shared->listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (shared->listener < 0) {
        why = errnoText("socket failed");
        return nullptr;
    }
    // On Linux bind() gives the socket file the mode of the unbound socket
    // less the umask: 0600 set here means the file is never wider than that,
    // not even for a moment.
    ::fchmod(shared->listener, S_IRUSR | S_IWUSR);
    if (::bind(shared->listener, sockaddress, sizeof address) != 0) {
        why = errnoText("cannot listen on " + path);
        return nullptr;
    }
    std::unique_ptr<ControlServer> server(new ControlServer());
    server->m_path = path;
    struct stat made{};
    if (::lstat(path.c_str(), &made) == 0) {
        server->m_device = made.st_dev;
        server->m_inode = made.st_ino;
        // A system that ignored the mode above: narrow it now (the user id
        // check keeps other users out meanwhile).
        if ((made.st_mode & (S_IRWXG | S_IRWXO)) != 0) ::chmod(path.c_str(), S_IRUSR | S_IWUSR);
    }
    int stop[2];
    if (::listen(shared->listener, 16) != 0 || ::pipe2(stop, O_CLOEXEC) != 0) {
        why = errnoText("cannot listen on " + path);
        server->removeSocketFile();
        return nullptr;
    }
    shared->stopRead = stop[0];
    shared->stopWrite = stop[1];
    shared->acceptThread = std::thread(acceptLoop, shared);
    server->m_shared = std::move(shared);
    return server;
}

ControlServer::~ControlServer() {
    if (m_shared) {
        const char byte = 1;
        while (::write(m_shared->stopWrite, &byte, 1) < 0 && errno == EINTR) {
        }
        m_shared->acceptThread.join();
        std::unique_lock<std::mutex> lock(m_shared->mutex);
        m_shared->idle.wait(lock, [this] { return m_shared->clients == 0; });
    }
    removeSocketFile();
}

void ControlServer::removeSocketFile() {
    if (m_path.empty()) return;
    struct stat now{};
    // Only the file this server made: another program may have taken the
    // path over since.
    if (::lstat(m_path.c_str(), &now) == 0 && S_ISSOCK(now.st_mode) && now.st_dev == m_device &&
        now.st_ino == m_inode)
        ::unlink(m_path.c_str());
}

namespace {

// The process's own server: it lives as long as the process, like the
// devices it drives; only its socket file is removed at exit, and only by
// the process that made it (a forked child that exits must leave it).
ControlServer* g_environmentServer = nullptr;
pid_t g_environmentServerPid = 0;

}  // namespace

void startControlServerFromEnvironment() {
    const char* path = std::getenv("VEXLINK_CONTROL");
    if (!path || !*path || g_environmentServer) return;
    std::string error;
    std::unique_ptr<ControlServer> server = ControlServer::start(path, &error);
    if (!server) {
        std::fprintf(stderr, "VEXLINK_CONTROL: %s; running without the control socket\n", error.c_str());
        return;
    }
    g_environmentServer = server.release();
    g_environmentServerPid = ::getpid();
    std::atexit([] {
        if (::getpid() == g_environmentServerPid) g_environmentServer->removeSocketFile();
    });
}

}  // namespace vexlink::virt
