// The "Analyze" page: an engineering workbench of single commands (channel
// test, info, checksums, firmware-update records, customer ids, the filter,
// the Heron controller's own PWM frequency, feature reports with file load
// and save), the PWM tester's noise sweep and the touch latency test.
//
// The tuner shows this page when no controller was found but a PWM tester
// was, so DeviceState.controller is usually 0 here. The controller commands
// are made all the same and fail cleanly: every operation of the contract
// fails for handle 0 without touching a device, and the page reports a
// failure only where it names a message for it.
#pragma once

#include <QString>
#include <cstdint>

#include "device/vexlink.h"
#include "tuner/analyze/analyze_format.h"
#include "tuner/analyze/latency.h"
#include "tuner/analyze/pwm_sweep.h"
#include "tuner/analyze/thqa_file.h"
#include "tuner/app/tuner_page.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTableWidget;
class QTimer;

namespace lumora {

namespace host {
class PacketWindow;
}

class CAnalyzeDlg : public TunerPage {
    Q_OBJECT
public:
    // Streamed data (watched for the controller's end packet) and touch reports.
    static constexpr uint32_t kStreamMessage = 0x602;
    static constexpr uint32_t kTouchMessage = 0x601;

    explicit CAnalyzeDlg(DeviceState& state, QWidget* parent = nullptr);
    ~CAnalyzeDlg() override;

    void onCreated() override;
    void onShown() override;
    void onHidden() override;
    void onDestroyed() override;

    // ---- commands (the buttons call these) ----
    void onSelfCap();
    void onMutualCap();
    void onStopChannelTest();
    void onGetPcapInfo();
    void onGetCrc();
    void onGetFwUpdateInfo();
    void onSetFwUpdateInfo();
    void onGetCid();
    void onSetCid();
    void onDisableFilter();
    void onHeronSetFreq();
    void onHeronStop();
    void onThqaFind();
    void onThqaLoad();
    void onThqaSave();
    void onThqaSet();
    void onThqaGet();
    // PWM tester and latency test (analyze_pwm.cpp).
    void onFindTesterForPwm();
    void onFindTesterForLatency();
    void onPwmEnable();
    void onPwmRun();
    void onStopPwm();
    void onSingleTest();
    void onLoopTest();
    void onStopLatency();
    void onDisableTouch();
    void onEnableTouch();
    void onResetController();

    // A posted packet message (the page's packet window calls this).
    void onPacketMessage(uint32_t message, const VexPacket& packet);

    // ---- what the page holds, for tests ----
    const analyze::ThqaData& thqaData() const { return m_thqaData; }
    const QString& infoText() const { return m_infoText; }
    VexHandle thqaHandle() const { return m_thqaHandle; }
    VexHandle testerHandle() const { return m_tester; }
    bool filterOff() const { return m_filterOff; }
    const analyze::LatencyStats& latencyStats() const { return m_stats; }
    double latencyMs() const { return m_latencyMs; }
    int loopsLeft() const { return m_loopsLeft; }
    bool sweepRunning() const { return m_sweepRunning; }
    // A measurement runs with the stimulus on (waiting for the touch or the lift).
    bool stimulusRunning() const { return m_armed && m_stimulusOn; }
    // Whether a measurement waits for the touch with the stimulus on.
    bool waitingForTouch() const { return m_armed && m_stimulusOn && !m_measured; }
    // Touch reports handled so far (message 0x601).
    int touchReportsHandled() const { return m_touchReportsHandled; }
    const QString& latencyLogName() const { return m_latencyLogName; }
    QString statusLine() const;

private:
    // The enumeration callback of "Find" and "Find Tester": copies the path
    // and the two values of every device offered into the descriptor that
    // `context` points to and takes it (a later one overwrites an earlier).
    static int takeDevice(void* context, const char* path, void* reserved, uint32_t value1,
                          uint32_t value2);

    void buildControls();
    QGroupBox* buildChannelGroup();
    QGroupBox* buildInfoGroup();
    QGroupBox* buildHeronGroup();
    QGroupBox* buildThqaGroup();
    QGroupBox* buildPwmGroup();
    QGroupBox* buildLatencyGroup();
    QPushButton* makeButton(QWidget* parent, const char* text, const char* name,
                            void (CAnalyzeDlg::*handler)());

    void clearLatencyResults();
    void readControls();
    void showValues();
    // The latency results alone.
    void showLatency();
    void setLatencyButtonsEnabled(bool enabled);
    void appendDownloadRow(int index, const analyze::DownloadRecord& record);
    void message(const char* text, const char* caption);
    // Closes the page's tester handle, if open, and looks for the tester.
    void findTester();
    void channelTest(bool mutual);

    // Internal events the page posts to itself.
    void postPwmStep();
    void onPwmStep();
    void postLatencyTrigger();
    void latencyTrigger();
    void onTouchWaitOver();
    void onTouchReport(const VexPacket& packet);

