// The "Draw Test" and "Finch Draw Test" pages against virtual controllers:
// what they ask of the controller (checked in its command log), fingers
// drawn from the virtual touch reports, bad reports, the point logs, the
// full-screen window and the controller going away.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cstring>
#include <functional>
#include <memory>

#include "device/packet.h"
#include "device/vexlink.h"
#include "host/testing/doubles.h"
#include "tests/support/test_support.h"
#include "tuner/app/device_state.h"
#include "tuner/draw/finch_raw_point_dlg.h"
#include "tuner/draw/osprey_style.h"
#include "tuner/draw/point_log.h"
#include "tuner/draw/raw_point_dlg.h"
#include "tuner/draw/track_render.h"
#include "vexlink/virtual/control.h"

namespace lumora {
namespace {

namespace control = vexlink::control;
using namespace draw;

using lumora::test_support::waitUntil;
using lumora::test_support::pump;


QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// ---- Packets ------------------------------------------------------------------

VexPacket singleContact(int id, bool touching, int x, int y, int pressure = 300, int extra = 0) {
    VexPacket p{};
    p.bytes[2] = kTouchPacketId;
    p.bytes[3] = kTouchSubId;
    p.bytes[4] = uint8_t(0x80 | (touching ? 1 : 0));
    writeLE16(&p.bytes[5], x);
    writeLE16(&p.bytes[7], y);
    writeLE16(&p.bytes[9], pressure);
    p.bytes[11] = uint8_t(id);
    p.bytes[12] = uint8_t(extra);
    writeLE16(&p.bytes[13], 11);
    writeLE16(&p.bytes[15], 22);
    return p;
}

struct Rec {
    int id;
    bool touching;
    int x, y, pressure, extra;
};
VexPacket multiContact(const std::vector<Rec>& records, int count = -1) {
    VexPacket p{};
    p.bytes[2] = kTouchPacketId;
    p.bytes[3] = kTouchSubId;
    for (size_t i = 0; i < records.size() && i < 5; ++i) {
        uint8_t* r = &p.bytes[4 + 10 * i];
        r[0] = records[i].touching ? 1 : 0;
        r[1] = uint8_t(records[i].id);
        writeLE16(&r[2], records[i].x);
        writeLE16(&r[4], records[i].y);
        writeLE16(&r[6], records[i].pressure);
        writeLE16(&r[8], records[i].extra);
    }
    p.bytes[54] = uint8_t(count >= 0 ? count : int(records.size()));
    return p;
}

VexPacket subPacket(uint8_t sub, uint8_t b4, uint8_t b5 = 0) {
    VexPacket p{};
    p.bytes[2] = kTouchPacketId;
    p.bytes[3] = sub;
    p.bytes[4] = b4;
    p.bytes[5] = b5;
    return p;
}

VexPacket endPacket() { return test_support::endPacket(kEndPacketId); }

int countColour(const QImage& image, QRgb colour) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) n += image.pixel(x, y) == colour ? 1 : 0;
    return n;
}

void sendKey(QWidget& widget, Qt::Key key, const QString& text = {}) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(&widget, &press);
}

void releaseMouse(QWidget& widget, QPoint at, Qt::MouseButton button = Qt::LeftButton) {
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at), widget.mapToGlobal(QPointF(at)), button,
                        Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&widget, &release);
}

void expectOneMessage(const host::testing::RecordingMessages& messages, const QString& text,
                      const QString& caption) {
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_EQ(messages.shown()[0].text, text);
    EXPECT_EQ(messages.shown()[0].caption, caption);
}

// The stream the virtual device runs: 2 is the raw-point stream.
int streamOf(int id) {
    control::DeviceStatus status;
    return control::status(id, &status) ? status.stream : -1;
}

// ---- Fixture ---------------------------------------------------------------------

class DrawPageTest : public testing::Test {
protected:
    void SetUp() override {
        test_support::app();
        ASSERT_TRUE(m_dir.isValid());
        m_oldDir = QDir::currentPath();
        QDir::setCurrent(m_dir.path());  // the logs go to the current directory
    }

    void TearDown() override {
        closeAll();
        QDir::setCurrent(m_oldDir);
    }

    // The page goes, then the controller.
    void closeAll() {
        if (page) page->onDestroyed();
        page.reset();
        if (state.controller) CloseHIDDevice(state.controller);
        state.controller = 0;
        control::configure("");
        quitCodes.clear();
        closeRequests = 0;
    }

    void open(const std::string& devices, uint8_t typeCode) {
        closeAll();
        const auto device = test_support::openOnlyDevice(devices);
        ASSERT_NE(device.handle, 0u) << device.error;
        m_id = device.id;
        state.controller = device.handle;
        state.typeCode = typeCode;
    }

