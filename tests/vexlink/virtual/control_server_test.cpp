// The control socket itself: what it does with whatever lies at its path,
// who may connect, and clients that are slow or many. Servers are started
// here at paths of their own, beside the one the library starts from
// VEXLINK_CONTROL.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "vexlink/virtual/control.h"
#include "vexlink/virtual/control_server.h"

namespace vexlink::virt {
namespace {

using Clock = std::chrono::steady_clock;

// A folder of this test run, removed at the end.
class TempFolder {
public:
    TempFolder() {
        char pattern[] = "/tmp/vexlink-ctl-test-XXXXXX";
        m_path = ::mkdtemp(pattern) ? pattern : "";
    }
    ~TempFolder() {
        if (!m_path.empty()) std::system(("rm -rf '" + m_path + "'").c_str());
    }
    std::string file(const std::string& name) const { return m_path + "/" + name; }
    bool valid() const { return !m_path.empty(); }

private:
    std::string m_path;
};

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

bool isSocket(const std::string& path) {
    struct stat st{};
    return ::lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

bool exists(const std::string& path) {
    struct stat st{};
    return ::lstat(path.c_str(), &st) == 0;
}

// A client connection; -1 when it could not connect.
int connectTo(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool sendText(int fd, const std::string& text) {
    return ::send(fd, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
}

// Reads what has arrived within `ms`, appending to *got; false once the
// server has closed the connection.
bool readFor(int fd, int ms, std::string* got) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, ms) <= 0) return true;
    char buffer[512];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    got->append(buffer, static_cast<size_t>(n));
    return true;
}

// Sends one command line and reads until its final "ok"/"error" line.
std::string ask(const std::string& path, const std::string& line) {
    const int fd = connectTo(path);
    if (fd < 0) return "<cannot connect>";
    sendText(fd, line + "\n");
    std::string got;
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (Clock::now() < deadline && readFor(fd, 100, &got) &&
           got.find("ok") == std::string::npos && got.find("error") == std::string::npos) {
    }
    ::close(fd);
    return got;
}

class ControlServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_folder.valid());
        control::configure("");
    }
    TempFolder m_folder;
};

// ---- What lies at the path ---------------------------------------------------------

TEST_F(ControlServerTest, OnlyASocketNothingListensOnIsReplaced) {
    const std::string target = m_folder.file("target.txt");
    writeFile(target, "precious");
    struct Case {
        const char* name;
        void (*prepare)(const std::string& path, const std::string& target);
        bool starts;
        const char* reason;  // part of the error when it does not start
        const char* left;    // what stays at the path: "file", "folder", "link"
    } cases[] = {
        {"regular file", [](const std::string& p, const std::string&) { writeFile(p, "precious"); },
         false, "is not a socket", "file"},
        {"folder", [](const std::string& p, const std::string&) { ::mkdir(p.c_str(), 0700); }, false,
         "is not a socket", "folder"},
        {"link to a file", [](const std::string& p, const std::string& t) { ::symlink(t.c_str(), p.c_str()); },
         false, "is not a socket", "link"},
        {"socket of a program that ended",
         [](const std::string& p, const std::string&) {
             // Bound and closed without removing the file, as a crash leaves it.
             sockaddr_un a{};
             a.sun_family = AF_UNIX;
             std::strncpy(a.sun_path, p.c_str(), sizeof a.sun_path - 1);
             const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
             ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
             ::close(fd);
         },
         true, "", ""},
        {"nothing", [](const std::string&, const std::string&) {}, true, "", ""},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = m_folder.file("ctl" + std::to_string(n++) + ".sock");
        c.prepare(path, target);
        std::string error;
        auto server = ControlServer::start(path, &error);
        if (c.starts) {
            ASSERT_NE(server, nullptr) << error;
            EXPECT_TRUE(isSocket(path));
            EXPECT_EQ(ask(path, "list"), "ok\n");
            server.reset();
            EXPECT_FALSE(exists(path)) << "the socket file goes with the server";
            continue;
        }
        EXPECT_EQ(server, nullptr);
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        EXPECT_NE(error.find(path), std::string::npos) << "the message names the path: " << error;
        struct stat st{};
        ASSERT_EQ(::lstat(path.c_str(), &st), 0) << "left where it was";
        const std::string left = c.left;
        if (left == "file") {
            EXPECT_EQ(readFile(path), "precious");
        } else if (left == "folder") {
            EXPECT_TRUE(S_ISDIR(st.st_mode));
        } else {
            EXPECT_TRUE(S_ISLNK(st.st_mode));
        }
    }
    EXPECT_EQ(readFile(target), "precious");
}

