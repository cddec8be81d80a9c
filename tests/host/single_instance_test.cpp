#include <gtest/gtest.h>

#include <QDir>
#include <QLockFile>

#include <sys/wait.h>
#include <unistd.h>

#include "host/single_instance.h"

namespace lumora::host {
namespace {

// A name of this test run only, so that a tuner running on the machine is
// never disturbed.
QString uniqueName(const char* what) {
    return QStringLiteral("LUMORA_TEST_%1_%2").arg(what).arg(getpid());
}

TEST(SingleInstanceLock, SecondHolderOfTheSameNameIsRefusedUntilReleased) {
    const QString name = uniqueName("SECOND");
    SingleInstanceLock first(name);
    ASSERT_FALSE(first.alreadyRunning());
    {
        SingleInstanceLock second(name);
        EXPECT_TRUE(second.alreadyRunning());
        SingleInstanceLock other(uniqueName("OTHER"));
        EXPECT_FALSE(other.alreadyRunning());  // names do not collide
    }
    // The refused lock must not have removed the holder's lock on its way out.
    EXPECT_TRUE(SingleInstanceLock(name).alreadyRunning());
    first.release();
    EXPECT_FALSE(SingleInstanceLock(name).alreadyRunning());
}

TEST(SingleInstanceLock, LockOfACrashedProcessIsTakenOver) {
    const QString name = uniqueName("CRASHED");
    const QString path = QDir(QDir::tempPath()).filePath(name + ".lock");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Takes the lock and dies without releasing it, as a crash would.
        SingleInstanceLock* leaked = new SingleInstanceLock(name);
        _exit(leaked->alreadyRunning() ? 2 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    ASSERT_TRUE(QFile::exists(path));  // the dead holder left its lock behind

    SingleInstanceLock next(name);
    EXPECT_FALSE(next.alreadyRunning());
}

}  // namespace
}  // namespace lumora::host
