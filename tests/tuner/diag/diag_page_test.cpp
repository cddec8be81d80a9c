// The "Diagnostic" page against virtual controllers of both classes: its
// registrations, the test starts as the controller receives them, the
// result listings of injected panel faults, the buttons, the graphs and the
// controller going away.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <array>
#include <functional>
#include <memory>
#include <set>

#include "device/packet.h"
#include "device/vexlink.h"
#include "host/packet_window.h"
#include "host/testing/doubles.h"
#include "tests/support/test_support.h"
#include "tuner/app/device_state.h"
#include "tuner/diag/diag_graph.h"
#include "tuner/diag/diag_page.h"
#include "tuner/kestrel/kestrel_source.h"
#include "vexlink/virtual/control.h"

namespace lumora {
namespace {

namespace control = vexlink::control;
using namespace diag;

using lumora::test_support::waitUntil;

class FakeKestrel final : public KestrelParamSource {
public:
    int index = 2;
    std::array<int, kFreqRecordCount> touch{30, 35, 45, 50, 55};
    int currentFreqIndex() const override { return index; }
    int touchThreshold(int n) const override { return n >= 0 && n < kFreqRecordCount ? touch[size_t(n)] : 0; }
    int waterThreshold(int) const override { return 0; }
    int chkStrayTh() const override { return 0; }
    int chkStrayThWater() const override { return 0; }
};

class DiagPageTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        test_support::app();
        host::installGuiDispatcher();
    }

    void open(const std::string& devices, uint8_t typeCode) {
        const auto device = test_support::openOnlyDevice(devices);
        ASSERT_NE(device.handle, 0u) << device.error;
        m_id = device.id;
        state.controller = device.handle;
        state.typeCode = typeCode;
    }

    void TearDown() override {
        if (page) {
            page->onHidden();
            page->onDestroyed();
        }
        page.reset();
        if (state.controller) CloseHIDDevice(state.controller);
        control::configure("");
    }

    // The sheet's order when the tab is first chosen.
    CDiagPage& makePage() {
        page = std::make_unique<CDiagPage>(state);
        QObject::connect(page.get(), &TunerPage::quitRequested, [this](int code) { quitCodes.push_back(code); });
        page->resize(1200, 720);
        page->show();
        page->onCreated();
        page->onActivated();
        page->onShown();
        return *page;
    }

    QPushButton* button(const QString& caption) {
        for (QPushButton* b : page->findChildren<QPushButton*>())
            if (b->text() == caption) return b;
        ADD_FAILURE() << "no button " << caption.toStdString();
        return nullptr;
    }
    QLineEdit* field(int row) {
        // The four fields in the order of their captions: Open, Short, Mutual, ADLevel Th.
        std::vector<QLineEdit*> boxes;
        for (QLineEdit* f : page->findChildren<QLineEdit*>())
            if (f->validator()) boxes.push_back(f);
        return row < int(boxes.size()) ? boxes[size_t(row)] : nullptr;
    }
    void click(const QString& caption) {
        QPushButton* b = button(caption);
        ASSERT_TRUE(b);
        b->click();
    }
    QRadioButton* radio(const QString& caption) {
        for (QRadioButton* r : page->findChildren<QRadioButton*>())
            if (r->text() == caption) return r;
        return nullptr;
    }

    std::vector<control::CommandRecord> starts(const std::string& operation) {
        return control::recordsOf(control::commandLog(m_id), operation);
    }
    // The start's arguments: selection, then the four thresholds.
    static std::array<int32_t, 5> argsOf(const control::CommandRecord& r) {
        return {r.u8(0), int32_t(r.u32(1)), int32_t(r.u32(5)), int32_t(r.u32(9)), int32_t(r.u32(13))};
    }

    bool waitForText(const char* finishLine) {
        return waitUntil([&] { return page->model().resultText().contains(QLatin1String(finishLine)); });
    }
    QString text() const { return page->model().resultText(); }
    QString boxText() const { return page->resultBox()->toPlainText(); }

    // Whether the four test buttons are enabled (Open, Short, Mutual, ADLevel).
    std::array<bool, 4> testButtons() {
        return {button("Open Test")->isEnabled(), button("Short Test")->isEnabled(),
                button("Mutual Test")->isEnabled(), button("ADLevel Test")->isEnabled()};
    }

