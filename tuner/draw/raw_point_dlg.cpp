#include "tuner/draw/raw_point_dlg.h"

#include <QPushButton>

#include "host/services.h"
#include "host/wait_cursor.h"
#include "tuner/app/device_state.h"
#include "tuner/draw/osprey_style.h"
#include "tuner/draw/point_log.h"
#include "tuner/draw/track_render.h"

namespace lumora {

namespace draw {

// The full-screen window of the "Draw Test" page. It draws the tracks of the
// page's contact slots from the touch reports it registered for; the page
// keeps counting the rates and logging meanwhile, and draws none.
class OspreyFullScreen final : public FullScreenWindow {
public:
    explicit OspreyFullScreen(CRawPointDlg& page)
        : FullScreenWindow(page.state().controller, &page), m_page(page) {}

protected:
    // The boxes are where a lift and a mouse release act.
    Boxes boxesFor(QSize size) const override {
        Boxes b;
        b.clean = QRect(60, size.height() - 120, 120, 40);
        b.quit = QRect(size.width() - 180, size.height() - 120, 120, 40);
        b.cleanZones = {b.clean};
        b.quitZones = {b.quit};
        b.anyButton = true;
        return b;
    }

    void drawGridOn(QImage& surface) override {
        drawGrid(surface, osprey::grid(surface.size(), m_page.gridSettings()));
    }

    // A multi-contact report is drawn as the page draws it, so that
    // controllers that send this form are seen in full screen too.
    void handleTouch(const VexPacket& packet) override {
        const bool single = isSingleContact(packet.bytes);
        const MultiContactReport report = decodeEitherForm(packet.bytes);
        ContactTable& table = m_page.m_contacts;
        const int scale = single ? osprey::kSingleScale : osprey::kMultiScale;
        for (int i = 0; i < report.count; ++i) {
            const TouchRecord& r = report.records[static_cast<size_t>(i)];
            if (!table.holds(r.id)) continue;
            table.noteReport(r);
            std::vector<Mark> marks;
            if (single)
                osprey::stepSingleContact(table, r, m_page.fields().drawMode, marks);
            else
                osprey::stepMultiContact(table, r, m_page.fields().drawMode, marks);
            changed(drawMarks(surface(), marks, scale));
            if (!r.touching && liftAt(toSurface(QPoint(r.x, r.y), size(), scale))) return;
        }
        ratesChanged();
    }

