// Shared set-up of the tester's tests: one QApplication with the GUI
// dispatcher, a program folder with an ini file, virtual controllers and the
// host doubles.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <string>

#include "host/packet_window.h"
#include "host/testing/doubles.h"
#include "tests/tester/app/print_qt.h"
#include "tests/support/test_support.h"
#include "vexlink/virtual/control.h"

namespace lumora::tester::test_support {

inline QApplication& app() {
    static QApplication& instance = []() -> QApplication& {
        QApplication& a = ::lumora::test_support::app();
        host::installGuiDispatcher();
        return a;
    }();
    return instance;
}

using lumora::test_support::waitUntil;

using lumora::test_support::pump;

// A plan used by most tests: the case label "Line1" and a [DEFAULT] section.
constexpr const char* kPlan =
    "[TestParameter]\r\nCaseName=Line1\r\n[DEFAULT]\r\nDeviceInterface=0\r\nPCBTestMode=1\r\n";

class TesterFixture : public ::testing::Test {
protected:
    void SetUp() override {
        app();
        ASSERT_TRUE(m_dir.isValid());
        vexlink::control::configure("");
        writePlan("LumoraPCBTester_Osprey.ini", kPlan);
        writePlan("LumoraPCBTester_Heron.ini", kPlan);
    }
    void TearDown() override {
        vexlink::control::configure("");
        pump(20);  // removals reach nobody once the page has gone
    }

    void writePlan(const char* name, const char* text) {
        QFile file(QDir(m_dir.path()).filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    }
    QString programDir() const { return m_dir.path(); }

    // Plugs one virtual device; fails the test when the entry is refused.
    int plug(const std::string& entry) {
        std::string error;
        const int id = vexlink::control::plug(entry, &error);
        EXPECT_GT(id, 0) << error;
        return id;
    }

    QTemporaryDir m_dir;
    host::testing::RecordingMessages m_messages;
    host::testing::CapturedTrace m_trace;
};

}  // namespace lumora::tester::test_support
