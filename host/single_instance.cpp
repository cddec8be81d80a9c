#include "host/single_instance.h"

#include <QDir>
#include <QLockFile>
#include <QtGlobal>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace lumora::host {

QString singleInstanceLockPath(const QString& name) {
    const QString fileName = name + QLatin1String(".lock");
#ifdef Q_OS_UNIX
    // A runtime folder that someone else owns or may write to could hold a
    // lock planted there; the temp folder then serves, under a per-user name.
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    struct stat st{};
    if (!runtime.isEmpty() && ::stat(runtime.constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
        st.st_uid == ::geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0 &&
        ::access(runtime.constData(), W_OK) == 0)
        return QDir(QString::fromLocal8Bit(runtime)).filePath(fileName);
    return QDir(QDir::tempPath())
        .filePath(name + QLatin1Char('-') + QString::number(::geteuid()) + QLatin1String(".lock"));
#else
    // Elsewhere the temp folder is the user's own.
    return QDir(QDir::tempPath()).filePath(fileName);
#endif
}

// A lock file stands in for the named mutex. QLockFile writes the owner's
// process id into it; tryLock() removes a file whose owner no longer runs,
// so a crashed instance never blocks the next start. The stale time is 0 so
// that a live owner is never taken over however long it has been running.
SingleInstanceLock::SingleInstanceLock(const QString& name)
    : m_lock(std::make_unique<QLockFile>(singleInstanceLockPath(name))) {
    m_lock->setStaleLockTime(0);
    m_held = m_lock->tryLock(0);
}

SingleInstanceLock::~SingleInstanceLock() { release(); }

void SingleInstanceLock::release() {
    if (m_held) m_lock->unlock();
    m_held = false;
}

}  // namespace lumora::host
