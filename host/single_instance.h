#pragma once

#include <QString>
#include <memory>

class QLockFile;

namespace lumora::host {

// A named single-instance lock ("LUMORA_TUNER", "ZEMA_TEST_UTILITY"). The
// lock of a crashed process is taken over, never left standing.
class SingleInstanceLock {
public:
    explicit SingleInstanceLock(const QString& name);
    ~SingleInstanceLock();
    // True when another live process holds the lock of this name.
    bool alreadyRunning() const { return !m_held; }
    // Releases the lock now (the destructor does it too).
    void release();

private:
    std::unique_ptr<QLockFile> m_lock;
    bool m_held = false;
};

}  // namespace lumora::host