    // The sheet's order when the tab is first chosen.
    template <class Page>
    Page& makePage() {
        auto* p = new Page(state);
        page.reset(p);
        QObject::connect(p, &TunerPage::quitRequested, [this](int code) { quitCodes.push_back(code); });
        QObject::connect(p, &TunerPage::closeRequested, [this] { ++closeRequests; });
        p->resize(1100, 700);
        p->onCreated();
        p->onActivated();
        p->onShown();
        return *p;
    }

    std::vector<std::string> operations(const std::vector<std::string>& only = {}) {
        return control::operationsOf(control::commandLog(m_id), only);
    }

    // The DevDisableFilter flags sent, in order.
    std::vector<int> filterFlags() {
        std::vector<int> flags;
        for (const auto& r : control::commandLog(m_id))
            if (r.operation == "DevDisableFilter") flags.push_back(r.u8(0));
        return flags;
    }

    void stopStream() {
        int8_t y = 0, x = 0;
        PCAPStopGetData(state.controller, &y, &x);
        pump(60);  // packets already under way
    }

    QString path(const QString& name) const { return m_dir.filePath(name); }

    DeviceState state;
    int m_id = 0;
    std::unique_ptr<DrawTestPage> page;
    std::vector<int> quitCodes;
    int closeRequests = 0;
    QTemporaryDir m_dir;
    QString m_oldDir;
};

const std::vector<std::string> kStreamAndFilter = {"PCAPStopGetData", "PCAPGetRawPoint",
                                                    "DevDisableFilter", "DevResetController",
                                                    "DevSetFreqIndex", "DevDACCalibration"};

// ---- Start-up and commands ------------------------------------------------------------

TEST_F(DrawPageTest, DrawTestStartsTheTouchStreamWithTheFilterOn) {
    open("osprey", 4);
    host::testing::CapturedTrace trace;
    auto& p = makePage<CRawPointDlg>();
    EXPECT_TRUE(trace.contains(QStringLiteral("PCAP : OpenHIDDevice...OK\r\n")));
    EXPECT_EQ(state.activePage, kDrawTestPages);
    // Created: stop, raw point; shown: stop, raw point, filter on.
    EXPECT_EQ(operations(kStreamAndFilter),
              (std::vector<std::string>{"PCAPStopGetData", "PCAPGetRawPoint", "PCAPStopGetData",
                                        "PCAPGetRawPoint", "DevDisableFilter"}));
    EXPECT_EQ(filterFlags(), std::vector<int>{0});
    control::DeviceStatus status;
    ASSERT_TRUE(control::status(m_id, &status));
    EXPECT_EQ(status.stream, 2) << "raw point";
    EXPECT_FALSE(status.filterDisabled);

    // The start values in the controls.
    EXPECT_EQ(p.gridXBox()->text(), QStringLiteral("224"));
    EXPECT_EQ(p.gridYBox()->text(), QStringLiteral("167"));
    EXPECT_EQ(p.gridDBox()->text(), QStringLiteral("1.0"));
    EXPECT_EQ(p.gridDBox()->maxLength(), 5);
    EXPECT_FALSE(p.dotModeRadio()->isChecked());
    EXPECT_TRUE(p.filterBox()->isChecked());
    EXPECT_TRUE(p.button(QStringLiteral("Start Log Point"))->isEnabled());
    EXPECT_FALSE(p.button(QStringLiteral("Stop Log Point"))->isEnabled());
    EXPECT_EQ(p.button(QStringLiteral("DAC Calibration")), nullptr);

    // "Filter" switches the controller's filter off and on again.
    p.filterBox()->click();
    ASSERT_TRUE(control::status(m_id, &status));
    EXPECT_TRUE(status.filterDisabled);
    EXPECT_FALSE(p.fields().filter);
    p.filterBox()->click();
    ASSERT_TRUE(control::status(m_id, &status));
    EXPECT_FALSE(status.filterDisabled);
    EXPECT_EQ(filterFlags(), (std::vector<int>{0, 1, 0}));

    // Shown again with the filter off: the page switches it off.
    p.filterBox()->click();
    p.onHidden();
    control::clearCommandLog(m_id);
    p.onShown();
    EXPECT_EQ(filterFlags(), std::vector<int>{1});
}

