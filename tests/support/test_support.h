// What many test programs share: their one QApplication and a single
// virtual controller opened through the public contract.
#pragma once

#include <QApplication>
#include <cstring>
#include <string>

#include "device/vexlink.h"
#include "vexlink/virtual/control.h"

namespace lumora::test_support {

// The one QApplication of the test program (fonts and widgets need it),
// made on first use; the offscreen platform needs no display.
inline QApplication& app() {
    static int argc = 1;
    static char name[] = "lumora_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* instance = [] {
        if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance()))
            return existing;
        return new QApplication(argc, argv);
    }();
    return *instance;
}

struct OpenedDevice {
    int id = 0;              // control-API id of the device
    VexHandle handle = 0;    // 0 when it could not be set up; `error` says why
    std::string error;
};

// Replaces the virtual devices by `devices`, which must describe exactly one
// device, and opens it as a program would.
inline OpenedDevice openOnlyDevice(const std::string& devices) {
    OpenedDevice out;
    out.error = vexlink::control::configure(devices);
    if (!out.error.empty()) return out;
    const auto list = vexlink::control::list();
    if (list.size() != 1) {
        out.error = "expected one device, found " + std::to_string(list.size());
        return out;
    }
    out.id = list[0].id;
    VexDeviceDescriptor descriptor{};
    std::strncpy(descriptor.path, list[0].path.c_str(), sizeof descriptor.path - 1);
    out.handle = OpenHIDDevice(descriptor);
    if (!out.handle) out.error = "OpenHIDDevice failed for " + list[0].path;
    return out;
}

}  // namespace lumora::test_support