    DeviceState state;
    int m_id = 0;
    std::unique_ptr<CDiagPage> page;
    std::vector<int> quitCodes;
};

using Enabled = std::array<bool, 4>;

TEST_F(DiagPageTest, ShowingRegistersAndFetchesCountsHidingUndoesIt) {
    open("osprey", 4);
    control::clearCommandLog(m_id);
    auto& p = makePage();
    EXPECT_EQ(control::operationsOf(control::commandLog(m_id)),
              (std::vector<std::string>{"PCAPStopGetData", "PCAPGetRawPoint"}));
    EXPECT_EQ(p.xCount(), 40);
    EXPECT_EQ(p.yCount(), 30);
    control::DeviceStatus st;
    ASSERT_TRUE(control::status(m_id, &st));
    EXPECT_EQ(st.stream, 2) << "the raw-point stream runs";
    const std::set<VexRegistration> distinct(p.tokens().begin(), p.tokens().end());
    EXPECT_EQ(distinct.size(), 10u);
    EXPECT_FALSE(distinct.count(0));
    EXPECT_TRUE(p.graphTimerActive());
    EXPECT_EQ(p.settings().selection, kShowAll);
    EXPECT_TRUE(radio("Show All")->isChecked());
    EXPECT_EQ(field(0)->text(), QStringLiteral("200"));
    EXPECT_EQ(field(3)->text(), QStringLiteral("1700"));

    p.onHidden();
    for (VexRegistration t : p.tokens()) EXPECT_EQ(t, 0u);
    EXPECT_FALSE(p.graphTimerActive());
    // A test that runs now reports to nobody on this page.
    bool done = false;
    const VexRegistration own = PCAPSetOpenDoneCallback(
        state.controller, &done, [](void* c, int, const uint8_t*) { *static_cast<bool*>(c) = true; });
    ASSERT_NE(PCAPStartOpenTest(state.controller, 1, 200, 200, 0, 0), 0);
    ASSERT_TRUE(waitUntil([&] { return done; }));
    QCoreApplication::processEvents();
    EXPECT_TRUE(p.model().items(ItemList::Open).empty());
    EXPECT_TRUE(text().isEmpty());
    DevUnregisterPacket(state.controller, own);

    // Shown again, the page hears its tests once more.
    p.onShown();
    EXPECT_NE(p.tokens()[6], 0u);
    click("Open Test");
    EXPECT_TRUE(waitForText("Open Test Finish!\r\n"));
}

TEST_F(DiagPageTest, OspreyOpenTestListsTheOpenChannelAndDrawsIt) {
    open("osprey:open=x3,short=y5", 4);
    auto& p = makePage();
    field(0)->setText(QString());  // an empty field keeps its value
    control::clearCommandLog(m_id);
    click("Open Test");
    EXPECT_EQ(testButtons(), (Enabled{false, false, false, false}));
    const auto sent = starts("PCAPStartOpenTest");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(argsOf(sent[0]), (std::array<int32_t, 5>{1, 200, 200, 0, 0}));
    EXPECT_EQ(field(0)->text(), QStringLiteral("200"));

    ASSERT_TRUE(waitForText("Open Test Finish!\r\n"));
    EXPECT_TRUE(text().startsWith(QStringLiteral("Open : X[001] = 0860, LTh: 200, Pass\r\n")));
    EXPECT_TRUE(text().contains(QStringLiteral("Open : X[004] = 0035, LTh: 200, Fail\r\n")));
    EXPECT_TRUE(text().contains(QStringLiteral("Open : Y[001] = 0720, LTh: 200, Pass\r\n")));
    EXPECT_TRUE(text().endsWith(QStringLiteral("Controller Result: 0\r\nOpen Test Finish!\r\n")));
    EXPECT_EQ(text().count(QStringLiteral("\r\n")), 40 + 30 + 2);
    EXPECT_TRUE(boxText().contains(QStringLiteral("Open : X[004] = 0035, LTh: 200, Fail\n")));
    EXPECT_EQ(testButtons(), (Enabled{true, true, true, true}));
    EXPECT_EQ(p.model().openSeries().x[3], 35);
    EXPECT_EQ(p.model().openSeries().y[0], 720);

    // The next redraw shows the dip of channel 3 in the X graph: the curve
    // reaches the value 35 at x(4).
    const int w = p.xGraph()->areaSize().width(), h = p.xGraph()->areaSize().height();
    ASSERT_GT(w, 100);
    const int scale = diagGraphScale(p.model().openSeries().x, 40);
    const int x4 = 4 * w / 40;
    const int expectedY = diagValueY(35, h, scale);
    EXPECT_TRUE(waitUntil([&] {
        const QImage& im = p.xGraph()->picture();
        if (im.width() != w) return false;
        for (int y = expectedY - 2; y <= expectedY + 2; ++y)
            if (y >= 0 && y < im.height() && im.pixel(x4, y) == kDiagGreen) return true;
        return false;
    })) << "no dip at x(4) near row " << expectedY;
}

