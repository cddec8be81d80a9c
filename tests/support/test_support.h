// What many test programs share: their one QApplication and a single
// virtual controller opened through the public contract.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QRect>
#include <chrono>
#include <thread>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <string>
#include <utility>

#if defined(__linux__)
#include <sys/fsuid.h>
#include <unistd.h>
#endif

#include "device/vexlink.h"
#include "host/testing/doubles.h"
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

// Runs the event loop until `done` holds or `ms` have passed; returns
// `done`. The limit only matters when a test fails: a busy machine (or a
// sanitizer build) may take its time, so the default is generous.
inline bool waitUntil(const std::function<bool()>& done, int ms = 20000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// An image packet (the image pages' streams): message id, line (byte 3)
// and block (byte 4) as signed bytes, and its 29 values, value i being
// base + step * i (16-bit big-endian from byte 6).
inline VexPacket imagePacket(uint8_t id, int line, int block, int base, int step = 0) {
    VexPacket p{};
    p.bytes[2] = id;
    p.bytes[3] = static_cast<uint8_t>(static_cast<int8_t>(line));
    p.bytes[4] = static_cast<uint8_t>(static_cast<int8_t>(block));
    for (int i = 0; i < 29; ++i) {
        const int v = base + step * i;
        p.bytes[6 + 2 * i] = static_cast<uint8_t>((v >> 8) & 0xFF);
        p.bytes[7 + 2 * i] = static_cast<uint8_t>(v & 0xFF);
    }
    return p;
}

// Exactly these message boxes, text and caption, in this order.
inline void expectMessages(const host::testing::RecordingMessages& messages,
                           std::initializer_list<std::pair<const char*, const char*>> expected) {
    const auto& shown = messages.shown();
    std::string texts;
    for (const auto& s : shown) texts += "\n  " + s.text.toStdString();
    ASSERT_EQ(shown.size(), expected.size()) << "shown:" << texts;
    size_t i = 0;
    for (auto [text, caption] : expected) {
        EXPECT_EQ(shown[i].text, QString::fromLatin1(text)) << "message " << i;
        EXPECT_EQ(shown[i].caption, QString::fromLatin1(caption)) << "message " << i;
        ++i;
    }
}

// The controller's end packet (sent when it goes away) under the packet id
// `id`, which may be any the page registered.
inline VexPacket endPacket(uint8_t id) {
    VexPacket p{};
    p.bytes[1] = 2;
    p.bytes[2] = id;
    p.bytes[3] = 0x70;
    p.bytes[4] = 3;
    return p;
}

// Waits in short sleeps, without an event loop, until `done` holds or `ms`
// have passed; for work that runs on a thread of its own.
inline bool sleepUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return done();
}

// A pixel's colour, opaque whatever the image's alpha.
inline QRgb opaquePixel(const QImage& image, int x, int y) { return image.pixel(x, y) | 0xFF000000u; }

// How many pixels of `area` (cut to the image) are of `colour` (an opaque one).
inline int countColour(const QImage& image, QRect area, QRgb colour) {
    area = area.intersected(image.rect());
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) n += opaquePixel(image, x, y) == colour;
    return n;
}

// Runs the event loop for `ms`, for what must not happen.
inline void pump(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

#if defined(__linux__)
// Runs the file-system checks of this thread as an ordinary user: as root,
// through the file-system uid of "nobody" (which also drops root's right
// to write anywhere), so that a folder without write permission is one.
class OrdinaryUser {
public:
    OrdinaryUser() : m_wasRoot(geteuid() == 0) {
        if (m_wasRoot) {
            setfsgid(65534);
            setfsuid(65534);
        }
    }
    ~OrdinaryUser() {
        if (m_wasRoot) {
            setfsuid(0);
            setfsgid(0);
        }
    }

private:
    const bool m_wasRoot;
};
#endif

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
