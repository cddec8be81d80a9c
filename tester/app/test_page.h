// CTestPage: the "Auto Test" page of the tester. It owns the test plan, the
// connection to the unit and the run state, shows them, and turns timers,
// hot-plug notifications and its internal messages into calls on
// ControllerLink. Everything runs on the GUI thread.
#pragma once

#include <QEvent>
#include <QString>
#include <QWidget>
#include <array>

#include "tester/config/test_plan.h"
#include "tester/app/controller_link.h"
#include "tester/app/status_panel.h"
#include "tester/sequence/test_sequence.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace lumora::tester {

// Internal messages the page posts to itself.
enum PageMessage : int {
    DeviceRemovedMessage = 0x50F,
    DeviceArrivedMessage = 0x510,
};
// The event type that carries a page message.
inline QEvent::Type pageEventType(int message) { return QEvent::Type(QEvent::User + message); }

class CTestPage : public QWidget, private LinkView, private SequenceView {
    Q_OBJECT
public:
    // programDir: the folder the ini files are read from; when empty, the
    // tester's data folder, then the program's folder and the examples.
    explicit CTestPage(QString programDir = QString(), QWidget* parent = nullptr);
    ~CTestPage() override;

    // Page initialisation, once when the window opens: defaults, hot-plug
    // listener, timers, the first search and the title.
    void initialise();
    // Exit sequence (window destroyed); runs once.
    void shutdown();

    const QString& title() const { return m_title; }
    const ControllerLink& link() const { return m_link; }
    const TestConfig& config() const { return m_config; }
    const RunState& run() const { return m_run; }
    TestSequence& sequence() { return m_sequence; }
    const TestSequence& sequence() const { return m_sequence; }
    StatusPanelState statusPanelState() const;
    // The last picture of the status panel.
    const QImage& statusPanelImage() const { return m_panelImage; }

    QPushButton* pcbT1Button() const { return m_pcbT1; }
    QPushButton* pcbT2Button() const { return m_pcbT2; }
    QPlainTextEdit* runLogBox() const { return m_runLogBox; }
    QLineEdit* statusLineBox() const { return m_statusLine; }
    QWidget* findLabel(const QString& text) const;

    // The 3-second poll and the 200 ms panel redraw, callable from tests.
    void pollNow() { onPollTimer(); }
    void redrawStatusPanel();

signals:
    void titleChanged(const QString& title);
    // The page ends the program with this exit code.
    void quitRequested(int exitCode);
    // "Start Test": Enter pressed on the page, or the AutoRun countdown
    // reached 0.
    void startTestRequested();

protected:
    bool event(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    // LinkView and SequenceView
    void setPcbT1Enabled(bool enabled) override;
    void setPcbT2Enabled(bool enabled) override;
    void setTitle(const QString& title) override;
    void refreshRunDisplays() override;
    void endProgram(int exitCode) override;
    void postDeviceArrived() override;
    void postDeviceRemoved() override;
    void startCountdown() override;
    void waitForController(int ms) override;
    void testRecord(TestRecordKind kind, const uint8_t* record) override;
    // SequenceView
    UnitInfo unit() const override;
    void disconnectUnit() override;

    static void onHotplug(void* context, int event, const char* path);
    void postMessage(int message);
    void onPollTimer();
    void onCountdownTimer();

    // Where the plans and result folders live, worked out once (it probes
    // the disk): before the link and the sequence, which both use it.
    const QString m_dataFolder;
    TestConfig m_config;
    RunState m_run;
    ControllerLink m_link;
    TestSequence m_sequence;
    QString m_title;
    bool m_initialised = false;
    bool m_shutDown = false;

    QPlainTextEdit* m_runLogBox = nullptr;
    QLabel* m_statusPanel = nullptr;
    QImage m_panelImage;
    QPushButton* m_pcbT1 = nullptr;
    QPushButton* m_pcbT2 = nullptr;
    QLineEdit* m_statusLine = nullptr;
    // Total, OK and NG counts; total, current and tact time.
    std::array<QLabel*, 6> m_counterLabels{};
    QTimer* m_pollTimer = nullptr;       // timer 0
    QTimer* m_panelTimer = nullptr;      // timer 1
    QTimer* m_countdownTimer = nullptr;  // timer 2
};

}  // namespace lumora::tester