    host::PacketWindow* m_packetWindow = nullptr;
    VexRegistration m_streamRegistration = 0;
    VexRegistration m_touchRegistration = 0;
    bool m_ending = false;

    // ---- workbench fields ----
    uint32_t m_channelX = 0;
    uint32_t m_channelY = 0;
    int m_drive = 0;                 // 0 "X Drive", 1 "Y Drive"
    int8_t m_countX = 0;             // written by PCAPGetRawPoint
    int8_t m_countY = 0;
    uint8_t m_pcapInfo[64] = {};
    QString m_infoText;
    bool m_filterOff = false;
    uint16_t m_cid1 = 0;
    uint32_t m_cid2 = 0;
    uint32_t m_heronStart = 60;
    uint32_t m_heronEnd = 20;
    uint32_t m_heronStep = 1;
    uint32_t m_heronInterval = 3;
    uint32_t m_heronCurrent = 0;
    VexDeviceDescriptor m_thqaDescriptor{};
    VexHandle m_thqaHandle = 0;
    analyze::ThqaData m_thqaData{};

    // ---- PWM tester and latency test ----
    VexDeviceDescriptor m_testerDescriptor{};
    VexHandle m_tester = 0;
    uint32_t m_pwmStart = 700;
    uint32_t m_pwmEnd = 36;
    uint32_t m_pwmStep = 1;
    uint32_t m_pwmInterval = 3;      // seconds per step
    uint8_t m_pwmVoltage = 0;        // 0 3.3 V, 1 7 V, 2 15 V
    uint32_t m_pwmCurrent = 700;
    analyze::PwmSweep m_sweep;
    bool m_sweepRunning = false;
    QTimer* m_sweepTimer = nullptr;  // timer 0: one step per interval

    int m_touchInterval = 500;       // ms between stimulus off and on
    int m_loopCount = 1;
    int m_loopsLeft = 0;
    int m_measurementNumber = 0;     // 1-based number of the last measurement of the run
    bool m_armed = false;
    bool m_stimulusOn = false;       // the wait is over and the stimulus is on
    bool m_measured = false;
    int64_t m_startUs = 0;
    int64_t m_endUs = 0;
    double m_latencyMs = 0;
    analyze::LatencyStats m_stats;
    bool m_loopLogging = false;
    QString m_latencyLogName;
    QTimer* m_touchWait = nullptr;   // the wait between stimulus off and on
    int m_touchReportsHandled = 0;

    // ---- controls ----
    QSpinBox* m_channelXEdit = nullptr;
    QSpinBox* m_channelYEdit = nullptr;
    QRadioButton* m_xDrive = nullptr;
    QRadioButton* m_yDrive = nullptr;
    QPlainTextEdit* m_infoBox = nullptr;
    QPushButton* m_filterButton = nullptr;
    QLineEdit* m_cid1Edit = nullptr;
    QLineEdit* m_cid2Edit = nullptr;
    QLineEdit* m_cid1Name = nullptr;
    QLineEdit* m_cid2Name = nullptr;
    QTableWidget* m_downloadList = nullptr;
    QSpinBox* m_heronStartEdit = nullptr;
    QSpinBox* m_heronEndEdit = nullptr;
    QSpinBox* m_heronStepEdit = nullptr;
    QSpinBox* m_heronIntervalEdit = nullptr;
    QLineEdit* m_heronCurrentEdit = nullptr;
    QLineEdit* m_heronStartKhz = nullptr;
    QLineEdit* m_heronEndKhz = nullptr;
    QLineEdit* m_thqaLoadPath = nullptr;
    QLineEdit* m_thqaSavePath = nullptr;
    QSpinBox* m_pwmStartEdit = nullptr;
    QSpinBox* m_pwmEndEdit = nullptr;
    QSpinBox* m_pwmStepEdit = nullptr;
    QSpinBox* m_pwmIntervalEdit = nullptr;
    QLineEdit* m_pwmCurrentEdit = nullptr;
    QLineEdit* m_pwmStartKhz = nullptr;
    QLineEdit* m_pwmEndKhz = nullptr;
    QLineEdit* m_pwmCurrentKhz = nullptr;
    QRadioButton* m_voltage[3] = {};
    QPushButton* m_singleTest = nullptr;
    QPushButton* m_loopTest = nullptr;
    QPushButton* m_disableTouch = nullptr;
    QPushButton* m_enableTouch = nullptr;
    QLineEdit* m_startMsEdit = nullptr;
    QLineEdit* m_endMsEdit = nullptr;
    QLineEdit* m_latencyEdit = nullptr;
    QSpinBox* m_loopCountEdit = nullptr;
    QLineEdit* m_loopDoneEdit = nullptr;
    QLineEdit* m_latencyTotalEdit = nullptr;
    QLineEdit* m_latencyAvgEdit = nullptr;
    QSpinBox* m_touchIntervalEdit = nullptr;
    QLabel* m_statusLine = nullptr;
};

// The page table's factory for the "Analyze" tab.
TunerPage* makeAnalyzePage(DeviceState& state);

}  // namespace lumora