TEST_F(DrawPageTest, FinchDrawTestStartsTheTouchStreamWithTheFilterOn) {
    open("heron", 6);
    auto& p = makePage<CFinchRawPointDlg>();
    // Created: stop; activated: stop, raw point; shown: stop, raw point, filter on.
    EXPECT_EQ(operations(kStreamAndFilter),
              (std::vector<std::string>{"PCAPStopGetData", "PCAPStopGetData", "PCAPGetRawPoint",
                                        "PCAPStopGetData", "PCAPGetRawPoint", "DevDisableFilter"}));
    EXPECT_EQ(filterFlags(), std::vector<int>{0});
    EXPECT_EQ(p.gridXBox()->text(), QStringLiteral("443"));
    EXPECT_EQ(p.gridYBox()->text(), QStringLiteral("250"));
    EXPECT_EQ(p.gridDBox()->text(), QStringLiteral("15"));
    EXPECT_TRUE(p.button(QStringLiteral("Start Log"))->isEnabled());
    EXPECT_FALSE(p.button(QStringLiteral("Stop Log"))->isEnabled());
    // The older line-test controls are there, and never enabled.
    for (const char* caption : {"Left Line", "Right Line", "Vertical Line", "Horizontal Line",
                                "Circle Draw", "Cross Draw", "Finger Mode"}) {
        QRadioButton* radio = nullptr;
        for (QRadioButton* r : p.findChildren<QRadioButton*>())
            if (r->text() == QLatin1String(caption)) radio = r;
        ASSERT_NE(radio, nullptr) << caption;
        EXPECT_FALSE(radio->isEnabled()) << caption;
    }
    p.filterBox()->click();
    EXPECT_EQ(filterFlags(), (std::vector<int>{0, 1}));
}

