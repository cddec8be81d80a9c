// TestSequence: the two-stage test of a unit, "PCB T1" and "PCB T2", as a
// state machine. It starts each measuring step in the controller, collects
// what comes back (test records through the page, streamed packets through
// its own registrations), judges it, advances by the internal messages it
// posts to itself and by its two step timers, and ends a run with the
// unit's result file. The page only forwards its buttons, Enter and the
// test records, and shows what the run state holds.
//
// Everything runs on the GUI thread; the controller is reached through the
// device contract and the page through SequenceView, so the sequence runs in
// tests without a window.
#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

#include "device/test_records.h"
#include "host/packet_window.h"
#include "tester/config/test_plan.h"
#include "tester/logs/result_log.h"
#include "tester/sequence/judgements.h"
#include "tester/sequence/packet_arrays.h"
#include "tester/sequence/run_state.h"
#include "tester/sequence/unit_info.h"

class QTimer;

namespace lumora::tester {

// Internal messages and the packet messages of the measuring steps.
enum SequenceMessage : int {
    NextStepMessage = 0x518,
    WriteResultLogMessage = 0x519,
    ADLevelPacketMessage = 0x51B,
    ConnectorT1PacketMessage = 0x51E,
    ConnectorT2PacketMessage = 0x51F,
    WriteConnectorLogMessage = 0x520,
    ImageYPacketMessage = 0x521,
    ImageXPacketMessage = 0x522,
};

// The verdict texts that a result file or a test reads, "-" until their
// step is judged. The tester runs no firmware update or hardware
// calibration, so those stay "-".
struct ItemTexts {
    QString firmwareUpdate = QStringLiteral("-");
    QString hardwareCalibration = QStringLiteral("-");
    QString adLevel = QStringLiteral("-");
    QString imageY = QStringLiteral("-");
    QString imageX = QStringLiteral("-");
};

// The results of the unit under test. The second stage's results are not
// reset by "PCB T1": a log shows them as they stand.
struct UnitResults : StepResults {
    bool t2ConnectorDone = false;
    int openFailCount = 0;
    int sCounter = 0;      // S channels named so far in the T1-1 details
    int vkeyCounter = 0;   // virtual keys named so far
    ItemTexts items;
    // The page offers no way to enter a tester name or barcode: they are
    // empty unless a run sets them.
    QString testerName;
    bool testerNameConfirmed = false;
    QString barcode;
    QDateTime startTime;   // taken by "PCB T1" and "Start Test"
};

// The values the packet steps collect.
struct MeasuredValues {
    SeriesArrays ad;
    SeriesArrays t1Connector;
    SeriesArrays t2Connector;
    ImageValues imageY{};
    ImageValues imageX{};

    MeasuredValues();
};

// Unit counters and times of the page.
struct RunCounters {
    int total = 0;
    int ok = 0;
    int ng = 0;
    int64_t unitStartMs = 0;
    int64_t totalMs = 0;     // of the logged units
    int shownTotal = 0;      // the total count as the last log showed it; 0 before the first
    int64_t currentSecs = 0; // of the last logged unit
};
// Counts a logged unit (once) and works out its times at nowMs.
void countLoggedUnit(RunCounters& counters, bool pass, int64_t nowMs);
// The six counter and time texts in page order: total, OK and NG counts,
// total, current and tact time, as the last logged unit left them ("-"
// forms until the first one).
QStringList counterTexts(const RunCounters& counters);

class SequenceView {
public:
    virtual ~SequenceView() = default;
    virtual UnitInfo unit() const = 0;
    virtual void setPcbT1Enabled(bool enabled) = 0;
    virtual void setPcbT2Enabled(bool enabled) = 0;
    // The run texts, flags and counters changed: show them.
    virtual void refreshRunDisplays() = 0;
    // The connection's disconnect procedure.
    virtual void disconnectUnit() = 0;
    // Ends the program with this exit code once the current handler returns.
    virtual void endProgram(int exitCode) = 0;
};

class TestSequence : public QObject {
    Q_OBJECT
public:
    // dataFolder: where the "Controller Log" folder is made.
    TestSequence(SequenceView& view, TestConfig& config, RunState& run, QString dataFolder,
                 QObject* parent = nullptr);
    ~TestSequence() override;