TEST_F(ControlServerTest, ASocketAnotherServerListensOnIsLeftToIt) {
    const std::string path = m_folder.file("live.sock");
    std::string error;
    auto first = ControlServer::start(path, &error);
    ASSERT_NE(first, nullptr) << error;
    EXPECT_EQ(ControlServer::start(path, &error), nullptr);
    EXPECT_NE(error.find("another program listens"), std::string::npos) << error;
    EXPECT_EQ(ask(path, "list"), "ok\n") << "the first still answers";
}

// The program's own server, from VEXLINK_CONTROL, in a small program that
// only starts the library: a refused path is reported on stderr and the
// program runs on; the socket file it made is gone when the program ends.
std::string controlHostPath() {
    char exe[4096] = {};
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    const std::string self(exe, n > 0 ? static_cast<size_t>(n) : 0);
    return self.substr(0, self.rfind('/')) + "/vexlink_control_host";
}

TEST_F(ControlServerTest, TheProgramsServerReportsARefusedPathAndRemovesItsSocketAtExit) {
    const std::string file = m_folder.file("notes.txt");
    writeFile(file, "keep me");
    const std::string socket = m_folder.file("program.sock");
    const std::string errors = m_folder.file("stderr.txt");
    const struct {
        std::string path;
        int status;  // the program's: 3 while its socket was there, 0 without
    } cases[] = {{file, 0}, {socket, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const std::string command = "VEXLINK_DEVICES= VEXLINK_NO_HID=1 VEXLINK_CONTROL='" + c.path + "' '" +
                                    controlHostPath() + "' 2>'" + errors + "'";
        const int status = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), c.status);
        if (c.path == file) {
            EXPECT_EQ(readFile(file), "keep me");
            EXPECT_EQ(readFile(errors), "VEXLINK_CONTROL: " + file +
                                            " exists and is not a socket (left alone); "
                                            "running without the control socket\n");
        } else {
            EXPECT_FALSE(exists(socket)) << "removed when the program ended";
            EXPECT_EQ(readFile(errors), "");
        }
    }
}

// ---- Who may connect ---------------------------------------------------------------

