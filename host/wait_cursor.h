#pragma once

namespace lumora::host {

// Shows the wait cursor for its lifetime (GUI thread only).
class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace lumora::host