    std::vector<QString> rateRows() const override {
        std::vector<QString> rows;
        const ContactTable& table = m_page.contacts();
        for (int id = 0; id < table.size(); ++id) rows.push_back(osprey::fullScreenRow(id, table.at(id)));
        return rows;
    }

private:
    CRawPointDlg& m_page;
};

PageControls ospreyControls() {
    PageControls c;
    c.contactSlots = osprey::kSlots;
    c.gridX = 224;
    c.gridY = 167;
    c.gridD = QStringLiteral("1.0");
    c.startLog = QStringLiteral("Start Log Point");
    c.stopLog = QStringLiteral("Stop Log Point");
    c.infoSize = QSize(400, osprey::kInfoFirstTop + osprey::kSlots * osprey::kInfoPitch);
    c.infoFirstTop = osprey::kInfoFirstTop;
    c.infoPitch = osprey::kInfoPitch;
    c.infoFont.setPixelSize(13);
    return c;
}

}  // namespace draw

using namespace draw;

CRawPointDlg::CRawPointDlg(DeviceState& state, QWidget* parent)
    : DrawTestPage(state, QStringLiteral("Draw Test"), ospreyControls(), parent) {
    m_info->setRows([this] { return m_rows; });
}

void CRawPointDlg::onCreated() {
    if (!controllerAtCreation()) return;
    const DeviceState& s = state();
    int8_t y = 0, x = 0;
    PCAPStopGetData(s.controller, &y, &x);
    PCAPGetRawPoint(s.controller, &y, &x);
    m_contacts.restartRates(nowMs());
    m_created = true;
    showFields();
    syncLogButtons();
    drawPageGrid();
}

void CRawPointDlg::onShown() {
    if (!m_created) return;
    DeviceState& s = state();
    s.activePage = kDrawTestPages;
    m_contacts.clearPoints();
    int8_t y = 0, x = 0;
    PCAPStopGetData(s.controller, &y, &x);
    y = x = 0;
    PCAPGetRawPoint(s.controller, &y, &x);
    if (y == 0 || x == 0) {
        message(QStringLiteral("PCAPGetSingleData Fail!"), QStringLiteral("Quillet"));
        emit closeRequested();
        return;
    }
    applyFilter();
    registerPage();
    syncLogButtons();
    showFields();
    setFocus();
}

void CRawPointDlg::handleTouchReport(const uint8_t* p) {
    const bool single = isSingleContact(p);
    const MultiContactReport report = decodeEitherForm(p);
    const uint32_t now = nowMs();
    // The records of a report share its time.
    const QTime logTime = m_fields.pointLogging ? host::localTime().time() : QTime();
    std::vector<Mark> marks;
    for (int i = 0; i < report.count; ++i) {
        const TouchRecord& r = report.records[static_cast<size_t>(i)];
        // Ids above 11, and negative ones, are no contact of this page.
        if (!acceptRecord(r, now)) continue;
        if (m_fields.pointLogging) m_pointLog += ospreyPointLine(logTime, r);
        // While the full-screen window is open, it draws the tracks.
        if (m_fields.fullScreen) continue;
        if (single)
            osprey::stepSingleContact(m_contacts, r, m_fields.drawMode, marks, &m_rows);
        else
            osprey::stepMultiContact(m_contacts, r, m_fields.drawMode, marks);
    }
    if (!single && !m_fields.fullScreen) m_rows = osprey::infoRows(m_contacts);
    drawOnArea(marks, single ? osprey::kSingleScale : osprey::kMultiScale);
    m_info->refresh();
}

void CRawPointDlg::drawKey(const KeyReport& key) {
    QImage& strip = m_keys->surface();
    clearKeyStrip(strip);
    if (key.pressed && key.key >= 0 && key.key < osprey::kKeyPlaces)
        drawPressedKey(strip, osprey::keyCentre(key.key, strip.size()), key.key + 1, false);
    m_keys->changedAll();
}

FullScreenWindow* CRawPointDlg::makeFullScreenWindow() { return new OspreyFullScreen(*this); }

void CRawPointDlg::drawPageGrid() {
    QImage& surface = m_area->surface();
    drawGrid(surface, osprey::grid(surface.size(), gridSettings()));
    m_area->changedAll();
}

void CRawPointDlg::clean() {
    readControls();
    drawPageGrid();
}

void CRawPointDlg::resetController() {
    clean();
    {
        host::WaitCursor wait;
        const VexHandle h = state().controller;
        int8_t y = 0, x = 0;
        PCAPStopGetData(h, &y, &x);
        DevResetController(h);
        PCAPGetRawPoint(h, &y, &x);
    }
    message(QStringLiteral("Reset OK"), QStringLiteral("ZEMA PCAP Raw Viewer"));
}

void CRawPointDlg::startLog() {
    m_pointLog = pointLogHeader();
    m_fields.pointLogging = true;
    syncLogButtons();
}

void CRawPointDlg::stopLog() {
    m_fields.pointLogging = false;
    syncLogButtons();
    // On failure the text stays in memory until the next "Start Log Point".
    if (!host::appendToFile(pointLogFileName(), m_pointLog))
        message(QStringLiteral("Open Log file error!"), QStringLiteral("Error!"));
}

TunerPage* makeDrawTestPage(DeviceState& state) { return new CRawPointDlg(state); }

}  // namespace lumora
