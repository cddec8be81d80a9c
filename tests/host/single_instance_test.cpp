#include <gtest/gtest.h>

#include <QDir>
#include <QLockFile>
#include <QTemporaryDir>

#include <sys/stat.h>
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
    const QString path = singleInstanceLockPath(name);
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

// Sets XDG_RUNTIME_DIR for the life of the object, then puts back what was there.
class RuntimeFolder {
public:
    explicit RuntimeFolder(const QByteArray& value)
        : m_old(qgetenv("XDG_RUNTIME_DIR")), m_had(qEnvironmentVariableIsSet("XDG_RUNTIME_DIR")) {
        if (value.isNull())
            qunsetenv("XDG_RUNTIME_DIR");
        else
            qputenv("XDG_RUNTIME_DIR", value);
    }
    ~RuntimeFolder() {
        if (m_had)
            qputenv("XDG_RUNTIME_DIR", m_old);
        else
            qunsetenv("XDG_RUNTIME_DIR");
    }

private:
    QByteArray m_old;
    bool m_had;
};

TEST(SingleInstanceLock, LivesInAFolderOfTheUserOrUnderANameOfTheUser) {
    QTemporaryDir own;
    ASSERT_TRUE(own.isValid());
    ASSERT_TRUE(QFile::setPermissions(own.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QTemporaryDir shared;
    ASSERT_TRUE(shared.isValid());
    ASSERT_EQ(::chmod(QFile::encodeName(shared.path()).constData(), 0777), 0);  // anyone may write

    const QString name = uniqueName("WHERE");
    const QString perUser =
        QDir(QDir::tempPath()).filePath(name + "-" + QString::number(::geteuid()) + ".lock");
    const struct {
        const char* what;
        QByteArray runtime;  // null: unset
        QString path;
    } cases[] = {
        {"own runtime folder", QFile::encodeName(own.path()), QDir(own.path()).filePath(name + ".lock")},
        {"no runtime folder", QByteArray(), perUser},
        {"runtime folder others may write to", QFile::encodeName(shared.path()), perUser},
        {"runtime folder that does not exist", QFile::encodeName(own.path() + "/gone"), perUser},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RuntimeFolder runtime(c.runtime);
        EXPECT_EQ(singleInstanceLockPath(name), c.path);
        {
            SingleInstanceLock lock(name);
            EXPECT_FALSE(lock.alreadyRunning());
            EXPECT_TRUE(QFile::exists(c.path));
        }
        EXPECT_FALSE(QFile::exists(c.path)) << "released";
    }
}

// A lock at the shared temp folder's plain name (another user's, which this
// user could neither remove nor take over) does not stop this user's start.
TEST(SingleInstanceLock, ALockAtTheSharedNameDoesNotBlock) {
    const QString name = uniqueName("SHARED");
    QLockFile foreign(QDir(QDir::tempPath()).filePath(name + ".lock"));
    ASSERT_TRUE(foreign.tryLock(0));
    QTemporaryDir own;
    ASSERT_TRUE(own.isValid());
    for (const QByteArray& runtime : {QByteArray(), QFile::encodeName(own.path())}) {
        RuntimeFolder folder(runtime);
        SingleInstanceLock mine(name);
        EXPECT_FALSE(mine.alreadyRunning());
    }
    foreign.unlock();
}

}  // namespace
}  // namespace lumora::host