TEST_F(DrawPageTest, ResetControllerRestartsTheStream) {
    struct Case {
        const char* devices;
        uint8_t type;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {"osprey", 4, {"PCAPStopGetData", "DevResetController", "PCAPGetRawPoint"}},
        {"heron", 6,
         {"PCAPStopGetData", "PCAPGetRawPoint", "DevResetController", "DevSetFreqIndex",
          "PCAPGetRawPoint"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.devices);
        open(c.devices, c.type);
        if (c.type == 4) makePage<CRawPointDlg>(); else makePage<CFinchRawPointDlg>();
        host::testing::RecordingMessages messages;
        control::clearCommandLog(m_id);
        page->resetController();
        EXPECT_EQ(operations(kStreamAndFilter), c.calls);
        const auto log = control::commandLog(m_id);
        for (const auto& r : log)
            if (r.operation == "DevSetFreqIndex") {
                EXPECT_EQ(r.u8(0), 0) << "frequency index 0";
            }
        expectOneMessage(messages, QStringLiteral("Reset OK"), QStringLiteral("ZEMA PCAP Raw Viewer"));
        EXPECT_EQ(streamOf(m_id), 2) << "the touch reports run again";
        closeAll();
    }
}

TEST_F(DrawPageTest, DacCalibrationResetsOrSaysNoAck) {
    open("heron", 6);
    auto& p = makePage<CFinchRawPointDlg>();
    host::testing::RecordingMessages messages;
    control::clearCommandLog(m_id);
    p.dacCalibration();
    EXPECT_EQ(operations(kStreamAndFilter),
              (std::vector<std::string>{"DevDACCalibration", "DevResetController", "DevSetFreqIndex",
                                        "PCAPGetRawPoint"}));
    expectOneMessage(messages, QStringLiteral(" Reset OK !! "), QStringLiteral(" Message "));
    EXPECT_EQ(streamOf(m_id), 2) << "the reset does not leave the page without reports";
    closeAll();

    // A device that does not acknowledge: no reset follows.
    open("pwm-tester", 6);
    page = std::make_unique<CFinchRawPointDlg>(state);
    messages.clear();
    page->dacCalibration();
    EXPECT_EQ(operations(kStreamAndFilter), std::vector<std::string>{"DevDACCalibration"});
    expectOneMessage(messages, QStringLiteral("No ACK"), QStringLiteral("Error"));
}

TEST_F(DrawPageTest, FailuresToStartCloseThePage) {
    struct Case {
        const char* devices;
        uint8_t type;
        QString text;
    };
    const Case cases[] = {
        {"osprey:x=0", 4, QStringLiteral("PCAPGetSingleData Fail!")},
        {"heron:x=0", 6, QStringLiteral("PCAPStopGetData Fail! (Y: 22, X: 0)")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.devices);
        open(c.devices, c.type);
        host::testing::RecordingMessages messages;
        if (c.type == 4) makePage<CRawPointDlg>(); else makePage<CFinchRawPointDlg>();
        expectOneMessage(messages, c.text, QStringLiteral("Quillet"));
        EXPECT_EQ(closeRequests, 1);
        closeRequests = 0;
        closeAll();
    }

    // No controller at all.
    for (int type : {4, 6}) {
        host::testing::RecordingMessages messages;
        host::testing::CapturedTrace trace;
        if (type == 4) makePage<CRawPointDlg>(); else makePage<CFinchRawPointDlg>();
        expectOneMessage(messages, QStringLiteral(" OpenHIDDevice Fail!"), QStringLiteral("Quillet"));
        EXPECT_TRUE(trace.contains(QStringLiteral("PCAP : OpenHIDDevice...FAIL\r\n")));
        EXPECT_EQ(closeRequests, 1);
        closeRequests = 0;
        page.reset();
    }
}

// ---- Fingers from the virtual controllers ---------------------------------------------

TEST_F(DrawPageTest, VirtualFingersDrawTracksWithRates) {
    open("osprey:touch=line", 4);
    auto& p = makePage<CRawPointDlg>();
    // Id 0 draws in red; its rate is known once a period of over a second ended.
    ASSERT_TRUE(waitUntil([&] { return p.contacts().at(0).rate > 0; }));
    EXPECT_GT(countColour(p.drawingArea()->surface(), qRgb(255, 0, 0)), 50);
    const std::vector<QString> rows = static_cast<CRawPointDlg&>(p).infoRows();
    static const QRegularExpression row(QStringLiteral(R"(^ID 0 : (\d{3} Hz \( +\d+, +\d+, +300 \) - \d+, \d+, \d+|0)$)"));
    EXPECT_TRUE(row.match(rows[0]).hasMatch()) << rows[0].toStdString();
    closeAll();

    // 32 contacts: id 31 with its pressure pen, the others in their colours,
    // every one with a rate.
    open("heron:touch=multi,contacts=32", 6);
    auto& f = makePage<CFinchRawPointDlg>();
    ASSERT_TRUE(waitUntil([&] {
        for (int id = 0; id < 32; ++id)
            if (f.contacts().at(id).rate == 0) return false;
        return true;
    }, 8000));
    EXPECT_GT(countColour(f.drawingArea()->surface(), qRgb(0, 0, 0)), 100) << "id 31";
    EXPECT_GT(countColour(f.drawingArea()->surface(), qRgb(160, 32, 240)), 20) << "ids 4, 16 and 28";
    const std::vector<QString> finchRows = f.infoArea()->rows();
    ASSERT_EQ(finchRows.size(), 32u);
    EXPECT_TRUE(finchRows[31].startsWith(QStringLiteral("31: "))) << finchRows[31].toStdString();
}

TEST_F(DrawPageTest, KeysAndGesturesFromTheControllerShow) {
    open("heron:keys=6,gesture=1", 6);
    auto& p = makePage<CFinchRawPointDlg>();
    ASSERT_TRUE(waitUntil([&] { return countColour(p.keyStrip()->surface(), kKeyGreen.rgb()) > 100; }));
    ASSERT_TRUE(waitUntil([&] { return countColour(p.drawingArea()->surface(), kGestureOrange.rgb()) > 100; }));
    stopStream();

    open("osprey:finger=0", 4);
    auto& o = makePage<CRawPointDlg>();
    stopStream();
    o.handlePacket(kTouchMessage, subPacket(kKeySubId, 1, 4));
    const QPoint key = osprey::keyCentre(4, o.keyStrip()->surface().size());
    EXPECT_EQ(o.keyStrip()->surface().pixel(key.x() - 15, key.y()), kKeyGreen.rgb());
    o.handlePacket(kTouchMessage, subPacket(kKeySubId, 0, 4));
    EXPECT_EQ(countColour(o.keyStrip()->surface(), kKeyGreen.rgb()), 0);
    o.handlePacket(kTouchMessage, subPacket(kGestureSubId, 1));
    EXPECT_GT(countColour(o.drawingArea()->surface(), kGestureOrange.rgb()), 100);
    o.handlePacket(kTouchMessage, subPacket(kGestureSubId, 0));
    EXPECT_EQ(countColour(o.drawingArea()->surface(), kGestureOrange.rgb()), 0);
}

// ---- Reports handled by the page ------------------------------------------------------

TEST_F(DrawPageTest, ReportsCountOnlyOnTheActivePageAndOnlyForTheirSlots) {
    open("osprey:finger=0", 4);
    auto& p = makePage<CRawPointDlg>();
    stopStream();
    state.activePage = kRawDataPage;
    p.handlePacket(kTouchMessage, singleContact(1, true, 100, 100));
    EXPECT_TRUE(p.contacts().at(1).current.empty());
    state.activePage = kDrawTestPages;
    p.handlePacket(kStreamMessage, singleContact(1, true, 100, 100));  // not the touch message
    EXPECT_TRUE(p.contacts().at(1).current.empty());
    p.handlePacket(kTouchMessage, singleContact(1, true, 100, 100));
    EXPECT_EQ(p.contacts().at(1).current.x, 100);

    // A count of 200 records reads the five that fit; ids 12 and above,
    // and negative ones, are skipped.
    const VexPacket many = multiContact({{2, true, 10, 10, 1, 0}, {12, true, 20, 20, 1, 0},
                                         {-1, true, 30, 30, 1, 0}, {3, true, 40, 40, 1, 0},
                                         {11, true, 50, 50, 1, 0}},
                                        200);
    p.handlePacket(kTouchMessage, many);
    EXPECT_EQ(p.contacts().at(2).current.x, 10);
    EXPECT_EQ(p.contacts().at(3).current.x, 40);
    EXPECT_EQ(p.contacts().at(11).current.x, 50);

    open("heron:finger=0", 6);
    auto& f = makePage<CFinchRawPointDlg>();
    stopStream();
    f.handlePacket(kTouchMessage, multiContact({{31, true, 7, 7, 1, 0}, {32, true, 8, 8, 1, 0},
                                                {-5, true, 9, 9, 1, 0}, {0, true, 6, 6, 1, 0},
                                                {2, true, 4, 4, 1, 0}},
                                               255));
    EXPECT_EQ(f.contacts().at(31).current.x, 7);
    EXPECT_EQ(f.contacts().at(0).current.x, 6);
    EXPECT_EQ(f.contacts().at(2).current.x, 4);
    // The Finch page takes every sub id but keys and gestures as a touch report.
    VexPacket other = multiContact({{4, true, 5, 5, 1, 0}});
    other.bytes[3] = kSecondTouchSubId;
    f.handlePacket(kTouchMessage, other);
    EXPECT_EQ(f.contacts().at(4).current.x, 5);
}

TEST_F(DrawPageTest, RatesShowAfterJustOverASecondAndStayWhenAnIdStops) {
    host::testing::FakeClock clock;
    clock.setMs(50'000);
    open("osprey:finger=0", 4);
    auto& p = static_cast<CRawPointDlg&>(makePage<CRawPointDlg>());
    stopStream();
    for (int i = 1; i <= 126; ++i) {
        clock.advanceMs(8);
        p.handlePacket(kTouchMessage, singleContact(0, true, 100 + i, 200, 300, 5));
    }
    EXPECT_EQ(p.contacts().at(0).rate, 126);
    EXPECT_EQ(p.infoRows()[0], QStringLiteral("ID 0 : 126 Hz (  226,  200,  300 ) - 5, 11, 22"));
    clock.advanceMs(5000);
    p.handlePacket(kTouchMessage, singleContact(1, true, 1, 1));
    EXPECT_EQ(p.contacts().at(0).rate, 126);
    EXPECT_EQ(p.infoRows()[0], QStringLiteral("ID 0 : 126 Hz (  226,  200,  300 ) - 5, 11, 22"));
    p.handlePacket(kTouchMessage, singleContact(0, false, 226, 200, 0, 5));
    EXPECT_EQ(p.infoRows()[0], QStringLiteral("ID 0 : 0"));
}

// ---- Point logs --------------------------------------------------------------------------

TEST_F(DrawPageTest, DrawTestPointLogIsAppendedByteExact) {
    host::testing::FakeClock clock;
    clock.setLocalTime(QDateTime(QDate(2024, 5, 6), QTime(9, 5, 7)));
    open("osprey:finger=0", 4);
    auto& p = makePage<CRawPointDlg>();
    stopStream();
    p.handlePacket(kTouchMessage, singleContact(0, true, 1023, 2047, 300));  // before the start: not logged
    p.button(QStringLiteral("Start Log Point"))->click();
    EXPECT_FALSE(p.button(QStringLiteral("Start Log Point"))->isEnabled());
    EXPECT_TRUE(p.button(QStringLiteral("Stop Log Point"))->isEnabled());
    p.handlePacket(kTouchMessage, singleContact(0, true, 1023, 2047, 300));
    p.handlePacket(kTouchMessage, singleContact(11, false, 0, 5, 0));
    p.handlePacket(kTouchMessage, singleContact(12, true, 9, 9, 9));  // no slot: not logged
    p.handlePacket(kTouchMessage, multiContact({{3, true, -1, 4095, -2, 0}}));
    p.button(QStringLiteral("Stop Log Point"))->click();
    EXPECT_TRUE(p.button(QStringLiteral("Start Log Point"))->isEnabled());
    p.handlePacket(kTouchMessage, singleContact(0, true, 5, 5, 5));  // after the stop: not logged
    clock.setLocalTime(QDateTime(QDate(2024, 5, 6), QTime(23, 59, 59)));
    p.startLog();
    p.handlePacket(kTouchMessage, singleContact(1, true, 2047, 0, 65535));
    p.stopLog();
    EXPECT_EQ(readFile(path(pointLogFileName())),
              readFile(QStringLiteral(LUMORA_GOLDEN_DIR "/draw_test_pointlog.csv")));
}

TEST_F(DrawPageTest, FinchPointLogsAreAppendedByteExact) {
    host::testing::FakeClock clock;
    clock.setLocalTime(QDateTime(QDate(2024, 5, 6), QTime(9, 5, 7)));
    open("heron:finger=0", 6);
    auto& p = static_cast<CFinchRawPointDlg&>(makePage<CFinchRawPointDlg>());
    stopStream();
    p.button(QStringLiteral("Start Log"))->click();
    p.openFullScreen();
    FullScreenWindow* window = p.fullScreenWindow();
    ASSERT_NE(window, nullptr);
    // On a 1920 x 1080 screen the test line is y = 0.5625 x.
    window->resize(1920, 1080);
    ASSERT_TRUE(waitUntil([&] { return window->surface().size() == QSize(1920, 1080); }));
    ASSERT_FLOAT_EQ(p.testLine().g, 0.5625f);
    // The page and the window both receive the report, the page first.
    const VexPacket report = multiContact({{31, true, 2048, 1152, 170, 0}, {0, false, 0, 4095, 0, 0}});
    p.handlePacket(kTouchMessage, report);
    window->handlePacket(kTouchMessage, report);
    p.closeFullScreen();
    p.handlePacket(kTouchMessage, multiContact({{6, true, 1, 1, 1, 0}}));  // after the full screen: page only
    p.button(QStringLiteral("Stop Log"))->click();
    EXPECT_FALSE(p.fields().pointLogging);
    EXPECT_TRUE(p.button(QStringLiteral("Start Log"))->isEnabled());
    // A second round appends a new header and its lines to each file.
    clock.setLocalTime(QDateTime(QDate(2024, 5, 6), QTime(23, 59, 59)));
    p.startLog();
    p.handlePacket(kTouchMessage, multiContact({{5, true, -3, 100, 1, 0x10}}));
    p.stopLog();
    EXPECT_EQ(readFile(path(pointLogFileName())),
              readFile(QStringLiteral(LUMORA_GOLDEN_DIR "/finch_pointlog.csv")));
    EXPECT_EQ(readFile(path(fullScreenLogFileName())),
              readFile(QStringLiteral(LUMORA_GOLDEN_DIR "/finch_fullscreen_log.csv")));
}

// When "PCAP_POINTLOG.csv" cannot be opened, "PointLog_FullScreen.csv" is
// not touched; when only the second fails, the first is written.
TEST_F(DrawPageTest, AFailedStopLogSaysWhichFile) {
    open("heron", 6);
    auto& p = makePage<CFinchRawPointDlg>();
    stopStream();
    host::testing::RecordingMessages messages;
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(pointLogFileName()));  // a folder of that name: no file opens
    p.startLog();
    p.stopLog();
    expectOneMessage(messages, QStringLiteral(" Open Log file error ! "), QStringLiteral(" Error "));
    EXPECT_FALSE(QFile::exists(path(fullScreenLogFileName())));

    ASSERT_TRUE(QDir(m_dir.path()).rmdir(pointLogFileName()));
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(fullScreenLogFileName()));
    messages.clear();
    p.startLog();
    p.stopLog();
    expectOneMessage(messages, QStringLiteral(" Open Log file FullScreenerror ! "), QStringLiteral(" Error "));
    EXPECT_EQ(readFile(path(pointLogFileName())), pointLogHeader());
    closeAll();

    // "Draw Test": the text stays in memory until the next start replaces it.
    open("osprey:finger=0", 4);
    auto& o = static_cast<CRawPointDlg&>(makePage<CRawPointDlg>());
    stopStream();
    ASSERT_TRUE(QDir(m_dir.path()).rmdir(fullScreenLogFileName()));
    ASSERT_TRUE(QFile::remove(path(pointLogFileName())));
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(pointLogFileName()));
    messages.clear();
    o.startLog();
    o.handlePacket(kTouchMessage, singleContact(0, true, 1, 2, 3));
    o.stopLog();
    expectOneMessage(messages, QStringLiteral("Open Log file error!"), QStringLiteral("Error!"));
    EXPECT_TRUE(o.pointLog().endsWith(", 0, 1, 1, 2, 3\r\n"));
    o.startLog();
    EXPECT_EQ(o.pointLog(), pointLogHeader());
}