TEST_F(DiagPageTest, ShortTestStartsAfterItsWaitWithTheTypedThreshold) {
    open("osprey:open=x3,short=y5", 4);
    makePage();
    field(1)->setText(QStringLiteral("700"));
    control::clearCommandLog(m_id);
    click("Short Test");
    EXPECT_TRUE(starts("PCAPStartShortTest").empty()) << "the start waits 500 ms";
    EXPECT_EQ(testButtons(), (Enabled{false, false, false, false}));
    ASSERT_TRUE(waitUntil([&] { return !starts("PCAPStartShortTest").empty(); }));
    EXPECT_EQ(argsOf(starts("PCAPStartShortTest")[0]), (std::array<int32_t, 5>{1, 700, 700, 0, 0}));
    ASSERT_TRUE(waitForText("Short Test Finish!\r\n"));
    EXPECT_TRUE(text().contains(QStringLiteral("Short : Y[006] - Y[007] : R: 0 - 700, V: 3200, Fail\r\n")));
    EXPECT_TRUE(text().contains(QStringLiteral("Short : X[001] - X[002] : R: 0 - 700, V: 0480, Pass\r\n")));
    EXPECT_EQ(text().count(QStringLiteral("Short : ")), 39 + 29);
    EXPECT_EQ(page->model().openSeries().x[0], 0) << "only the open test writes the series";
}

TEST_F(DiagPageTest, MutualTestListsTheTableAfterTheFinishAndLeavesADLevelDisabled) {
    open("osprey:x=6,y=4,open=y1", 4);
    makePage();
    control::clearCommandLog(m_id);
    click("Mutual Test");
    ASSERT_EQ(starts("PCAPStartMutualTest").size(), 1u);
    EXPECT_EQ(argsOf(starts("PCAPStartMutualTest")[0]), (std::array<int32_t, 5>{1, 2500, 2500, 0, 0}));
    ASSERT_TRUE(waitForText("UTable : Threshold:"));
    EXPECT_TRUE(text().startsWith(QStringLiteral("Mutual : X[001] - Y[001] : V: 3100, Pass\r\n"
                                                 "Mutual : X[001] - Y[002] : V: 0151, Fail\r\n")));
    EXPECT_TRUE(text().contains(QStringLiteral("Controller Result: 0\r\nMutual Test Finish!\r\nUTable : Freq:  V: ")));
    EXPECT_TRUE(text().endsWith(QStringLiteral("UTable : ValidCnt:  V: 18\r\nUTable : Offset:  V: 512\r\n"
                                               "UTable : Threshold:  V: 2500\r\n")));
    EXPECT_EQ(testButtons(), (Enabled{true, true, true, false}));

    // "Clean Screen" brings "ADLevel Test" back and empties the stored text;
    // the box keeps showing the listing.
    click("Clean Screen");
    EXPECT_EQ(testButtons(), (Enabled{true, true, true, true}));
    EXPECT_TRUE(text().isEmpty());
    EXPECT_TRUE(boxText().contains(QStringLiteral("Mutual Test Finish!")));
}