    // Commands
    void pcbT1();
    void pcbT2();
    void startTest();  // Enter on the page, or the AutoRun countdown

    // Internal messages (posted by the sequence to itself)
    void nextStep();
    void writeResultLog();
    void writeConnectorLog();

    // Timer 3 (AD level and connector steps) and timer 4 (image steps),
    // every 1000 ms while their step runs.
    void onStepTimer();
    void onImageTimer();

    // Test records (the page's callbacks) and streamed packets.
    void onOpenItem(const uint8_t* record);
    void onShortItem(const uint8_t* record);
    void onOpenDone();
    void onShortDone();
    void onPacket(uint32_t message, const uint8_t* packet);

    const UnitResults& results() const { return m_results; }
    UnitResults& results() { return m_results; }
    const MeasuredValues& values() const { return m_values; }
    const RunCounters& counters() const { return m_counters; }
    bool stepTimerActive() const;
    bool imageTimerActive() const;
    // The result file the last writer wrote (or tried to write).
    const QString& lastResultFile() const { return m_lastResultFile; }
    bool lastResultFileWritten() const { return m_lastResultFileWritten; }

protected:
    bool event(QEvent* e) override;

private:
    const TestPlan& plan() const { return m_config.plan(); }
    void post(SequenceMessage message);
    void refresh() { m_view.refreshRunDisplays(); }

    void resetForRun();
    enum class PlanRead { Ok, Refused, Disconnected };
    // "PCB T1" (true) or "Start Test" (false); only "PCB T1" logs a wrong
    // interface.
    PlanRead readPlanForRun(bool pcbT1, const UnitInfo& unit);
    bool testerNameAccepted(bool logLine);
    enum class IdentityCheck { Ok, ModelDiffers, VersionDiffers };
    IdentityCheck checkIdentity(const UnitInfo& unit) const;
    void refuse();
    void controllerError();

    void startStep();
    bool judgementDue(bool strictlyMore) const;
    // A stream registration kept in `slot` (m_levelRegistration or
    // m_connectorRegistration): set replaces the one it held, end ends it.
    void setRegistration(VexRegistration& slot, VexHandle handle, uint8_t packetId, uint32_t message);
    void endRegistration(VexRegistration& slot, VexHandle handle);
    void stopData(VexHandle handle);
    void waitForT2();

    void adLevelJudged(Judgement judgement, const UnitInfo& unit);
    void imageJudged(bool imageY, Judgement judgement, const UnitInfo& unit);
    void connectorT2Judged(Judgement judgement, const UnitInfo& unit);
    void onSeriesPacket(uint32_t message, const uint8_t* packet, const UnitInfo& unit);
    void onImagePacket(uint32_t message, const uint8_t* packet, const UnitInfo& unit);

    void writeLog(bool connectorLog);
    ResultLogData logData(bool pass, const UnitInfo& unit) const;

    SequenceView& m_view;
    TestConfig& m_config;
    RunState& m_run;
    QString m_dataFolder;

    UnitResults m_results;
    MeasuredValues m_values;
    RunCounters m_counters;
    std::vector<CTestResult> m_openItems;
    std::vector<CTestResult> m_shortItems;

    host::PacketWindow m_packets;
    // One registration kept for the AD level and image ids, one for the
    // connector ids.
    VexRegistration m_levelRegistration = 0;
    VexRegistration m_connectorRegistration = 0;
    QTimer* m_stepTimer = nullptr;   // timer 3
    QTimer* m_imageTimer = nullptr;  // timer 4
    int64_t m_stepStartMs = 0;
    int64_t m_lastJudgementMs = 0;  // of the running packet step

    QString m_lastResultFile;
    bool m_lastResultFileWritten = false;
};

}  // namespace lumora::tester
