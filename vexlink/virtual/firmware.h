// The shared firmware model of every virtual device. It takes 64-byte
// output reports (requests of the wire protocol or raw firmware packets),
// answers on the connection that asked, and streams packets and test
// records to every open connection from a thread of its own.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "vexlink/virtual/control.h"
#include "vexlink/virtual/device_class.h"
#include "vexlink/virtual/packets.h"
#include "vexlink/virtual/param_memory.h"
#include "vexlink/virtual/signal_model.h"
#include "vexlink/virtual/touch_stimulus.h"
#include "vexlink/virtual/touch_script.h"

namespace vexlink::virt {

// One host connection (an open transport) as the firmware sees it.
class ReportSink {
public:
    virtual ~ReportSink() = default;
    virtual void deliver(const Report& report) = 0;
    // The device was unplugged: nothing follows the end packet.
    virtual void gone() {}
};

enum class StreamMode : uint8_t { kNone, kSingle, kRawPoint, kImageYX, kImageXY };

class Firmware {
public:
    explicit Firmware(DeviceSettings settings);
    ~Firmware();  // stops the device thread
    Firmware(const Firmware&) = delete;
    Firmware& operator=(const Firmware&) = delete;

    void attach(ReportSink* sink);
    // The last connection going away stops the stream, like a real
    // controller whose host stopped polling it.
    void detach(ReportSink* sink);
    size_t connectionCount() const;

    // One output report from a connection.
    void handleOutput(const uint8_t* report64, ReportSink* from);
    int getFeature(uint8_t* buffer, size_t length);
    int sendFeature(const uint8_t* buffer, size_t length);

    // Unplug: the stream stops, every connection receives the end packet.
    void unplug();

    // ---- control (tests and the control tool) ----
    void inject(const Report& report);
    bool setWord(int index, uint16_t value);
    bool getWord(int index, uint16_t* value) const;
    bool failRead(int index, bool fail);
    bool corruptChecksum();
    void emitModeReport(uint8_t mode);
    void setPanelAttached(bool attached);
    void setChannelFault(ChannelRef channel, bool open, bool shortToNext, bool present);
    void setNoisyChannel(ChannelRef channel, bool present);
    // Frequency part (firmware_frequency.cpp).
    bool failWrite(int index, bool fail);
    bool failFreqRegsRead(int freqIndex, bool fail);
    void setDacAcknowledged(bool acknowledged);
    bool freqRegisters(int freqIndex, uint8_t* out64) const;
    bool setFreqRegister(int freqIndex, int byte, uint8_t value);
    bool setFreqIndexInUse(int index);
    bool sealChecksum();

    // ---- what the model reports about itself ----
    uint8_t typeCode() const;
    StreamMode streamMode() const;
    const DeviceSettings& settings() const { return m_settings; }
    bool filterDisabled() const;
    uint8_t reportId() const;
    bool testMode() const;
    bool panelAttached() const;
    std::vector<control::CommandRecord> commandLog() const;
    void clearCommandLog();
    std::vector<control::CommandRecord> takeCommandLog();

    // ---- the PWM tester's touch stimulus (touch_stimulus.cpp) ----
    // Hears each switch of this device's stimulus (a PWM tester's), called
    // outside the firmware's lock. Set once, before hosts can open the device.
    void setStimulusListener(std::function<void(bool on, int64_t atNs)> listener);
    // A switch of a tester's stimulus reaches this device; a controller
    // answers it with touch and lift reports, other devices ignore it.
    void touchStimulus(bool on, int64_t atNs);
    // Sends the stimulus reports due by nowNs (manual stimulus time);
    // returns how many were sent.
    int serviceStimulus(int64_t nowNs);
    // The tester's noise source: the divisor and voltage last set, and
    // whether DevPWMApply has switched the output on.
    struct PwmOutput {
        int divisor = 0;
        int voltage = 0;
        bool on = false;
    };
    PwmOutput pwmOutput() const;
    bool stimulusOn() const;

private:
    // The class whose behaviour applies now: the carried family for the
    // UART bridge and a switched type-9 controller.
    const DeviceClass& behaviour() const;
    // The controller family whose memory the device holds: the carried one
    // for a carrier, else its own class.
    const DeviceClass& family() const;
    bool has(uint32_t capability) const;
    void broadcast(const Report& report);       // m_mutex held
    void respond(const uint8_t* request, ReportSink* from);  // m_mutex held
    void handleRawPacket(const uint8_t* packet);
    void logRequest(const uint8_t* request);                     // m_mutex held
    void logCommand(std::string operation, const uint8_t* args, size_t n);  // m_mutex held
    void startTest(uint8_t command, const uint8_t* args);
    void applyFrequencySettings();              // constructor, before the thread
    void runPendingTests();                     // m_mutex held
    void streamFrame(int64_t ms);               // m_mutex held
    int sendStimulusReports(int64_t nowNs);     // m_mutex held
    void threadMain();
    Panel panel() const;
    int64_t nowMs() const;

    const DeviceSettings m_settings;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::set<ReportSink*> m_sinks;
    bool m_quit = false;
    bool m_gone = false;

    WordMemory m_memory{};
    std::set<int> m_failingReads;
    std::array<FreqRegisters, kFrequencyCount> m_freqRegs{};
    std::set<int> m_failingWrites;              // word indexes
    std::set<int> m_failingFreqRegReads;        // frequency indexes
    bool m_dacAcknowledged = true;
    std::vector<std::array<uint8_t, 46>> m_downloadRecords;
    std::array<uint8_t, 258> m_feature{};       // report id 7 and its 257 bytes
    uint16_t m_cid1 = 0;
    uint32_t m_cid2 = 0;
    std::atomic<uint8_t> m_typeCode{0};      // changes once, at the type-9 switch
    uint8_t m_reportId = 0;
    uint8_t m_freqIndex = 0;
    uint32_t m_modeWord = 0;
    std::vector<uint8_t> m_modeBytes;           // type 9: the bytes written so far
    std::atomic<bool> m_switched{false};
    bool m_filterDisabled = false;
    bool m_testMode = false;
    bool m_touchOutput = true;
    bool m_stimulus = false;                    // PWM tester: touch stimulus on
    int m_pwmDivisor = 0;
    int m_pwmVoltage = 0;
    bool m_pwmOutputOn = false;                 // PWM tester: DevPWMApply switched the output on
    std::optional<std::pair<bool, int64_t>> m_stimulusSwitch;  // to hand on after the lock
    std::function<void(bool, int64_t)> m_stimulusListener;
    StimulusTouch m_stimulusTouch;              // controllers: the contact with the stimulus
    Panel m_panel;
    StreamMode m_stream = StreamMode::kNone;
    int64_t m_calibratedAtMs = 0;
    TouchScript m_touch{m_settings.touch};      // raw-point stream: touch, key and gesture reports
    int64_t m_nextFrameMs = 0;
    std::deque<std::vector<uint8_t>> m_pendingTests;  // command byte + argument bytes
    int64_t m_testDueMs = 0;
    std::vector<uint8_t> m_blobIn;              // PutBlob chunks collected so far
    std::deque<control::CommandRecord> m_log;   // what hosts sent, oldest first

    std::thread m_thread;                       // last: starts after every member is ready
};

}  // namespace vexlink::virt
