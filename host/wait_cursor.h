#pragma once

namespace lumora::host {

// Shows the wait cursor for its lifetime (GUI thread only).
class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    bool m_set = false;  // restored only if this object set it
};

}  // namespace lumora::host
