#pragma once

#include <QString>
#include <memory>

class QLockFile;

namespace lumora::host {

// Where the lock of a name lives. It is the user's own: the user's runtime
// folder (XDG_RUNTIME_DIR) when that is a folder of this user that nobody
// else may write to, else the temp folder under a name that carries the
// user's id. Another user's lock, stale or live, never has this path.
QString singleInstanceLockPath(const QString& name);

// A named single-instance lock ("LUMORA_TUNER", "ZEMA_TEST_UTILITY"), per
// user. The lock of a crashed process is taken over, never left standing.
class SingleInstanceLock {
public:
    explicit SingleInstanceLock(const QString& name);
    ~SingleInstanceLock();
    // True when another live process of this user holds the lock of this name.
    bool alreadyRunning() const { return !m_held; }
    // Releases the lock now (the destructor does it too).
    void release();

private:
    std::unique_ptr<QLockFile> m_lock;
    bool m_held = false;
};

}  // namespace lumora::host