// ---- Full screen ------------------------------------------------------------------------

// Every way to close the window: Esc, f, the drawn "Quit" box and the
// place beside it by mouse, a lift inside "Quit", the end packet.
TEST_F(DrawPageTest, FullScreenOpensAndClosesEveryWay) {
    struct Way {
        const char* what;
        std::function<void(FullScreenWindow&)> close;
    };
    auto quitLift = [](int scale) {
        return [scale](FullScreenWindow& w) {
            const QRect quit = w.boxes().quit;
            const QPoint centre = quit.center();
            const int x = int((int64_t(centre.x()) * scale + w.width() - 1) / w.width());
            const int y = int((int64_t(centre.y()) * scale + w.height() - 1) / w.height());
            const VexPacket lift = scale == 2047 ? singleContact(0, false, x, y, 0)
                                                 : multiContact({{0, false, x, y, 0, 0}});
            w.handlePacket(kTouchMessage, lift);
        };
    };
    for (int type : {4, 6}) {
        SCOPED_TRACE(type);
        open(type == 4 ? "osprey:finger=0" : "heron:finger=0", uint8_t(type));
        if (type == 4) makePage<CRawPointDlg>(); else makePage<CFinchRawPointDlg>();
        stopStream();
        const Way ways[] = {
            {"Esc", [](FullScreenWindow& w) { sendKey(w, Qt::Key_Escape); }},
            {"f", [](FullScreenWindow& w) { sendKey(w, Qt::Key_F, QStringLiteral("f")); }},
            {"mouse in the drawn Quit box", [](FullScreenWindow& w) { releaseMouse(w, w.boxes().quit.center()); }},
            {"mouse at W-120", [](FullScreenWindow& w) { releaseMouse(w, QPoint(w.width() - 120, w.height() - 100)); }},
            {"lift inside Quit", quitLift(type == 4 ? 2047 : 4095)},
            {"end packet", [](FullScreenWindow& w) { w.handlePacket(kStreamMessage, endPacket()); }},
        };
        for (const Way& way : ways) {
            SCOPED_TRACE(way.what);
            host::testing::CapturedTrace trace;
            sendKey(*page, Qt::Key_F, QStringLiteral("f"));
            FullScreenWindow* window = page->fullScreenWindow();
            ASSERT_NE(window, nullptr);
            EXPECT_TRUE(window->isVisible());
            EXPECT_TRUE(window->isWindow());
            EXPECT_TRUE(window->windowFlags() & Qt::FramelessWindowHint);
            EXPECT_EQ(window->geometry(), page->screen()->geometry());
            EXPECT_TRUE(page->fields().fullScreen);
            EXPECT_FALSE(page->button(QStringLiteral("Full Screen"))->isEnabled());
            way.close(*window);
            EXPECT_TRUE(window->hasEnded());
            EXPECT_FALSE(window->isVisible());
            EXPECT_FALSE(page->fields().fullScreen);
            EXPECT_TRUE(page->button(QStringLiteral("Full Screen"))->isEnabled());
            EXPECT_TRUE(trace.contains(QStringLiteral(" DrawRawPointThread:ThreadExit\n")));
            EXPECT_EQ(page->fullScreenWindow(), nullptr);
            pump(20);  // the window is deleted later
        }
        // The right button does nothing on the Finch window; any button acts on the other.
        page->openFullScreen();
        releaseMouse(*page->fullScreenWindow(), page->fullScreenWindow()->boxes().quit.center(),
                     Qt::RightButton);
        EXPECT_EQ(page->fullScreenWindow() == nullptr, type == 4);
        page->closeFullScreen();
        EXPECT_TRUE(quitCodes.empty()) << "only the window ended";
        closeAll();
    }
}