TEST_F(DiagPageTest, ADLevelTestFailOnlyListsTheShortedChannelsInTheADView) {
    open("osprey:short=x8", 4);
    auto& p = makePage();
    click("Open Test");
    ASSERT_TRUE(waitForText("Open Test Finish!"));
    radio("Show Fail Only")->click();
    control::clearCommandLog(m_id);
    click("ADLevel Test");
    EXPECT_EQ(p.model().view(), kADView);
    ASSERT_EQ(starts("PCAPStartADLevelTest").size(), 1u);
    EXPECT_EQ(argsOf(starts("PCAPStartADLevelTest")[0]), (std::array<int32_t, 5>{0, 1700, 1700, 0, 0}));
    ASSERT_TRUE(waitForText("ADLevel Test Finish!"));
    EXPECT_EQ(text(), QStringLiteral("ADLevel : X[009]  R: 0 - 1700, V: 2400, Fail\r\n"
                                     "ADLevel : X[010]  R: 0 - 1700, V: 2405, Fail\r\n"
                                     "Controller Result: 0\r\nADLevel Test Finish!\r\n"));

    // The AD view draws the series nothing writes, though the open values
    // are there: flat, with the reference line at 200.
    const int h = p.xGraph()->areaSize().height();
    const int refY = diagValueY(200, h, 255);
    const int y0 = diagBaseline(h);
    ASSERT_TRUE(waitUntil([&] {
        const QImage& im = p.xGraph()->picture();
        return im.height() == h && im.pixel(im.width() / 2, refY) == kDiagTeal;
    }));
    const QImage im = p.xGraph()->picture();
    for (int y = 0; y < y0 - 1; ++y)
        for (int x = 0; x < im.width(); ++x)
            ASSERT_NE(im.pixel(x, y), kDiagGreen) << x << "," << y;
    EXPECT_NE(p.model().openSeries().x[0], 0);

    // "Open Test" switches back to the open view; fail-only on a pass is
    // the one-line summary.
    click("Open Test");
    EXPECT_EQ(p.model().view(), kOpenView);
    ASSERT_TRUE(waitUntil([&] { return text() == QStringLiteral("Open Test Pass!\r\n"); }));
    EXPECT_EQ(boxText(), QStringLiteral("Open Test Pass!\n"));
}

TEST_F(DiagPageTest, HeronPassesLowerAndUpperOpenLimitsAndTheKestrelRxThreshold) {
    open("heron:open=x5,short=x2", 6);
    FakeKestrel kestrel;
    state.kestrel = &kestrel;
    auto& p = makePage();
    EXPECT_EQ(p.flavour(), Flavour::Heron);
    EXPECT_EQ(p.xCount(), 36);
    EXPECT_EQ(p.yCount(), 22);

    control::clearCommandLog(m_id);
    click("Open Test");
    EXPECT_EQ(argsOf(starts("PCAPStartOpenTest").at(0)), (std::array<int32_t, 5>{1, 50, 50, 200, 200}));
    ASSERT_TRUE(waitForText("Open Test Finish!"));
    EXPECT_TRUE(text().contains(QStringLiteral("Open : Tx[006] = 2600, LTh: 50, UTh: 200, Fail\r\n")));
    EXPECT_TRUE(text().contains(QStringLiteral("Open : Rx[001] = 3900, LTh: 50, UTh: 200, Pass\r\n")));

    click("Short Test");
    ASSERT_TRUE(waitForText("Short Test Finish!"));
    EXPECT_EQ(argsOf(starts("PCAPStartShortTest").at(0)), (std::array<int32_t, 5>{1, 0, 0, 100, 45}));
    EXPECT_TRUE(text().contains(QStringLiteral("Short : Tx[003] - Tx[004] : Tx Th: 100, V: 0030, Fail\r\n")));
    EXPECT_TRUE(text().contains(QStringLiteral("Short : Rx[001] - Rx[002] : Rx Th: 45, V: 3700, Pass\r\n")));

    // Without the Kestrel page the Rx threshold reads 0.
    state.kestrel = nullptr;
    control::clearCommandLog(m_id);
    click("Short Test");
    ASSERT_TRUE(waitForText("Short Test Finish!"));
    EXPECT_EQ(argsOf(starts("PCAPStartShortTest").at(0))[4], 0);
    EXPECT_TRUE(text().contains(QStringLiteral("Short : Rx[001] - Rx[002] : Rx Th: 0, V: 3700, Pass\r\n")));

    click("Mutual Test");
    ASSERT_TRUE(waitForText("Mutual Test Finish!"));
    EXPECT_TRUE(text().startsWith(QStringLiteral("Mutual : Tx[001] - Rx[001] : V: 3100, Pass\r\n")));
    EXPECT_TRUE(text().contains(QStringLiteral("Mutual : SysStray - Rx[001] : V: 0")));
    EXPECT_TRUE(text().contains(QStringLiteral("Mutual : ICStray - Rx[001] : V: 0125, Pass\r\n")));
    EXPECT_TRUE(text().contains(QStringLiteral("Mutual : Tx[006] - Rx[001] : V: 01")));
}

