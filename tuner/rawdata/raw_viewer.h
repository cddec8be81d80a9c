// The "Raw Data" page of Osprey-class controllers (type code 4): the live
// per-channel series in seven graph areas, the raw data log, controller
// reset, hardware calibration and the read-back of the controller's log.
//
// Packets are handled on the GUI thread into a RawDataModel; a drawing worker
// copies the model under a short lock every 40 ms, renders the seven areas
// off-screen, hands the frame to the GUI thread and runs the logging step.
#pragma once

#include <QImage>
#include <QWidget>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

#include "host/packet_window.h"
#include "host/worker_thread.h"
#include "tuner/app/tuner_page.h"
#include "tuner/rawdata/raw_frame.h"
#include "tuner/rawdata/raw_model.h"

class QButtonGroup;
class QTimer;
class QLineEdit;
class QPushButton;

namespace lumora {

namespace rawdata {

// One graph area: shows the last frame's image of that area 1:1.
class GraphView : public QWidget {
    Q_OBJECT
public:
    GraphView(QSize size, QWidget* parent = nullptr);
    void setImage(const QImage& image);
    const QImage& image() const { return m_image; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_image;
};

// The drawing thread: runs `step` every 40 ms from its release until quit.
// Made with its page and released by the first whole delta frame.
class RawDrawWorker {
public:
    static constexpr int kPeriodMs = 40;

    explicit RawDrawWorker(std::function<void()> step);
    ~RawDrawWorker();  // quits and joins
    RawDrawWorker(const RawDrawWorker&) = delete;
    RawDrawWorker& operator=(const RawDrawWorker&) = delete;

    // Starts the thread the first time; later calls do nothing.
    void release();
    // Runs the next step now instead of at the end of the sleep.
    void wake();
    // Sets the quit flag, wakes the thread and waits for it to end.
    void quitAndJoin();

    bool released() const { return m_released.load(); }
    int steps() const { return m_steps.load(); }

private:
    std::function<void()> m_step;
    std::atomic<bool> m_released{false};
    std::atomic<int> m_steps{0};
    host::WorkerThread m_thread;  // last member: stopped before the rest goes
};

// The log settings that the GUI thread sets and the logging step reads and
// updates; kept under the page's lock with the model.
struct LogState {
    bool logging = false;
    int interval = 10;     // "Log per", units of 100 ms
    uint32_t lastTick = 0; // tick count (ms) of the last block
};

}  // namespace rawdata

class CRawViewer : public TunerPage {
    Q_OBJECT
public:
    explicit CRawViewer(DeviceState& state, QWidget* parent = nullptr);
    ~CRawViewer() override;

    void onCreated() override;
    void onActivated() override;
    void onShown() override;
    void onHidden() override;
    void onDestroyed() override;

    // Message 0x602 from the packet window (tests call it directly too).
    void handlePacket(uint32_t message, const VexPacket& packet);

    // Commands of the controls.
    void changeMode();          // "Change Mode"
    void readControls();        // view radios and "Log per" into the settings
    void cleanScreen();         // "Clean Screen"
    void resetController();     // "Reset Controller"
    void hardwareCalibration(); // "Hardware Calibration"
    void readLog();             // "Read Log"
    void startLog();            // "Start Log Raw Data"
    void stopLog();             // "Stop Log Raw Data"

    // One cycle of the drawing worker: frame and logging step. Runs on the
    // worker thread; tests may call it on theirs while the worker is not
    // released.
    void drawStep();

    // Read access for tests and the screenshot tool (copies under the lock).
    rawdata::RawSnapshot snapshot() const;
    rawdata::LogState logState() const;
    bool started() const;
    bool readLogActive() const;
    const rawdata::RawDrawWorker& worker() const { return m_worker; }
    rawdata::GraphView* area(int index) const { return m_areas[static_cast<size_t>(index)]; }
    QPushButton* button(const QString& caption) const;
    QLineEdit* logPerBox() const { return m_logPer; }
    QButtonGroup* viewButtons() const { return m_viewGroup; }

    static constexpr uint32_t kStreamMessage = 0x602;
    static constexpr int kAreaCount = 7;  // X, Y, XR, YR, N, VK, VK second row

private:
    void buildControls();
    void showSettings();  // settings -> controls
    void syncLogButtons(bool logging);
    void restartCounts(int8_t yCount, int8_t xCount);  // clamped, packets recomputed
    void resetWith(bool calibrate);
    // GUI thread, on m_pollTimer: shows a frame the worker finished and the
    // message of a failed block write.
    void pollWorker();
    void presentFrame(rawdata::RawFrame frame);
    void onLogWriteFailed();
    void stopWorker();

    mutable std::mutex m_mutex;  // guards m_model and m_log
    rawdata::RawDataModel m_model;
    rawdata::LogState m_log;

    // Set while this page is the visible one; the worker draws and logs only then.
    std::atomic<bool> m_visible{false};
    rawdata::AreaSizes m_sizes;
    // The worker's hand-off to the GUI thread, polled there by m_pollTimer:
    // everything crosses under m_frameMutex, so no queued Qt event carries
    // data between the threads.
    std::mutex m_frameMutex;
    rawdata::RawFrame m_pendingFrame;  // guarded by m_frameMutex
    bool m_framePending = false;       // guarded by m_frameMutex
    bool m_logWriteFailed = false;     // guarded by m_frameMutex
    QTimer* m_pollTimer = nullptr;
    rawdata::RawDrawWorker m_worker;

    host::PacketWindow m_packets;
    std::array<VexRegistration, 15> m_registrations{};
    bool m_created = false;

    std::array<rawdata::GraphView*, kAreaCount> m_areas{};
    QButtonGroup* m_viewGroup = nullptr;
    QLineEdit* m_logPer = nullptr;
    QPushButton* m_startLog = nullptr;
    QPushButton* m_stopLog = nullptr;
};

// Factory for the page table.
TunerPage* makeRawDataPage(DeviceState& state);

}  // namespace lumora
