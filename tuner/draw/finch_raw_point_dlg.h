// The "Finch Draw Test" page of Heron-class controllers (type codes 6 and
// 8): the tracks of up to 32 contacts from the multi-contact touch report,
// their report rates and contact information, touch keys, gestures, the test
// grid, the DAC calibration, the full-screen line test with each point's
// offset distance in millimetres, and the two point logs "PCAP_POINTLOG.csv"
// and "PointLog_FullScreen.csv".
#pragma once

#include <QByteArray>

#include "tuner/draw/draw_test_page.h"
#include "tuner/draw/finch_style.h"

namespace lumora {

namespace draw {
class FinchFullScreen;
}

class CFinchRawPointDlg : public draw::DrawTestPage {
    Q_OBJECT
public:
    explicit CFinchRawPointDlg(DeviceState& state, QWidget* parent = nullptr);

    void onCreated() override;
    void onActivated() override;
    void onShown() override;

    void clean() override;
    void resetController() override;
    void dacCalibration() override;
    void startLog() override;
    void stopLog() override;

    const QByteArray& pointLog() const { return m_pointLog; }
    const QByteArray& fullScreenLog() const { return m_fullScreenLog; }
    draw::finch::TestLine testLine() const { return m_testLine; }

protected:
    void handleTouchReport(const uint8_t* packet) override;
    void drawKey(const draw::KeyReport& key) override;
    draw::FullScreenWindow* makeFullScreenWindow() override;
    void drawPageGrid() override;
    void fullScreenOpening() override;

private:
    friend class draw::FinchFullScreen;

    // Draws the grid on a surface; with the line-test flag set, the test
    // line is defined anew from that surface.
    void drawGridOn(QImage& surface);
    void restartTraceCounters();

    QByteArray m_pointLog;
    QByteArray m_fullScreenLog;
    bool m_lineTest = false;  // set by "Full Screen", cleared when the page is shown
    draw::finch::TestLine m_testLine;
    bool m_firstActivation = true;

    // Trace counters: report handlings per second, and the time between records.
    int m_handled = 0;
    uint32_t m_lastRateTraceMs = 0;
    int m_previousId = 0;
    uint32_t m_previousRecordMs = 0;
};

// Factory for the page table.
TunerPage* makeFinchDrawTestPage(DeviceState& state);

}  // namespace lumora
