// A program that does nothing but start libvexlink, so that a test sees
// what the library's control socket does in a process of its own. Exits
// with 3 when the socket named by VEXLINK_CONTROL was there while it ran.
#include <sys/stat.h>

#include <cstdlib>

#include "vexlink/virtual/control.h"

int main() {
    vexlink::control::list();  // the library's first use starts the control socket
    const char* path = std::getenv("VEXLINK_CONTROL");
    struct stat st{};
    return path && ::lstat(path, &st) == 0 && S_ISSOCK(st.st_mode) ? 3 : 0;
}
