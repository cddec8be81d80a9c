// The host services through their free functions: each test double is
// reached while installed and the Qt implementation comes back after it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>

#include "host/services.h"
#include "host/testing/doubles.h"
#include "host/wait_cursor.h"
#include "tests/support/test_support.h"

namespace lumora::host {
namespace {

using lumora::test_support::app;

TEST(MessageService, RecordsEveryBoxAndAnswersFromTheScript) {
    testing::RecordingMessages messages;
    messages.script(Answer::No);
    EXPECT_EQ(messageBox("Save changes?", "Quillet", Icon::Question, Buttons::YesNo), Answer::No);
    // Script used up: the first button of the set, as Enter would press it.
    EXPECT_EQ(messageBox("Again?", "Quillet", Icon::Question, Buttons::YesNoCancel), Answer::Yes);
    EXPECT_EQ(messageBox("OpenHIDDevice Fail!", " Error", Icon::Error), Answer::Ok);

    ASSERT_EQ(messages.shown().size(), 3u);
    EXPECT_EQ(messages.shown()[0].text, "Save changes?");
    EXPECT_EQ(messages.shown()[0].icon, Icon::Question);
    EXPECT_EQ(messages.shown()[0].buttons, Buttons::YesNo);
    // Captions are kept byte for byte, leading blank included.
    EXPECT_EQ(messages.shown()[2].caption, " Error");
    EXPECT_EQ(messages.shown()[2].icon, Icon::Error);
}

TEST(TraceSink, CapturedLinesKeepTheirLineEnds) {
    testing::CapturedTrace captured;
    trace("PCAP : OpenHIDDevice...OK\r\n");
    trace("Find HID Device\n");
    EXPECT_EQ(captured.lines(),
              QStringList({"PCAP : OpenHIDDevice...OK\r\n", "Find HID Device\n"}));
    EXPECT_EQ(captured.text(), "PCAP : OpenHIDDevice...OK\r\nFind HID Device\n");
}

// The stderr sink reads LUMORA_TRACE when it is first used, so each case
// runs in a fresh process.
class TraceToStderr : public ::testing::TestWithParam<const char*> {};

TEST_P(TraceToStderr, OnlyWhenAskedFor) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const bool enabled = std::string(GetParam()) == "1";
    EXPECT_EXIT(
        {
            setenv("LUMORA_TRACE", GetParam(), 1);
            // Callers that trace per record ask first; a test's sink always listens.
            if (traceEnabled() != enabled) std::exit(3);
            {
                testing::CapturedTrace captured;
                if (!traceEnabled()) std::exit(4);
            }
            trace("[LumoraTuner] GetDevModelName Fail!\r\n");
            trace("hid#vid_20ac&pid_0e01#1");  // like a device path: no line end of its own
            std::fputs("END\n", stderr);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0),
        enabled ? "GetDevModelName Fail!\r\nhid#vid_20ac&pid_0e01#1\nEND\n$" : "^END\n$");
}

INSTANTIATE_TEST_SUITE_P(Env, TraceToStderr, ::testing::Values("1", "0", ""));

TEST(Clock, FakeMovesOnlyWhenTold) {
    testing::FakeClock fake;
    fake.setMs(1000);
    EXPECT_EQ(tickMs(), 1000);
    EXPECT_EQ(counterNs(), 1'000'000'000);
    fake.advanceNs(1'500'000);
    EXPECT_EQ(tickMs(), 1001);  // whole milliseconds, rounded down
    EXPECT_EQ(counterNs(), 1'001'500'000);
    fake.setLocalTime(QDateTime(QDate(2023, 12, 31), QTime(23, 59, 58)));
    EXPECT_EQ(localTime().toString("yyMMdd hhmmss"), "231231 235958");
}

TEST(Clock, SteadyClockAgreesWithItselfAndNeverGoesBack) {
    const int64_t ns1 = counterNs();
    const int64_t ms = tickMs();
    const int64_t ns2 = counterNs();
    EXPECT_LE(ns1, ns2);
    EXPECT_GE(ms, ns1 / 1'000'000);
    EXPECT_LE(ms, ns2 / 1'000'000);
}

TEST(FileDialogs, ScriptedNamesThenCancel) {
    testing::ScriptedFileDialogs dialogs;
    dialogs.script("/tmp/a.csv");
    EXPECT_EQ(saveFileName(nullptr, "Save", "/tmp", "CSV (*.csv)"), "/tmp/a.csv");
    EXPECT_EQ(openFileName(nullptr, "Load", "", "All (*)"), QString());  // cancelled
    ASSERT_EQ(dialogs.asked().size(), 2u);
    EXPECT_TRUE(dialogs.asked()[0].save);
    EXPECT_EQ(dialogs.asked()[0].filter, "CSV (*.csv)");
    EXPECT_FALSE(dialogs.asked()[1].save);
    EXPECT_EQ(dialogs.asked()[1].caption, "Load");
}

TEST(WaitCursor, SetForItsLifetimeAndNested) {
    app();
    ASSERT_EQ(QGuiApplication::overrideCursor(), nullptr);
    {
        WaitCursor outer;
        ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
        {
            WaitCursor inner;
        }
        ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);  // the outer one still holds
    }
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(HostVersion, LinuxAndMacOsAreModernHosts) {
#if defined(Q_OS_LINUX) || defined(Q_OS_MACOS)
    EXPECT_TRUE(isModernMultitouchHost());
#else
    GTEST_SKIP() << "decided by the Windows version";
#endif
}

#if defined(Q_OS_LINUX)
using lumora::test_support::OrdinaryUser;

// The tester's files stay beside a program whose folder can take them, and
// go to the user's data folder when it cannot: a folder without write
// permission (an installed program), one that is missing, or a file.
TEST(Folders, TesterDataFolderFollowsWhetherTheProgramFolderIsWritable) {
    app();
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    ASSERT_TRUE(QFile::setPermissions(root.path(), QFile::permissions(root.path()) |
                                                       QFileDevice::ExeOther | QFileDevice::ReadOther));
    const QString userData = QDir(root.path()).filePath("user");
    const auto folder = [&](const char* name) { return QDir(root.path()).filePath(name); };
    const auto all = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                     QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    const auto readOnly = QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther |
                          QFileDevice::ExeOther;
    ASSERT_TRUE(QDir().mkpath(folder("writable")));
    ASSERT_TRUE(QFile::setPermissions(folder("writable"), all));
    ASSERT_TRUE(QDir().mkpath(folder("read-only")));
    ASSERT_TRUE(QFile::setPermissions(folder("read-only"), readOnly));
    QFile file(folder("a-file"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    const struct {
        const char* program;
        bool beside;
    } cases[] = {
        {"writable", true},
        {"read-only", false},
        {"missing", false},
        {"a-file", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.program);
        QString chosen;
        {
            OrdinaryUser user;
            chosen = testerDataFolderFor(folder(c.program), userData);
        }
        EXPECT_EQ(chosen, c.beside ? folder(c.program) : userData);
    }
    // The probe leaves nothing behind.
    EXPECT_TRUE(QDir(folder("writable")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)
                    .isEmpty());
    QFile::setPermissions(folder("read-only"), all);
}
#endif

}  // namespace
}  // namespace lumora::host
