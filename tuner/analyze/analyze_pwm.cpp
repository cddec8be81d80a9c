// The "PWM Tester" and "Kestrel Latency Test" groups of the "Analyze" page.
#include <QDir>
#include <QLabel>
#include <QMetaObject>
#include <QPushButton>
#include <QTimer>

#include "device/controller_ids.h"
#include "host/services.h"
#include "tuner/analyze/analyze_dlg.h"
#include "tuner/app/device_state.h"

namespace lumora {

namespace {

// DevSetFreqIndex on the tester: 1 switches the touch stimulus off, 2 on.
constexpr int kStimulusOff = 1;
constexpr int kStimulusOn = 2;

int switchStimulus(VexHandle tester, int index) {
    uint8_t buffer[64] = {};
    return DevSetFreqIndex(tester, buffer, index);
}

}  // namespace

// ---- finding the tester -------------------------------------------------------

void CAnalyzeDlg::findTester() {
    if (m_tester) {
        CloseHIDDevice(m_tester);
        m_tester = 0;
    }
    // The path of an earlier search stays when nothing is found this time;
    // opening it then fails and says so.
    EnumerateHidDevicesById(lumora::kPwmTesterId.vendor, lumora::kPwmTesterId.product, &m_testerDescriptor,
                            &takeDevice);
    if (m_testerDescriptor.path[0] == '\0') return;
    m_tester = OpenHIDDevice(m_testerDescriptor);
    // The same caption for both outcomes.
    message(m_tester ? "Find PWM Device OK!" : "Find PWM Device Fail!", " ERROR ");
}

void CAnalyzeDlg::onFindTesterForPwm() {
    findTester();
    message(m_tester ? "PWM Tester Found!\r\n" : "PWM Tester Not Found!\r\n", "Message");
}

void CAnalyzeDlg::onFindTesterForLatency() {
    findTester();
    if (m_tester)
        setLatencyButtonsEnabled(true);
    else
        message("Find Tester Fail!", "LumoraTuner");
}

// ---- the noise sweep ------------------------------------------------------------

void CAnalyzeDlg::onPwmEnable() {
    DevSetOption(m_tester, 2, 0);
    readControls();
    m_pwmCurrent = m_pwmStart;
    SetHeronPWMFreq(m_tester, int(m_pwmStart), m_pwmVoltage);
    DevPWMApply(m_tester, 0, 0x44);
    showValues();
}

void CAnalyzeDlg::onPwmRun() {
    readControls();
    if (m_pwmStart < m_pwmEnd) message("Start must larger than End!\r\n", "Error");
    // The sweep starts anyway and, with start below end, ends at its first step.
    m_pwmCurrent = m_pwmStart;
    m_sweep.begin(m_pwmStart, m_pwmEnd, m_pwmStep);
    m_sweepRunning = true;
    postPwmStep();
    showValues();
}

void CAnalyzeDlg::postPwmStep() {
    QMetaObject::invokeMethod(this, [this] { onPwmStep(); }, Qt::QueuedConnection);
}

void CAnalyzeDlg::onPwmStep() {
    // A step posted before "Stop PWM" (or before the page was hidden) finds
    // the sweep ended.
    if (!m_sweepRunning || m_ending) return;
    const std::optional<uint32_t> divisor = m_sweep.next();
    if (!divisor) {
        onStopPwm();
        message("PWM Noise Test Complete!\r\n", "Message");
        return;
    }
    SetHeronPWMFreq(m_tester, int(*divisor), m_pwmVoltage);
    DevPWMApply(m_tester, 0, 0x44);
    m_pwmCurrent = m_sweep.current();
    m_sweepTimer->start(int(m_pwmInterval * 1000));
    showValues();
}

void CAnalyzeDlg::onStopPwm() {
    m_sweepTimer->stop();
    m_sweepRunning = false;
    m_pwmCurrent = m_pwmStart;
    showValues();
    SetHeronPWMFreq(m_tester, int(m_pwmStart), m_pwmVoltage);
    showValues();
}

// ---- the latency test -------------------------------------------------------------

void CAnalyzeDlg::onSingleTest() {
    readControls();
    int8_t y = 0, x = 0;
    PCAPGetRawPoint(state().controller, &y, &x);
    DevResetController(state().controller);
    m_loopsLeft = 1;
    m_measurementNumber = 0;
    latencyTrigger();
    showValues();
}

void CAnalyzeDlg::onLoopTest() {
    readControls();
    m_stats.reset();
    m_loopLogging = true;
    m_loopsLeft = m_loopCount;
    m_measurementNumber = 0;
    showValues();
    int8_t y = 0, x = 0;
    PCAPGetRawPoint(state().controller, &y, &x);
    DevResetController(state().controller);
    m_latencyLogName = QDir::current().filePath(analyze::latencyLogFileName(host::localTime().time()));
    host::appendToFile(m_latencyLogName, analyze::latencyLogHeader());
    latencyTrigger();
}

void CAnalyzeDlg::onStopLatency() {
    // The running measurement becomes the last.
    m_loopsLeft = 1;
}

void CAnalyzeDlg::postLatencyTrigger() {
    QMetaObject::invokeMethod(this, [this] { latencyTrigger(); }, Qt::QueuedConnection);
}

// The stimulus goes off, and after the interval on again; the measurement
// starts when it is on. The wait runs on a timer so that the window stays
// responsive ("Stop" included) through a long interval.
void CAnalyzeDlg::latencyTrigger() {
    if (m_ending) return;
    m_armed = true;
    m_stimulusOn = false;
    m_measured = false;
    switchStimulus(m_tester, kStimulusOff);
    m_touchWait->start(m_touchInterval);
}

void CAnalyzeDlg::onTouchWaitOver() {
    if (!m_armed || m_ending) return;
    switchStimulus(m_tester, kStimulusOn);
    m_startUs = analyze::microsOf(host::counterNs());
    m_stimulusOn = true;
    showLatency();
}

void CAnalyzeDlg::onTouchReport(const VexPacket& packet) {
    ++m_touchReportsHandled;
    const bool touching = analyze::isTouching(packet.bytes);
    if (m_armed) {
        // A touch before the stimulus went on is not the one being timed.
        if (touching && !m_measured && m_stimulusOn) {
            m_measured = true;
            m_endUs = analyze::microsOf(host::counterNs());
            m_latencyMs = analyze::millisOf(m_endUs - m_startUs);
            m_stats.add(m_latencyMs);
            ++m_measurementNumber;
            if (switchStimulus(m_tester, kStimulusOff) && m_loopLogging)
                host::appendToFile(m_latencyLogName,
                                      analyze::latencyLogLine(host::localTime().time(),
                                                              m_measurementNumber, m_latencyMs));
            // Only the results, and only when they change: touch reports
            // arrive every few milliseconds and must not overwrite a value
            // the user is typing elsewhere.
            showLatency();
        } else if (!touching && m_measured) {
            // The lift ends the measurement; the loop goes on from here.
            --m_loopsLeft;
            m_measured = false;
            m_armed = false;
            m_stimulusOn = false;
            if (m_loopsLeft > 0) {
                postLatencyTrigger();
            } else if (m_loopLogging) {
                m_loopLogging = false;
                host::appendToFile(m_latencyLogName, analyze::latencyLogSummary(m_stats));
                message("Touch Loop Test Finish!", "LumoraTuner");
            }
        }
    } else {
        m_statusLine->setText(analyze::touchStatusText(packet.bytes, state().typeCode));
    }
}

void CAnalyzeDlg::onDisableTouch() {
    if (!switchStimulus(m_tester, kStimulusOff)) message("Disable Touch Test Fail!", "LumoraTuner");
}

void CAnalyzeDlg::onEnableTouch() {
    if (!switchStimulus(m_tester, kStimulusOn)) message("Enable Touch Test Fail!", "LumoraTuner");
}

void CAnalyzeDlg::onResetController() {
    int8_t y = 0, x = 0;
    PCAPGetRawPoint(state().controller, &y, &x);
    DevResetController(state().controller);
    message("Reset controller OK!", "LumoraTuner");
}

}  // namespace lumora
