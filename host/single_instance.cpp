#include "host/single_instance.h"

#include <QDir>
#include <QLockFile>

namespace lumora::host {

// A lock file in the temp folder stands in for the named mutex. QLockFile
// writes the owner's process id into it; tryLock() removes a file whose owner
// no longer runs, so a crashed instance never blocks the next start. The
// stale time is 0 so that a live owner is never taken over however long it
// has been running.
SingleInstanceLock::SingleInstanceLock(const QString& name)
    : m_lock(std::make_unique<QLockFile>(QDir(QDir::tempPath()).filePath(name + QLatin1String(".lock")))) {
    m_lock->setStaleLockTime(0);
    m_held = m_lock->tryLock(0);
}

SingleInstanceLock::~SingleInstanceLock() { release(); }

void SingleInstanceLock::release() {
    if (m_held) m_lock->unlock();
    m_held = false;
}

}  // namespace lumora::host
