// What the two draw test pages ("Draw Test" and "Finch Draw Test") share:
// their controls and keys, the packet routing, the registrations, the
// filter, the full-screen window's opening and ending, and the drawing area
// with its key strip and contact information. Each page adds its own report
// handling, grid, texts and commands on top.
#pragma once

#include <QFont>
#include <QPointer>
#include <QString>
#include <array>
#include <cstdint>
#include <vector>

#include "host/packet_window.h"
#include "tuner/app/tuner_page.h"
#include "tuner/draw/contact_model.h"
#include "tuner/draw/draw_widgets.h"
#include "tuner/draw/full_screen.h"
#include "tuner/draw/grid.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace lumora::draw {

// The settings behind the controls.
struct DrawFields {
    int drawMode = kLineMode;  // "Dot Mode" 0, "Line Mode" 1
    bool filter = true;        // "Filter"
    int gridX = 0;             // "X"
    int gridY = 0;             // "Y"
    QString gridD;             // "D", at most 5 characters
    bool pointLogging = false;
    bool fullScreen = false;
};

// What differs in the controls of the two pages.
struct PageControls {
    int contactSlots = 0;
    int gridX = 0;  // start values of "X", "Y" and "D"
    int gridY = 0;
    QString gridD;
    QString startLog;  // the log buttons' captions
    QString stopLog;
    bool dacCalibration = false;  // a "DAC Calibration" button
    bool lineOptions = false;     // the line-type radios and pen fields, shown disabled
    QSize infoSize;               // the contact information area
    int infoFirstTop = 0;
    int infoPitch = 0;
    QFont infoFont;
};

class DrawTestPage : public TunerPage {
    Q_OBJECT
public:
    DrawTestPage(DeviceState& state, const QString& caption, const PageControls& controls,
                 QWidget* parent = nullptr);
    ~DrawTestPage() override;

    void onHidden() override;
    void onDestroyed() override;

    // Messages 0x601 and 0x602 from the page's packet window; handled only
    // while the draw test pages are the active ones.
    void handlePacket(uint32_t message, const VexPacket& packet);

    // Commands.
    void readControls();    // the controls into the settings
    void toggleFilter();    // "Filter"
    void openFullScreen();  // "Full Screen", key f
    void closeFullScreen();
    virtual void clean() = 0;            // "Clean", space key
    virtual void resetController() = 0;  // "Reset Controller"
    virtual void startLog() = 0;         // "Start Log Point" / "Start Log"
    virtual void stopLog() = 0;          // "Stop Log Point" / "Stop Log"
    virtual void dacCalibration() {}     // "DAC Calibration", where the page has it

    // Read access for tests and the screenshot run.
    const ContactTable& contacts() const { return m_contacts; }
    const DrawFields& fields() const { return m_fields; }
    GridSettings gridSettings() const;
    SurfaceView* drawingArea() const { return m_area; }
    SurfaceView* keyStrip() const { return m_keys; }
    InfoView* infoArea() const { return m_info; }
    FullScreenWindow* fullScreenWindow() const { return m_window; }
    QPushButton* button(const QString& caption) const;
    QLineEdit* gridXBox() const { return m_xBox; }
    QLineEdit* gridYBox() const { return m_yBox; }
    QLineEdit* gridDBox() const { return m_dBox; }
    QRadioButton* dotModeRadio() const { return m_dotRadio; }
    QCheckBox* filterBox() const { return m_filterBox; }

    static constexpr int kRegistrations = 5;

protected:
    // A touch report (any sub id of packet 0x36 but the key and gesture ones).
    virtual void handleTouchReport(const uint8_t* packet) = 0;
    // Key report on the key strip.
    virtual void drawKey(const KeyReport& key) = 0;
    virtual FullScreenWindow* makeFullScreenWindow() = 0;
    // Draws the test grid on the drawing area.
    virtual void drawPageGrid() = 0;
    virtual void fullScreenOpening() {}

    void keyPressEvent(QKeyEvent* event) override;

    // The five registrations, each slot made once: 0x3B with 0x602, then
    // 0x36 with the sub ids 0x13, 0x30, 0x2F and 0x5E with 0x601.
    void registerPage();
    void unregisterPage();
    void showFields();
    void syncLogButtons();
    void drawOnArea(const std::vector<Mark>& marks, int divisor);
    // The controller's end packet: the controller is closed, the program ends.
    void endProgram();
    // DevDisableFilter: 1 switches the filter off, 0 on.
    void applyFilter();
    // The first steps when the page is created: without a controller the
    // message, the trace and the request to close (false); else the trace.
    bool controllerAtCreation();
    // What every record of the page's contacts does before it is drawn:
    // keeps its extra value and status and counts its report. False for an
    // id beyond the slots (or negative), which the page ignores.
    bool acceptRecord(const TouchRecord& record, uint32_t now);
    void message(const QString& text, const QString& caption);
    static uint32_t nowMs();

    DrawFields m_fields;
    ContactTable m_contacts;
    host::PacketWindow m_packets;
    std::array<VexRegistration, kRegistrations> m_registrations{};
    QPointer<FullScreenWindow> m_window;
    bool m_created = false;

    SurfaceView* m_area = nullptr;
    SurfaceView* m_keys = nullptr;
    InfoView* m_info = nullptr;
    QPushButton* m_fullScreenButton = nullptr;
    QPushButton* m_startLogButton = nullptr;
    QPushButton* m_stopLogButton = nullptr;
    QRadioButton* m_dotRadio = nullptr;
    QRadioButton* m_lineRadio = nullptr;
    QCheckBox* m_filterBox = nullptr;
    QLineEdit* m_xBox = nullptr;
    QLineEdit* m_yBox = nullptr;
    QLineEdit* m_dBox = nullptr;

private:
    void buildControls(const PageControls& controls);
    void fullScreenEnded();

};

}  // namespace lumora::draw