TEST_F(DrawPageTest, FullScreenDrawsTracksAndCleansByBoxAndKey) {
    host::testing::FakeClock clock;  // no rate period ends on its own
    for (int type : {4, 6}) {
        SCOPED_TRACE(type);
        open(type == 4 ? "osprey:finger=0" : "heron:finger=0", uint8_t(type));
        auto& p = type == 4 ? static_cast<DrawTestPage&>(makePage<CRawPointDlg>())
                            : static_cast<DrawTestPage&>(makePage<CFinchRawPointDlg>());
        stopStream();
        p.openFullScreen();
        FullScreenWindow& w = *p.fullScreenWindow();
        const QImage pageBefore = p.drawingArea()->surface();
        auto touch = [&](bool down, int x, int y) {
            const VexPacket r = type == 4 ? singleContact(0, down, x, y) : multiContact({{0, down, x, y, 1, 0}});
            p.handlePacket(kTouchMessage, r);
            w.handlePacket(kTouchMessage, r);
        };
        const QRgb red = qRgb(255, 0, 0);
        touch(true, 500, 500);
        touch(true, 1500, 900);
        EXPECT_GT(countColour(w.surface(), red), 50) << "the track is drawn in the window";
        EXPECT_EQ(p.drawingArea()->surface(), pageBefore) << "and not on the page";
        EXPECT_EQ(p.contacts().at(0).rateCount, 2) << "the page still counts";

        // A lift inside "Clean" draws the grid again.
        const QPoint clean = w.boxes().clean.center();
        const int scale = type == 4 ? 2047 : 4095;
        touch(false, int((int64_t(clean.x()) * scale + w.width() - 1) / w.width()),
              int((int64_t(clean.y()) * scale + w.height() - 1) / w.height()));
        EXPECT_EQ(countColour(w.surface(), red), 0);
        EXPECT_FALSE(w.hasEnded());

        // So do space and a mouse release on "Clean" or the place of the other page's box.
        for (const std::function<void()>& cleanUp :
             {std::function<void()>([&] { sendKey(w, Qt::Key_Space, QStringLiteral(" ")); }),
              std::function<void()>([&] { releaseMouse(w, w.boxes().clean.center()); }),
              std::function<void()>([&] { releaseMouse(w, QPoint(120, w.height() - 100)); })}) {
            touch(true, 500, 500);
            touch(true, 1500, 900);
            ASSERT_GT(countColour(w.surface(), red), 50);
            cleanUp();
            EXPECT_EQ(countColour(w.surface(), red), 0);
        }
        // A gesture report shows in the window.
        w.handlePacket(kTouchMessage, subPacket(kGestureSubId, 1));
        EXPECT_GT(countColour(w.surface(), kGestureOrange.rgb()), 100);
        p.closeFullScreen();
        closeAll();
    }
}

