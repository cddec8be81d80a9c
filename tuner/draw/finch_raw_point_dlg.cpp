#include "tuner/draw/finch_raw_point_dlg.h"

#include <QPainter>

#include "host/services.h"
#include "host/wait_cursor.h"
#include "tuner/app/device_state.h"
#include "tuner/draw/point_log.h"
#include "tuner/draw/track_render.h"

namespace lumora {

namespace draw {

// The full-screen line test of the "Finch Draw Test" page: the tracks of
// the page's contact slots, and for every record its offset distance from
// the test line, logged while the page logs. The page keeps counting the
// rates and logging its own lines meanwhile, and draws none.
class FinchFullScreen final : public FullScreenWindow {
public:
    explicit FinchFullScreen(CFinchRawPointDlg& page)
        : FullScreenWindow(page.state().controller, &page), m_page(page) {}

protected:
    // The boxes are drawn at x = 250 and W - 370. A left-button release acts
    // inside them and also in the places x = 60..180 and W - 180..W - 60 of
    // the same band, where the boxes of the "Draw Test" window sit.
    Boxes boxesFor(QSize size) const override {
        const int w = size.width(), h = size.height();
        Boxes b;
        b.clean = QRect(250, h - 120, 120, 40);
        b.quit = QRect(w - 370, h - 120, 120, 40);
        b.cleanZones = {QRect(QPoint(60, h - 120), QPoint(180, h - 80)), b.clean};
        b.quitZones = {QRect(QPoint(w - 180, h - 120), QPoint(w - 60, h - 80)), b.quit};
        return b;
    }

    // Every grid of the window starts the test anew: slots reset, test line defined.
    void drawGridOn(QImage& surface) override {
        m_page.m_contacts.resetAll(CFinchRawPointDlg::nowMs());
        m_page.drawGridOn(surface);
    }

    void handleTouch(const VexPacket& packet) override {
        const uint32_t now = CFinchRawPointDlg::nowMs();
        ++m_handled;
        if (uint32_t(now - m_lastTraceMs) > 999) {
            host::trace(QString::asprintf("Full screen Draw line function called: %dhz\r\n", m_handled));
            m_handled = 0;
            m_lastTraceMs = now;
        }
        ContactTable& table = m_page.m_contacts;
        const MultiContactReport report = decodeMultiContact(packet.bytes);
        const GridSettings grid = m_page.gridSettings();
        const QTime logTime = m_page.m_fields.pointLogging ? host::localTime().time() : QTime();
        for (int i = 0; i < report.count; ++i) {
            const TouchRecord& r = report.records[static_cast<size_t>(i)];
            if (!table.holds(r.id)) continue;
            table.noteReport(r);
            const float distance = finch::offsetDistance(r.x, r.y, grid, m_page.m_testLine);
            if (m_page.m_fields.pointLogging)
                m_page.m_fullScreenLog += fullScreenPointLine(logTime, r, distance);
            std::vector<Mark> marks;
            finch::stepRecord(table, r, m_page.m_fields.drawMode, marks);
            changed(drawMarks(surface(), marks, finch::kScale));
            if (!r.touching && liftAt(toSurface(QPoint(r.x, r.y), size(), finch::kScale))) return;
        }
        ratesChanged();
    }