TEST_F(ControlServerTest, TheSocketIsTheOwnersOnlyWhateverTheUmask) {
    const mode_t old = ::umask(0);
    const std::string path = m_folder.file("open.sock");
    std::string error;
    auto server = ControlServer::start(path, &error);
    ::umask(old);
    ASSERT_NE(server, nullptr) << error;
    struct stat st{};
    ASSERT_EQ(::lstat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(ControlServerTest, AClientOfAnotherUserIsRefused) {
    const std::string path = m_folder.file("other.sock");
    ControlServerOptions options;
    options.ownerUid = static_cast<long>(::geteuid()) + 1;  // as if the program ran as someone else
    std::string error;
    auto server = ControlServer::start(path, &error, options);
    ASSERT_NE(server, nullptr) << error;
    const std::string answer = ask(path, "plug osprey");
    EXPECT_EQ(answer.rfind("error ", 0), 0u) << answer;
    EXPECT_TRUE(control::list().empty()) << "nothing was plugged";
}

// ---- Slow and many clients ---------------------------------------------------------

TEST_F(ControlServerTest, ASlowClientHoldsNobodyUp) {
    const std::string path = m_folder.file("slow.sock");
    ControlServerOptions options;
    options.lineDeadlineMs = 10 * 60 * 1000;  // the slow client is never cut off here
    std::string error;
    auto server = ControlServer::start(path, &error, options);
    ASSERT_NE(server, nullptr) << error;
    const int slow = connectTo(path);
    ASSERT_GE(slow, 0);
    const int quick = connectTo(path);
    ASSERT_GE(quick, 0);
    ASSERT_TRUE(sendText(slow, "l"));
    ASSERT_TRUE(sendText(quick, "list\n"));
    // The slow client keeps sending a byte now and then, never a whole line,
    // while the quick one waits for its answer.
    std::string answer;
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (answer.find('\n') == std::string::npos && Clock::now() < deadline) {
        ASSERT_TRUE(sendText(slow, " "));
        ASSERT_TRUE(readFor(quick, 200, &answer));
    }
    EXPECT_EQ(answer, "ok\n");
    ::close(slow);
    ::close(quick);
}

TEST_F(ControlServerTest, ALineThatDoesNotArriveInTimeEndsTheConnection) {
    const std::string path = m_folder.file("deadline.sock");
    ControlServerOptions options;
    options.lineDeadlineMs = 300;
    std::string error;
    auto server = ControlServer::start(path, &error, options);
    ASSERT_NE(server, nullptr) << error;
    const int fd = connectTo(path);
    ASSERT_GE(fd, 0);
    // One byte at a time, each well within the deadline, the line never whole.
    std::string answer;
    bool open = true;
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (open && Clock::now() < deadline) {
        sendText(fd, "x");
        open = readFor(fd, 50, &answer);
    }
    EXPECT_FALSE(open) << "the server let the client go";
    EXPECT_EQ(answer, "error command line not complete within 300 ms\n");
    ::close(fd);
    // A client that sends its line in time is answered.
    EXPECT_EQ(ask(path, "list"), "ok\n");
}

TEST_F(ControlServerTest, ClientsBeyondTheLimitAreTurnedAway) {
    const std::string path = m_folder.file("many.sock");
    ControlServerOptions options;
    options.maxClients = 2;
    options.lineDeadlineMs = 10 * 60 * 1000;
    std::string error;
    auto server = ControlServer::start(path, &error, options);
    ASSERT_NE(server, nullptr) << error;
    const int first = connectTo(path);
    const int second = connectTo(path);
    ASSERT_GE(first, 0);
    ASSERT_GE(second, 0);
    // Both are being served once one of them has had an answer.
    ASSERT_TRUE(sendText(first, "list\n"));
    std::string answer;
    while (answer.empty() && readFor(first, 100, &answer)) {
    }
    ASSERT_EQ(answer, "ok\n");
    EXPECT_EQ(ask(path, "list"), "error too many clients at once, try again\n");
    ::close(second);
    ::close(first);
    // Room again once they have gone.
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    std::string later;
    while ((later = ask(path, "list")) != "ok\n" && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(later, "ok\n");
}

// ---- Command lines -----------------------------------------------------------------

TEST(ControlCommands, ParsedWithTheirArgumentsOrRefusedWithAReason) {
    using Verb = ControlCommand::Verb;
    const struct {
        const char* line;
        Verb verb;
        int id;
        int value;
        const char* entryOrError;
    } cases[] = {
        {"plug osprey:x=40,y=30", Verb::Plug, 0, 0, "osprey:x=40,y=30"},
        {"  plug   heron \r", Verb::Plug, 0, 0, "heron"},
        {"plug", Verb::Invalid, 0, 0, "plug needs an entry"},
        {"unplug 7", Verb::Unplug, 7, 0, "7"},
        {"unplug 0", Verb::Invalid, 0, 0, "unplug needs a device id"},
        {"unplug 1000001", Verb::Invalid, 0, 0, "unplug needs a device id"},
        {"unplug 3 4", Verb::Invalid, 0, 0, "unplug needs a device id"},
        {"unplug 99999999999999999999", Verb::Invalid, 0, 0, "unplug needs a device id"},
        {"panel 2 1", Verb::Panel, 2, 1, ""},
        {"panel 2 0", Verb::Panel, 2, 0, ""},
        {"panel 2 2", Verb::Invalid, 0, 0, "panel needs a device id and 0"},
        {"panel 2 1 x", Verb::Invalid, 0, 0, "panel needs a device id and 0"},
        {"mode 3 255", Verb::Mode, 3, 255, ""},
        {"mode 3 256", Verb::Invalid, 0, 0, "mode needs a device id and a mode byte"},
        {"mode -3 6", Verb::Invalid, 0, 0, "mode needs a device id and a mode byte"},
        {"mode 3 1.5", Verb::Invalid, 0, 0, "mode needs a device id and a mode byte"},
        {"fault 5 short x3 1", Verb::Fault, 5, 1, "short"},
        {"fault 5 noisy Y12 0", Verb::Fault, 5, 0, "noisy"},
        {"fault 5 open x126 1", Verb::Fault, 5, 1, "open"},
        {"fault 5 open x127 1", Verb::Invalid, 0, 0, "fault needs a device id"},
        {"fault 5 open z3 1", Verb::Invalid, 0, 0, "fault needs a device id"},
        {"fault 5 bent x3 1", Verb::Invalid, 0, 0, "fault needs a device id"},
        {"fault 5 open x3 2", Verb::Invalid, 0, 0, "fault needs a device id"},
        {"fault 5 open x3", Verb::Invalid, 0, 0, "fault needs a device id"},
        {"log 4", Verb::Log, 4, 0, ""},
        {"log", Verb::Invalid, 0, 0, "log needs a device id"},
        {"list", Verb::List, 0, 0, ""},
        {"", Verb::Invalid, 0, 0, "empty command"},
        {"frobnicate 1", Verb::Invalid, 0, 0, "unknown command \"frobnicate\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const ControlCommand got = parseControlCommand(c.line);
        EXPECT_EQ(got.verb, c.verb);
        if (c.verb == Verb::Invalid) {
            EXPECT_EQ(got.error.rfind(c.entryOrError, 0), 0u) << got.error;
            EXPECT_EQ(runControlCommand(c.line), "error " + got.error + "\n");
            continue;
        }
        EXPECT_TRUE(got.error.empty());
        EXPECT_EQ(got.id, c.id);
        EXPECT_EQ(got.value, c.value);
        if (*c.entryOrError) {
            EXPECT_EQ(got.entry, c.entryOrError);
        }
    }
}

}  // namespace
}  // namespace vexlink::virt
