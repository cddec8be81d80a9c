// The "Draw Test" page of Osprey-class controllers (type code 4): the tracks
// of up to 12 contacts from single- and multi-contact touch reports, their
// report rates and contact information, touch keys, gestures, the test grid,
// the full-screen window and the point log "PCAP_POINTLOG.csv".
#pragma once

#include <QByteArray>
#include <vector>

#include "tuner/draw/draw_test_page.h"

namespace lumora {

namespace draw {
class OspreyFullScreen;
}

class CRawPointDlg : public draw::DrawTestPage {
    Q_OBJECT
public:
    explicit CRawPointDlg(DeviceState& state, QWidget* parent = nullptr);

    void onCreated() override;
    void onShown() override;

    void clean() override;
    void resetController() override;
    void startLog() override;
    void stopLog() override;

    const QByteArray& pointLog() const { return m_pointLog; }
    // The contact information as the page shows it now.
    std::vector<QString> infoRows() const { return m_rows; }

protected:
    void handleTouchReport(const uint8_t* packet) override;
    void drawKey(const draw::KeyReport& key) override;
    draw::FullScreenWindow* makeFullScreenWindow() override;
    void drawPageGrid() override;

private:
    friend class draw::OspreyFullScreen;

    QByteArray m_pointLog;
    std::vector<QString> m_rows;
};

// Factory for the page table.
TunerPage* makeDrawTestPage(DeviceState& state);

}  // namespace lumora
