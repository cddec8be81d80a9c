#include "vexlink/virtual/touch_stimulus.h"

#include <atomic>
#include <chrono>
#include <climits>

#include "vexlink/virtual/firmware.h"
#include "vexlink/virtual/packets.h"

namespace vexlink::virt {

namespace {

std::atomic<bool> g_manual{false};
std::atomic<int64_t> g_manualNs{0};

}  // namespace

int64_t stimulusNowNs() {
    if (g_manual.load()) return g_manualNs.load();
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool stimulusTimeIsManual() { return g_manual.load(); }

void setManualStimulusTime(int64_t ns) {
    g_manualNs.store(ns);
    g_manual.store(true);
}

void useSteadyStimulusTime() { g_manual.store(false); }

void StimulusTouch::change(bool on, int64_t atNs) {
    if (on == m_stimulusOn) return;
    m_stimulusOn = on;
    m_pending.push_back({on, atNs});
}

std::vector<bool> StimulusTouch::due(int64_t nowNs) {
    std::vector<bool> out;
    bool repeated = false;
    for (;;) {
        const int64_t switchDue =
            m_pending.empty() ? INT64_MAX : m_pending.front().atNs + m_latencyNs;
        const int64_t repeatDue = m_touching && !repeated ? m_nextRepeatNs : INT64_MAX;
        // Whatever comes first in time; the contact changes before a repeat
        // of the same instant.
        if (switchDue <= nowNs && switchDue <= repeatDue) {
            const Switch s = m_pending.front();
            m_pending.pop_front();
            if (s.on == m_touching) continue;
            m_touching = s.on;
            out.push_back(s.on);
            m_nextRepeatNs = switchDue + kRepeatNs;
            repeated = false;
        } else if (repeatDue <= nowNs) {
            out.push_back(true);
            // Behind by more than a period: the next repeat is one period
            // from now rather than a burst.
            m_nextRepeatNs = repeatDue + kRepeatNs > nowNs ? repeatDue + kRepeatNs : nowNs + kRepeatNs;
            repeated = true;
        } else {
            break;
        }
    }
    return out;
}

int64_t StimulusTouch::nextDueNs() const {
    int64_t next = m_pending.empty() ? INT64_MAX : m_pending.front().atNs + m_latencyNs;
    if (m_touching && m_nextRepeatNs < next) next = m_nextRepeatNs;
    return next;
}

// ---- the firmware's side ------------------------------------------------------

void Firmware::setStimulusListener(std::function<void(bool on, int64_t atNs)> listener) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stimulusListener = std::move(listener);
}

void Firmware::touchStimulus(bool on, int64_t atNs) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!has(kCapStreams) || m_gone) return;
        m_stimulusTouch.change(on, atNs);
    }
    // The device thread sleeps until the next report is due (steady time).
    m_wake.notify_all();
}

int Firmware::serviceStimulus(int64_t nowNs) {
    int sent = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        sent = sendStimulusReports(nowNs);
    }
    // The device thread looks again at what is due, by whichever time now holds.
    m_wake.notify_all();
    return sent;
}

// The stimulus touches the middle of the panel. The reports go out whatever
// stream runs, as the controller's touch output (DevSetOption 2, 0 silences
// them like every touch report).
int Firmware::sendStimulusReports(int64_t nowNs) {
    if (!has(kCapStreams) || m_gone) return 0;
    const DeviceClass& b = behaviour();
    int sent = 0;
    for (bool touching : m_stimulusTouch.due(nowNs)) {
        if (!m_touchOutput) continue;
        Touch t;
        t.touching = touching;
        t.id = 0;
        t.x = static_cast<uint16_t>(b.touchMax / 2);
        t.y = static_cast<uint16_t>(b.touchMax / 2);
        t.pressure = touching ? 300 : 0;
        broadcast(b.multiTouch ? multiTouchReport(m_reportId, 0x13, {t})
                               : touchReport(m_reportId, 0x13, t));
        ++sent;
    }
    return sent;
}

Firmware::PwmOutput Firmware::pwmOutput() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return {m_pwmDivisor, m_pwmVoltage, m_pwmOutputOn};
}

bool Firmware::stimulusOn() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_stimulus;
}

}  // namespace vexlink::virt
