// vexlink-ctl: drives the virtual devices of a running program over the
// control socket that the program's libvexlink opened (VEXLINK_CONTROL).
//
//   vexlink-ctl [-s socket] plug <entry>
//   vexlink-ctl [-s socket] unplug <id>
//   vexlink-ctl [-s socket] panel <id> <0|1>
//   vexlink-ctl [-s socket] fault <id> <open|short|noisy> <channel> <0|1>
//   vexlink-ctl [-s socket] mode <id> <byte>
//   vexlink-ctl [-s socket] log <id>
//   vexlink-ctl [-s socket] list
//
// Exit status: 0 when the program answered "ok", 1 when it answered an
// error or could not be reached, 2 for a usage error.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int usage() {
    std::fputs("usage: vexlink-ctl [-s socket] plug <entry> | unplug <id> | panel <id> <0|1>\n"
               "       | fault <id> <open|short|noisy> <channel> <0|1>\n"
               "       | mode <id> <byte> | log <id> | list\n"
               "  the socket defaults to $VEXLINK_CONTROL; entries as in VEXLINK_DEVICES,\n"
               "  for example: vexlink-ctl plug osprey:x=40,y=30\n",
               stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int arg = 1;
    std::string socketPath;
    if (arg + 1 < argc && std::strcmp(argv[arg], "-s") == 0) {
        socketPath = argv[arg + 1];
        arg += 2;
    } else if (const char* env = std::getenv("VEXLINK_CONTROL")) {
        socketPath = env;
    }
    if (arg >= argc) return usage();
    const std::string verb = argv[arg];
    std::string command = verb;
    for (int i = arg + 1; i < argc; ++i) command += std::string(" ") + argv[i];
    if ((verb == "plug" || verb == "unplug" || verb == "log") && argc - arg != 2) return usage();
    if ((verb == "panel" || verb == "mode") && argc - arg != 3) return usage();
    if (verb == "fault" && argc - arg != 5) return usage();
    if (verb == "list" && argc - arg != 1) return usage();
    if (verb != "plug" && verb != "unplug" && verb != "panel" && verb != "fault" && verb != "mode" &&
        verb != "log" && verb != "list") return usage();
    if (socketPath.empty()) {
        std::fputs("vexlink-ctl: no socket: set VEXLINK_CONTROL or pass -s\n", stderr);
        return 2;
    }

    sockaddr_un address{};
    if (socketPath.size() >= sizeof address.sun_path) {
        std::fprintf(stderr, "vexlink-ctl: socket path too long: %s\n", socketPath.c_str());
        return 1;
    }
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, socketPath.c_str());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        std::fprintf(stderr, "vexlink-ctl: cannot reach %s: %s\n", socketPath.c_str(),
                     std::strerror(errno));
        if (fd >= 0) ::close(fd);
        return 1;
    }
    command += "\n";
    if (::send(fd, command.data(), command.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(command.size())) {
        std::fprintf(stderr, "vexlink-ctl: send failed: %s\n", std::strerror(errno));
        ::close(fd);
        return 1;
    }
    ::shutdown(fd, SHUT_WR);

    // Print the answer; its last line says ok or error.
    std::string answer;
    char buffer[1024];
    for (;;) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        answer.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    while (!answer.empty() && answer.back() == '\n') answer.pop_back();
    const size_t lastLine = answer.rfind('\n');
    const std::string status = answer.substr(lastLine == std::string::npos ? 0 : lastLine + 1);
    const std::string data = lastLine == std::string::npos ? "" : answer.substr(0, lastLine + 1);
    std::fputs(data.c_str(), stdout);
    if (status.rfind("ok", 0) == 0) {
        if (status.size() > 3) std::printf("%s\n", status.substr(3).c_str());
        return 0;
    }
    std::fprintf(stderr, "vexlink-ctl: %s\n", status.empty() ? "no answer" : status.c_str());
    return 1;
}
