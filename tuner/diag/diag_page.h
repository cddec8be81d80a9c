// The "Diagnostic" page (type codes 4, 6 and 8): runs the controller's
// built-in open, short, mutual and AD level tests with the thresholds of its
// fields, lists every reported item as a line of text and draws the open
// values of the X (Tx) and Y (Rx) channels. The controller measures; the
// page passes thresholds, collects what the test callbacks report and
// renders it. The logic sits in diag_model.h, diag_lines.h and diag_graph.h.
//
// Test records reach the page through the library's test callbacks, which
// the host's dispatcher runs on the GUI thread (host::installGuiDispatcher).
#pragma once

#include <QFrame>
#include <QImage>
#include <QTimer>
#include <array>
#include <cstdint>
#include <vector>

#include "device/vexlink.h"
#include "host/packet_window.h"
#include "tuner/app/tuner_page.h"
#include "tuner/diag/diag_graph.h"
#include "tuner/diag/diag_model.h"

class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace lumora {

namespace diag {

// One graph area: shows the last rendered picture 1:1.
class DiagGraphArea : public QFrame {
    Q_OBJECT
public:
    explicit DiagGraphArea(const QString& name, QWidget* parent = nullptr);
    // Draws the graph off-screen and shows it in one step; nothing when its
    // inputs and the area's size are those of the picture shown (the page
    // asks every 100 ms, and the inputs change only with a test or a view).
    void showGraph(SeriesValues values, int count, const std::vector<int>& thresholds);
    const QImage& picture() const { return m_picture; }
    QSize areaSize() const { return contentsRect().size(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Inputs {
        std::vector<int16_t> values;
        int count = 0;
        std::vector<int> thresholds;
        QSize size;
        bool operator==(const Inputs&) const = default;
    };
    QImage m_picture;
    Inputs m_drawn;
};

}  // namespace diag

class CDiagPage : public TunerPage {
    Q_OBJECT
public:
    // Message number of the device packets the page registers for (id 59).
    static constexpr uint32_t kPacketMessage = 0x602;
    static constexpr uint8_t kPacketId = 59;
    static constexpr int kGraphPeriodMs = 100;
    // The short test starts this long after its button, giving the
    // controller time to settle after the previous measurement.
    static constexpr int kShortTestDelayMs = 500;
    // One window registration and the nine test callbacks.
    static constexpr int kRegistrationCount = 10;

    explicit CDiagPage(DeviceState& state, QWidget* parent = nullptr);
    ~CDiagPage() override;

    void onCreated() override;
    void onShown() override;
    void onHidden() override;
    void onDestroyed() override;

    // The buttons.
    void openTest();
    void shortTest();
    void mutualTest();
    void adLevelTest();
    void cleanScreen();

    // Message 0x602 from the packet window.
    void handlePacket(uint32_t message, const VexPacket& packet);

    // Read access for tests and the screenshot tool.
    diag::Flavour flavour() const { return m_flavour; }
    const diag::DiagSettings& settings() const { return m_settings; }
    const diag::DiagModel& model() const { return m_model; }
    int8_t xCount() const { return m_xCount; }
    int8_t yCount() const { return m_yCount; }
    const std::array<VexRegistration, kRegistrationCount>& tokens() const { return m_tokens; }
    bool graphTimerActive() const { return m_graphTimer.isActive(); }
    QPlainTextEdit* resultBox() const { return m_resultBox; }
    diag::DiagGraphArea* xGraph() const { return m_xGraph; }
    diag::DiagGraphArea* yGraph() const { return m_yGraph; }

private:
    // Record callbacks of the library: (context, unused, record).
    static void onOpenItem(void* context, int, const uint8_t* record);
    static void onShortItem(void* context, int, const uint8_t* record);
    static void onMutualItem(void* context, int, const uint8_t* record);
    static void onMutualTableItem(void* context, int, const uint8_t* record);
    static void onADLevelItem(void* context, int, const uint8_t* record);
    static void onOpenDone(void* context, int, const uint8_t* record);
    static void onShortDone(void* context, int, const uint8_t* record);
    static void onMutualDone(void* context, int, const uint8_t* record);
    static void onADLevelDone(void* context, int, const uint8_t* record);

    void buildControls();
    void unregisterAll();
    void registerAll();
    void readSettings();       // fields -> settings, at every test start
    void beginTest(diag::DiagTest test);
    void handleFinal(diag::DiagTest test, const uint8_t* record);
    void setTestButtons(bool enabled, bool adLevelEnabled);
    void redrawGraphs();

    diag::Flavour m_flavour = diag::Flavour::Osprey;
    diag::DiagSettings m_settings;
    diag::DiagModel m_model;
    int8_t m_xCount = 0;
    int8_t m_yCount = 0;
    bool m_initialised = false;
    std::array<VexRegistration, kRegistrationCount> m_tokens{};
    VexHandle m_registeredOn = 0;   // the handle the tokens belong to
    host::PacketWindow m_packets;
    QTimer m_graphTimer;

    QPushButton* m_openButton = nullptr;
    QPushButton* m_shortButton = nullptr;
    QPushButton* m_mutualButton = nullptr;
    QPushButton* m_adLevelButton = nullptr;
    QRadioButton* m_failOnlyRadio = nullptr;
    QRadioButton* m_showAllRadio = nullptr;
    QLineEdit* m_openThBox = nullptr;
    QLineEdit* m_shortThBox = nullptr;
    QLineEdit* m_mutualThBox = nullptr;
    QLineEdit* m_adLevelThBox = nullptr;
    QPlainTextEdit* m_resultBox = nullptr;
    diag::DiagGraphArea* m_xGraph = nullptr;
    diag::DiagGraphArea* m_yGraph = nullptr;
};

// Factory for the page table.
TunerPage* makeDiagPage(DeviceState& state);

}  // namespace lumora