    std::vector<QString> rateRows() const override { return finch::infoRows(m_page.contacts()); }

private:
    CFinchRawPointDlg& m_page;
    int m_handled = 0;
    uint32_t m_lastTraceMs = 0;
};

PageControls finchControls() {
    PageControls c;
    c.contactSlots = finch::kSlots;
    c.gridX = 443;
    c.gridY = 250;
    c.gridD = QStringLiteral("15");
    c.startLog = QStringLiteral("Start Log");
    c.stopLog = QStringLiteral("Stop Log");
    c.dacCalibration = true;
    c.lineOptions = true;
    c.infoSize = QSize(240, finch::kInfoFirstTop + finch::kSlots * finch::kInfoPitch + 4);
    c.infoFirstTop = finch::kInfoFirstTop;
    c.infoPitch = finch::kInfoPitch;
    c.infoFont = QFont(QStringLiteral("Arial"));
    c.infoFont.setPixelSize(11);
    c.infoFont.setBold(true);
    return c;
}

}  // namespace draw

using namespace draw;

CFinchRawPointDlg::CFinchRawPointDlg(DeviceState& state, QWidget* parent)
    : DrawTestPage(state, QStringLiteral("Finch Draw Test"), finchControls(), parent) {
    // Rows are made at paint time, at most every 20 ms: with 32 contacts at
    // hundreds of reports a second, formatting them per report would cost
    // more than all the drawing.
    m_info->setRows([this] { return finch::infoRows(m_contacts); });
}

void CFinchRawPointDlg::onCreated() {
    if (!controllerAtCreation()) return;
    int8_t y = 0, x = 0;
    PCAPStopGetData(state().controller, &y, &x);
    unregisterPage();
    m_created = true;
    showFields();
    syncLogButtons();
    drawPageGrid();
}

void CFinchRawPointDlg::onActivated() {
    if (!m_created) return;
    const VexHandle h = state().controller;
    int8_t y = 0, x = 0;
    PCAPStopGetData(h, &y, &x);
    PCAPGetRawPoint(h, &y, &x);
    if (m_firstActivation)
        m_firstActivation = false;
    else
        showFields();
}

void CFinchRawPointDlg::onShown() {
    if (!m_created) return;
    DeviceState& s = state();
    s.activePage = kDrawTestPages;
    m_contacts.resetAll(nowMs());
    int8_t y = 0, x = 0;
    PCAPStopGetData(s.controller, &y, &x);
    if (y == 0 || x == 0) {
        message(QString::asprintf("PCAPStopGetData Fail! (Y: %d, X: %d)", y, x), QStringLiteral("Quillet"));
        emit closeRequested();
        return;
    }
    y = x = 0;
    PCAPGetRawPoint(s.controller, &y, &x);
    if (y == 0 || x == 0) {
        message(QString::asprintf("PCAPGetRawPoint Fail! (Y: %d, X: %d)", y, x), QStringLiteral("Quillet"));
        emit closeRequested();
        return;
    }
    applyFilter();
    registerPage();
    syncLogButtons();
    m_lineTest = false;
    restartTraceCounters();
    showFields();
    m_info->refresh();
    setFocus();
}

void CFinchRawPointDlg::restartTraceCounters() {
    m_handled = 0;
    m_lastRateTraceMs = nowMs();
    m_previousId = 0;
    m_previousRecordMs = m_lastRateTraceMs;
}

void CFinchRawPointDlg::handleTouchReport(const uint8_t* p) {
    const uint32_t now = nowMs();
    ++m_handled;
    if (uint32_t(now - m_lastRateTraceMs) > 999) {
        host::trace(QString::asprintf("Draw line function called: %dhz\r\n", m_handled));
        m_handled = 0;
        m_lastRateTraceMs = now;
    }
    const MultiContactReport report = decodeMultiContact(p);
    // The records of a report share its time.
    const QTime logTime = m_fields.pointLogging ? host::localTime().time() : QTime();
    std::vector<Mark> marks;
    for (int i = 0; i < report.count; ++i) {
        const TouchRecord& r = report.records[static_cast<size_t>(i)];
        if (host::traceEnabled())
            host::trace(QString::asprintf("CodeTime Diff: %d, %d\r\n", m_previousId,
                                          int(now - m_previousRecordMs)));
        m_previousId = r.id;
        m_previousRecordMs = now;
        // Ids above 31, and negative ones, are no contact of this page.
        if (!acceptRecord(r, now)) continue;
        // The log keeps the pressure as reported, also id 31's, whose
        // drawing takes the pen base off it.
        if (m_fields.pointLogging) m_pointLog += finchPointLine(logTime, r);
        // While the full-screen window is open, it draws the tracks.
        if (!m_fields.fullScreen) finch::stepRecord(m_contacts, r, m_fields.drawMode, marks);
    }
    drawOnArea(marks, finch::kScale);
    m_info->refresh();
}

void CFinchRawPointDlg::drawKey(const KeyReport& key) {
    QImage& strip = m_keys->surface();
    // Six key places; a key index beyond them has no place to show.
    if (key.key < 0 || key.key >= finch::kKeyPlaces) return;
    const QPoint centre = finch::keyCentre(key.key, strip.size());
    if (key.pressed) {
        clearKeyStrip(strip);
        drawPressedKey(strip, centre, key.key + 1, true);
    } else {
        QPainter painter(&strip);
        painter.setPen(Qt::white);
        painter.setBrush(Qt::white);
        painter.drawEllipse(centre, finch::kKeyCoverRadius, finch::kKeyCoverRadius);
    }
    m_keys->changedAll();
}

FullScreenWindow* CFinchRawPointDlg::makeFullScreenWindow() { return new FinchFullScreen(*this); }

void CFinchRawPointDlg::fullScreenOpening() { m_lineTest = true; }

void CFinchRawPointDlg::drawGridOn(QImage& surface) {
    drawGrid(surface, finch::grid(surface.size(), gridSettings()));
    if (m_lineTest) m_testLine = finch::testLineFor(surface.size());
}

void CFinchRawPointDlg::drawPageGrid() {
    drawGridOn(m_area->surface());
    m_area->changedAll();
}

void CFinchRawPointDlg::clean() {
    readControls();
    m_contacts.resetAll(nowMs());
    drawPageGrid();
    m_info->refresh();
}

void CFinchRawPointDlg::resetController() {
    clean();
    {
        host::WaitCursor wait;
        const VexHandle h = state().controller;
        int8_t y = 0, x = 0;
        uint8_t buffer[64] = {};
        PCAPStopGetData(h, &y, &x);
        PCAPGetRawPoint(h, &y, &x);
        DevResetController(h);
        DevSetFreqIndex(h, buffer, 0);
        PCAPGetRawPoint(h, &y, &x);
    }
    message(QStringLiteral("Reset OK"), QStringLiteral("ZEMA PCAP Raw Viewer"));
}

void CFinchRawPointDlg::dacCalibration() {
    bool acknowledged = false;
    {
        host::WaitCursor wait;
        const VexHandle h = state().controller;
        acknowledged = DevDACCalibration(h) != 0;
        if (acknowledged) {
            uint8_t buffer[64] = {};
            DevResetController(h);
            DevSetFreqIndex(h, buffer, 0);
            // The reset stops the touch reports, as "Reset Controller" knows:
            // start them again, or the page would stop drawing.
            int8_t y = 0, x = 0;
            PCAPGetRawPoint(h, &y, &x);
        }
    }
    if (acknowledged)
        message(QStringLiteral(" Reset OK !! "), QStringLiteral(" Message "));
    else
        message(QStringLiteral("No ACK"), QStringLiteral("Error"));
}

void CFinchRawPointDlg::startLog() {
    m_pointLog = pointLogHeader();
    m_fullScreenLog = fullScreenLogHeader();
    m_fields.pointLogging = true;
    syncLogButtons();
}

void CFinchRawPointDlg::stopLog() {
    m_fields.pointLogging = false;
    syncLogButtons();
    if (!host::appendToFile(pointLogFileName(), m_pointLog)) {
        message(QStringLiteral(" Open Log file error ! "), QStringLiteral(" Error "));
        return;
    }
    if (!host::appendToFile(fullScreenLogFileName(), m_fullScreenLog))
        message(QStringLiteral(" Open Log file FullScreenerror ! "), QStringLiteral(" Error "));
}

TunerPage* makeFinchDrawTestPage(DeviceState& state) { return new CFinchRawPointDlg(state); }

}  // namespace lumora
