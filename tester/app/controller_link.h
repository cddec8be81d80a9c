// ControllerLink: finding, opening, identifying and letting go of the unit
// under test. It holds the connection state of the test page and works only
// through the device contract, the host services and a small view interface,
// so that it runs in tests without a window.
#pragma once

#include <QString>
#include <array>
#include <cstdint>

#include "device/vexlink.h"
#include "tester/config/test_plan.h"
#include "tester/sequence/run_state.h"

namespace lumora::tester {

// What the page remembers of the connected unit.
struct ConnectionState {
    VexDeviceDescriptor descriptor{};
    int detectedInterface = 0;  // 0 USB, 1 UART (the enumeration callback that took it)
    VexHandle handle = 0;
    int typeCode = 0;           // -1 after a mode report of 0
    int8_t xCount = 0;
    int8_t yCount = 0;
    int xPackets = 0;
    int yPackets = 0;
    QString modelName;
    QString fwVersion;
    int arrivalRetries = 0;
    VexRegistration modeRegistration = 0;
    // Open item, short item, open done, short done.
    std::array<VexRegistration, 4> testTokens{};
    // Stands for the system's removal registration of the open handle: the
    // interface path whose removal ends the connection.
    QString removalPath;
};

// The four test-record callbacks the page receives.
enum class TestRecordKind { OpenItem, ShortItem, OpenDone, ShortDone };

class LinkView {
public:
    virtual ~LinkView() = default;
    virtual void setPcbT1Enabled(bool enabled) = 0;
    virtual void setPcbT2Enabled(bool enabled) = 0;
    virtual void setTitle(const QString& title) = 0;
    // The run texts and flags changed: show them.
    virtual void refreshRunDisplays() = 0;
    // Ends the program with this exit code once the current handler returns.
    virtual void endProgram(int exitCode) = 0;
    virtual void postDeviceArrived() = 0;  // DeviceArrivedMessage
    virtual void postDeviceRemoved() = 0;  // DeviceRemovedMessage
    // Starts the AutoRun countdown timer (1000 ms).
    virtual void startCountdown() = 0;
    // Waits while the controller switches its mode; device callbacks that
    // arrive meanwhile are handled.
    virtual void waitForController(int ms) = 0;
    virtual void testRecord(TestRecordKind kind, const uint8_t* record) = 0;
};

class ControllerLink {
public:
    ControllerLink(LinkView& view, TestConfig& config, RunState& run, QString customerLabel,
                   QString programDir);
    ~ControllerLink();
    ControllerLink(const ControllerLink&) = delete;
    ControllerLink& operator=(const ControllerLink&) = delete;

    const ConnectionState& state() const { return m_state; }
    bool isOpen() const { return m_state.handle != 0; }
    // True while the connection procedure runs (it may wait for the controller).
    bool connecting() const { return m_connecting; }

    // The connection procedure: enumerate, open, identify, check the
    // parameter block, load the plan. False when no controller could be
    // opened and identified (the caller disconnects).
    bool connect();
    // Lets the controller go; in every case both run buttons are disabled.
    void disconnect();
    // Unregisters the four test callbacks and registers them again.
    void renewTestCallbacks();
    // The title after a connection attempt (also starts watching the open
    // interface for its removal).
    void setTitle();

    // Page initialisation, once when the window opens: the first search.
    void initialConnection();
    // DeviceArrivedMessage.
    void onDeviceArrived();
    // DeviceRemovedMessage.
    void onDeviceRemoved();
    // Timer 0, every 3000 ms.
    void onPollTimer();
    // Hot-plug listener: the library reports an interface that arrived or went.
    void onHotplug(int event, const QString& path);
    // Exit: the report id is handed back and the controller closed.
    void exitSequence(bool modernHost);

private:
    void rejectBootLoader();
    static int onUsbDevice(void* context, const char* path, void* reserved, uint32_t value1,
                           uint32_t value2);
    static int onUartDevice(void* context, const char* path, void* reserved, uint32_t value1,
                            uint32_t value2);
    static void onModeReport(void* context, int unused, const uint8_t* packet);
    static void onOpenItem(void* context, int unused, const uint8_t* record);
    static void onShortItem(void* context, int unused, const uint8_t* record);
    static void onOpenDone(void* context, int unused, const uint8_t* record);
    static void onShortDone(void* context, int unused, const uint8_t* record);

    int takeDevice(const char* path, uint32_t value1, uint32_t value2, int detectedInterface);
    bool enumerate();
    bool identify();
    void checkParameterBlock();
    void unregisterTestCallbacks();

    LinkView& m_view;
    TestConfig& m_config;
    RunState& m_run;
    QString m_customerLabel;
    QString m_programDir;
    ConnectionState m_state;
    bool m_connecting = false;
};

}  // namespace lumora::tester