// Final records whose overall result is -1, injected as the controller
// would send them: "Show All" prints -1, "Show Fail Only" counts it a pass.
TEST_F(DiagPageTest, OverallResultOfMinusOne) {
    open("osprey", 4);
    makePage();
    VexPacket done{};
    done.bytes[2] = 0xA6;           // test record
    done.bytes[3] = 0x80 | 4;       // final result of the AD level test
    done.bytes[4] = 0xFF;           // -1
    ASSERT_TRUE(control::injectPacket(m_id, done.bytes));
    ASSERT_TRUE(waitForText("ADLevel Test Finish!"));
    EXPECT_EQ(text(), QStringLiteral("Controller Result: -1\r\nADLevel Test Finish!\r\n"));

    radio("Show Fail Only")->click();
    click("Clean Screen");
    click("Open Test");  // reads the selection
    ASSERT_TRUE(waitForText("Open Test Pass!"));
    done.bytes[3] = 0x80 | 1;
    ASSERT_TRUE(control::injectPacket(m_id, done.bytes));
    ASSERT_TRUE(waitUntil([&] { return text() == QStringLiteral("Short Test Pass!\r\n"); }));
}

TEST_F(DiagPageTest, EndPacketClosesTheControllerAndEndsTheProgram) {
    open("osprey", 4);
    host::testing::CapturedTrace trace;
    makePage();
    VexPacket other{};
    other.bytes[2] = 59;
    other.bytes[3] = 0x70;
    ASSERT_TRUE(control::injectPacket(m_id, other.bytes));
    ASSERT_TRUE(waitUntil([&] { return trace.contains(QStringLiteral("CPCAP_MonitorDlg : OnPCAP proc\n")); }));
    EXPECT_TRUE(quitCodes.empty());
    EXPECT_NE(state.controller, 0u);

    ASSERT_TRUE(control::injectPacket(m_id, test_support::endPacket(59).bytes));
    ASSERT_TRUE(waitUntil([&] { return !quitCodes.empty(); }));
    EXPECT_EQ(quitCodes, std::vector<int>{0});
    EXPECT_EQ(state.controller, 0u);
    control::DeviceStatus st;
    ASSERT_TRUE(control::status(m_id, &st));
    EXPECT_EQ(st.connections, 0) << "the handle was closed";
    // Hiding afterwards gives the tokens back without a device.
    page->onHidden();
    for (VexRegistration t : page->tokens()) EXPECT_EQ(t, 0u);
}

TEST_F(DiagPageTest, WithoutADeviceNothingIsRegisteredAndGraphsStayEmpty) {
    state.controller = 0;
    state.typeCode = 4;
    auto& p = makePage();
    for (VexRegistration t : p.tokens()) EXPECT_EQ(t, 0u);
    EXPECT_EQ(p.xCount(), 0);
    EXPECT_EQ(p.yCount(), 0);
    ASSERT_TRUE(waitUntil([&] { return !p.xGraph()->picture().isNull(); }));
    const QImage& im = p.xGraph()->picture();
    for (int y = 0; y < im.height(); ++y)
        for (int x = 0; x < im.width(); ++x) ASSERT_NE(im.pixel(x, y), kDiagRed);
    // A start goes nowhere and leaves the buttons disabled until "Clean Screen".
    click("Open Test");
    EXPECT_EQ(testButtons(), (Enabled{false, false, false, false}));
    click("Clean Screen");
    EXPECT_EQ(testButtons(), (Enabled{true, true, true, true}));
}

}  // namespace
}  // namespace lumora
