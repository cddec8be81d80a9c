// The "Analyze" page against virtual devices: a PWM tester, a controller
// (the page is built with DeviceState.controller set, as start-up never
// does, since it shows the page only without a controller) and the
// feature-report device.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPushButton>
#include <QSpinBox>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "device/vexlink.h"
#include "host/testing/doubles.h"
#include "tests/support/test_support.h"
#include "tuner/analyze/analyze_dlg.h"
#include "tuner/app/device_state.h"
#include "vexlink/virtual/control.h"

namespace lumora::analyze_test {

namespace control = vexlink::control;
using Shown = host::testing::RecordingMessages::Shown;

using lumora::test_support::waitUntil;

inline int takeFirst(void* context, const char* path, void*, uint32_t value1, uint32_t value2) {
    auto* d = static_cast<VexDeviceDescriptor*>(context);
    if (d->path[0]) return 0;
    std::strncpy(d->path, path, sizeof d->path - 1);
    d->value1 = value1;
    d->value2 = value2;
    return 1;
}

class AnalyzePageTest : public ::testing::Test {
protected:
    void SetUp() override { test_support::app(); }

    void TearDown() override {
        if (m_page) {
            m_page->onHidden();
            m_page->onDestroyed();
        }
        m_page.reset();
        if (m_state.controller) CloseHIDDevice(m_state.controller);
        control::useSteadyStimulusTime();
        control::configure("");
    }

    // Plugs `devices`; the first controller among them (kind `controller`,
    // if given) is opened into DeviceState as the tuner's start-up would.
    void plug(const std::string& devices, const std::string& controller = "", uint8_t typeCode = 0) {
        ASSERT_EQ(control::configure(devices), "");
        for (const auto& d : control::list()) m_ids.push_back({d.entry, d.id});
        if (controller.empty()) return;
        VexDeviceDescriptor descriptor{};
        EnumerateHidDevices(&descriptor, [](void* c, const char* path, void* r, uint32_t v1, uint32_t v2) {
            std::string upper(path);
            for (char& ch : upper) ch = char(std::toupper(static_cast<unsigned char>(ch)));
            if (upper.find("&COL05") == std::string::npos) return 0;
            return takeFirst(c, path, r, v1, v2);
        });
        m_state.controllerDescriptor = descriptor;
        m_state.controller = OpenHIDDevice(descriptor);
        ASSERT_NE(m_state.controller, 0u) << descriptor.path;
        m_state.typeCode = typeCode;
    }

    // Control-API id of the first device whose entry starts with `kind`.
    int idOf(const std::string& kind) const {
        for (const auto& [entry, id] : m_ids)
            if (entry.rfind(kind, 0) == 0) return id;
        ADD_FAILURE() << "no device " << kind;
        return 0;
    }

    // The sheet's order for the only page: created, then shown.
    CAnalyzeDlg& openPage() {
        m_page = std::make_unique<CAnalyzeDlg>(m_state);
        QObject::connect(m_page.get(), &TunerPage::quitRequested,
                         [this](int code) { m_quitCodes.push_back(code); });
        m_page->onCreated();
        m_page->onShown();
        return *m_page;
    }

    template <typename T = QPushButton>
    T* child(const char* name) {
        T* w = m_page->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    void click(const char* button) {
        if (QPushButton* b = child(button)) b->click();
    }
    void setSpin(const char* name, int value) {
        if (auto* s = child<QSpinBox>(name)) s->setValue(value);
    }

    std::vector<std::string> ops(const std::string& kind, const std::vector<std::string>& only = {}) {
        return control::operationsOf(control::commandLog(idOf(kind)), only);
    }
    std::vector<control::CommandRecord> log(const std::string& kind, const std::string& operation) {
        return control::recordsOf(control::commandLog(idOf(kind)), operation);
    }
    void clearLogs() {
        for (const auto& [entry, id] : m_ids) control::clearCommandLog(id);
    }

    void expectMessages(std::initializer_list<std::pair<const char*, const char*>> expected) {
        test_support::expectMessages(m_messages, expected);
    }

    DeviceState m_state;
    std::unique_ptr<CAnalyzeDlg> m_page;
    std::vector<std::pair<std::string, int>> m_ids;
    std::vector<int> m_quitCodes;
    host::testing::RecordingMessages m_messages;
    host::testing::CapturedTrace m_trace;
    host::testing::ScriptedFileDialogs m_dialogs;
    host::testing::FakeClock m_clock;
};

}  // namespace lumora::analyze_test