// The window registers for itself: reports streamed by the controller reach it.
TEST_F(DrawPageTest, FullScreenWindowHasItsOwnRegistrations) {
    open("heron:touch=multi,contacts=3", 6);
    auto& p = makePage<CFinchRawPointDlg>();
    p.openFullScreen();
    FullScreenWindow& w = *p.fullScreenWindow();
    p.onHidden();  // the page's registrations end; the window's remain
    ASSERT_TRUE(waitUntil([&] { return countColour(w.surface(), qRgb(255, 0, 0)) > 20; }));
    // The end packet closes the window.
    ASSERT_TRUE(control::injectPacket(m_id, endPacket().bytes));
    ASSERT_TRUE(waitUntil([&] { return p.fullScreenWindow() == nullptr; }));
    EXPECT_TRUE(quitCodes.empty()) << "the hidden page does not take the packet";
}

// ---- Keys and the end of the program -------------------------------------------------------

TEST_F(DrawPageTest, PageKeysCleanOpenFullScreenAndEndTheProgram) {
    open("heron:finger=0", 6);
    auto& p = makePage<CFinchRawPointDlg>();
    stopStream();
    p.handlePacket(kTouchMessage, multiContact({{0, true, 100, 100, 1, 0}, {0, true, 3000, 3000, 1, 0}}));
    ASSERT_FALSE(p.contacts().at(0).current.empty());
    ASSERT_GT(countColour(p.drawingArea()->surface(), qRgb(255, 0, 0)), 50);
    p.gridDBox()->setText(QStringLiteral("abc"));
    sendKey(p, Qt::Key_Space, QStringLiteral(" "));
    EXPECT_TRUE(p.contacts().at(0).current.empty()) << "Clean resets the slots";
    EXPECT_EQ(countColour(p.drawingArea()->surface(), qRgb(255, 0, 0)), 0);
    EXPECT_EQ(p.fields().gridD, QStringLiteral("abc"));
    EXPECT_EQ(p.gridSettings().distance, 0.0);
    sendKey(p, Qt::Key_F, QStringLiteral("f"));
    ASSERT_NE(p.fullScreenWindow(), nullptr);
    p.closeFullScreen();
    sendKey(p, Qt::Key_Escape);
    EXPECT_EQ(quitCodes, std::vector<int>{0});
    EXPECT_NE(state.controller, 0u) << "Esc leaves the controller to the exit sequence";
}

TEST_F(DrawPageTest, EndPacketClosesTheControllerAndEndsTheProgram) {
    for (int type : {4, 6}) {
        SCOPED_TRACE(type);
        open(type == 4 ? "osprey" : "heron", uint8_t(type));
        if (type == 4) makePage<CRawPointDlg>(); else makePage<CFinchRawPointDlg>();
        page->openFullScreen();
        ASSERT_TRUE(control::injectPacket(m_id, endPacket().bytes));
        ASSERT_TRUE(waitUntil([&] { return !quitCodes.empty(); }));
        EXPECT_EQ(state.controller, 0u);
        EXPECT_EQ(quitCodes, std::vector<int>{0});
        EXPECT_EQ(page->fullScreenWindow(), nullptr);
        quitCodes.clear();
        closeAll();
    }
}

}  // namespace
}  // namespace lumora
