// Whole units through the tester's page, as an operator runs them: virtual
// units that stream for real, the page's buttons and Enter, and the result
// files, counters and panel that come out.
#include <gtest/gtest.h>

#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "tester/app/test_page.h"
#include "tests/tester/app/tester_fixture.h"

namespace lumora::tester {
namespace {

using test_support::TesterFixture;
using test_support::pump;
using test_support::waitUntil;

constexpr const char* kOspreyPlan =
    "[TestParameter]\r\nCaseName=Line1\r\n[DEFAULT]\r\nEnableTestResultFile=1\r\nRunADLevelTest=1\r\n"
    "RunADLevelTest2=1\r\nADLevelTestTime=2\r\nADLevelTest2Time=2\r\n";
constexpr const char* kConnectorPlan =
    "[TestParameter]\r\nCaseName=Line1\r\nConnectorMode=1\r\n[DEFAULT]\r\nEnableTestResultFile=1\r\n"
    "RunADLevelTest=1\r\n";

// Generous: a whole Osprey unit takes some four seconds of its own.
constexpr int kRunMs = 30000;

class TestRunTest : public TesterFixture {
protected:
    void TearDown() override {
        m_page.reset();
        TesterFixture::TearDown();
    }
    CTestPage& page() {
        if (!m_page) m_page = std::make_unique<CTestPage>(programDir());
        return *m_page;
    }
    // Plugs a unit and waits until the page has it.
    int connect(const std::string& entry) {
        page().initialise();
        const int id = plug(entry);
        EXPECT_TRUE(waitUntil([&] { return page().link().isOpen(); }));
        return id;
    }
    bool waitForFile(int timeoutMs = kRunMs) {
        return waitUntil([&] { return !page().sequence().lastResultFile().isEmpty(); }, timeoutMs);
    }
    // Where the file of the unit that started at `start` goes.
    QString expectedFolder(bool pass) const {
        const QDate day = m_page->sequence().results().startTime.date();
        return QDir(programDir()).filePath(QStringLiteral("Controller Log/%1/%2")
                                               .arg(day.toString("yyyy-MM-dd"), pass ? "OK" : "NG"));
    }
    QString label(const char* firstText) const {
        auto* l = qobject_cast<QLabel*>(m_page->findLabel(QString::fromLatin1(firstText)));
        return l ? l->text() : QStringLiteral("<no label>");
    }
    QString panelText() const { return statusPanelLook(m_page->statusPanelState()).text; }
    QByteArray lastFile() const {
        QFile f(m_page->sequence().lastResultFile());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    std::vector<std::string> operations(int id, const std::vector<std::string>& only) {
        return vexlink::control::operationsOf(vexlink::control::commandLog(id), only);
    }

    std::unique_ptr<CTestPage> m_page;
};

// A bare board passes the first stage; with its sensor attached it passes
// the second, and its file lands under OK with the counters updated.
TEST_F(TestRunTest, AGoodOspreyUnitIsFiledAsOK) {
    writePlan("LumoraPCBTester_Osprey.ini", kOspreyPlan);
    const int id = connect("osprey:panel=0");
    page().pcbT1Button()->click();
    ASSERT_TRUE(waitUntil([&] { return page().pcbT2Button()->isEnabled(); }, kRunMs))
        << page().run().runLog.toStdString();
    EXPECT_EQ(page().run().step, 4);
    EXPECT_EQ(page().sequence().results().items.imageX, "Pass");
    page().redrawStatusPanel();
    EXPECT_EQ(panelText(), "Wait T2 Test");

    ASSERT_TRUE(vexlink::control::setPanelAttached(id, true));
    page().pcbT2Button()->click();
    ASSERT_TRUE(waitForFile()) << page().run().runLog.toStdString();
    EXPECT_TRUE(page().sequence().lastResultFile().startsWith(expectedFolder(true) + "/OK-"));
    const QByteArray file = lastFile();
    EXPECT_TRUE(file.contains("LumoraPCBTester Auto Diag Result,PASS\r\n")) << file.toStdString();
    EXPECT_TRUE(file.contains("T2(Non-Short), PASS\r\n"));
    EXPECT_EQ(page().statusLineBox()->text(), "Test Pass!");
    EXPECT_EQ(label("Total Cnt: -"), "Total Cnt: 1");
    EXPECT_EQ(label("OK Cnt: -"), "OK Cnt: 1");
    EXPECT_EQ(label("NG Cnt: -"), "NG Cnt: 0");
    // The first unit's tact time is its own time.
    EXPECT_EQ(label("Tact Time: -").mid(5), label("Current Time: -").mid(8));
    page().redrawStatusPanel();
    EXPECT_EQ(panelText(), " PASS ");
    EXPECT_TRUE(page().pcbT1Button()->isEnabled());
    EXPECT_TRUE(operations(id, {"DevSetTestMode"}).empty());
    EXPECT_TRUE(m_messages.shown().empty());
}

TEST_F(TestRunTest, AShortedUnitIsFiledAsNG) {
    writePlan("LumoraPCBTester_Osprey.ini", kOspreyPlan);
    connect("osprey:panel=0,short=x3");
    page().pcbT1Button()->click();
    ASSERT_TRUE(waitForFile());
    EXPECT_TRUE(page().sequence().lastResultFile().startsWith(expectedFolder(false) + "/NG-"));
    EXPECT_TRUE(page().run().runLog.contains("T1-1 - X[004] :: X[005], Th:200, Result:3200, (X)\r\n"))
        << page().run().runLog.toStdString();
    EXPECT_TRUE(lastFile().contains("T1-1(Short), FAIL\r\n"));
    EXPECT_EQ(label("NG Cnt: -"), "NG Cnt: 1");
    page().redrawStatusPanel();
    EXPECT_EQ(panelText(), " FAIL ");
}

// A unit that never sends its AD levels is ended by the step's time-out.
TEST_F(TestRunTest, AUnitThatNeverSendsItsADLevelsTimesOut) {
    writePlan("LumoraPCBTester_Osprey.ini", kOspreyPlan);
    connect("osprey:panel=0,mute=4F");
    page().pcbT1Button()->click();
    ASSERT_TRUE(waitForFile());
    const QByteArray file = lastFile();
    EXPECT_TRUE(file.contains("T1-2(AD Level),TIME_OUT\r\n")) << file.toStdString();
    EXPECT_TRUE(file.contains(",FAIL,TIME_OUT\r\n"));
    EXPECT_EQ(label("NG Cnt: -"), "NG Cnt: 1");
}

// Pulled in the middle of a step: the run ends with the connection, no
// file is written and nothing waits for the unit any more.
TEST_F(TestRunTest, AUnitPulledMidRunLeavesNoFile) {
    writePlan("LumoraPCBTester_Osprey.ini",
              "[DEFAULT]\r\nEnableTestResultFile=1\r\nRunADLevelTest=1\r\nADLevelTestTime=2\r\n");
    const int id = connect("osprey:panel=0,mute=4F");
    page().pcbT1Button()->click();
    ASSERT_TRUE(waitUntil([&] { return page().run().step == 2; }, kRunMs));
    ASSERT_TRUE(vexlink::control::unplug(id));
    ASSERT_TRUE(waitUntil([&] { return !page().link().isOpen(); }));
    EXPECT_FALSE(page().run().runInProgress);
    EXPECT_FALSE(page().run().busy);
    pump(4000);  // past the step's time-out
    EXPECT_TRUE(page().sequence().lastResultFile().isEmpty());
    EXPECT_FALSE(page().sequence().stepTimerActive());
    EXPECT_FALSE(QDir(programDir()).exists("Controller Log"));
    page().redrawStatusPanel();
    EXPECT_EQ(panelText(), " NO LINK ");
    EXPECT_TRUE(m_messages.shown().empty());
}

// The case section "PCB T1" chose stays for the next unit: its first
// reading of the plan already uses [USB].
TEST_F(TestRunTest, TheCaseChosenByPcbT1HoldsForTheNextUnit) {
    writePlan("LumoraPCBTester_Osprey.ini",
              "[DEFAULT]\r\nPCBTestMode=0\r\n[USB]\r\nPCBTestMode=1\r\nFailStop=0\r\n");
    int id = connect("osprey:panel=0,short=x1");
    EXPECT_FALSE(page().pcbT2Button()->isEnabled());
    page().pcbT1Button()->click();
    ASSERT_TRUE(waitForFile());
    EXPECT_EQ(page().config().caseName(), "USB");

    ASSERT_TRUE(vexlink::control::unplug(id));
    ASSERT_TRUE(waitUntil([&] { return !page().link().isOpen(); }));
    id = plug("osprey");
    ASSERT_TRUE(waitUntil([&] { return page().link().isOpen(); }));
    EXPECT_TRUE(page().pcbT2Button()->isEnabled());
}

struct ConnectorCase {
    const char* what;
    const char* entry;
    bool pass;
};

class ConnectorRun : public TestRunTest, public ::testing::WithParamInterface<ConnectorCase> {};

// "Start Test" (Enter) names the unit ZEMA; the connector levels rise when
// the sensor is attached between the stages, except on an open channel.
TEST_P(ConnectorRun, StartTestThenBothStages) {
    writePlan("LumoraPCBTester_Osprey.ini", kConnectorPlan);
    const int id = connect(GetParam().entry);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(&page(), &enter);
    EXPECT_EQ(page().sequence().results().barcode, "ZEMA");
    EXPECT_EQ(page().sequence().counters().total, 1);

    page().pcbT1Button()->click();
    ASSERT_TRUE(waitUntil([&] { return page().run().step == 2 && page().pcbT2Button()->isEnabled(); },
                          kRunMs))
        << page().run().runLog.toStdString();
    ASSERT_TRUE(vexlink::control::setPanelAttached(id, true));
    page().pcbT2Button()->click();
    ASSERT_TRUE(waitForFile()) << page().run().runLog.toStdString();
    const bool pass = GetParam().pass;
    EXPECT_TRUE(page().sequence().lastResultFile().startsWith(expectedFolder(pass) +
                                                             (pass ? "/OK-ZEMA-" : "/NG-ZEMA-")));
    EXPECT_TRUE(lastFile().contains(pass ? "T2(Connector Test 2), PASS\r\n" : "T2(Connector Test 2), FAIL\r\n"));
    EXPECT_EQ(operations(id, {"SetReportId"}).size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Table, ConnectorRun,
                         ::testing::Values(ConnectorCase{"good", "osprey:panel=0", true},
                                           ConnectorCase{"open_channel", "osprey:panel=0,open=x2", false}),
                         [](const ::testing::TestParamInfo<ConnectorCase>& info) {
                             return std::string(info.param.what);
                         });

TEST_F(TestRunTest, AGoodHeronUnitRunsInTestModeAndGetsTouchBack) {
    writePlan("LumoraPCBTester_Heron.ini", "[DEFAULT]\r\nEnableTestResultFile=1\r\n");
    const int id = connect("heron");
    page().pcbT1Button()->click();
    ASSERT_TRUE(waitUntil([&] { return page().pcbT2Button()->isEnabled(); }, kRunMs));
    vexlink::control::DeviceStatus status;
    ASSERT_TRUE(vexlink::control::status(id, &status));
    EXPECT_TRUE(status.testMode);
    page().pcbT2Button()->click();
    ASSERT_TRUE(waitForFile());
    EXPECT_TRUE(page().sequence().lastResultFile().startsWith(expectedFolder(true) + "/OK-"));
    EXPECT_TRUE(lastFile().contains("TEST 2, PASS\r\n"));
    ASSERT_TRUE(vexlink::control::status(id, &status));
    EXPECT_FALSE(status.testMode);
    EXPECT_EQ(operations(id, {"DevSetTestMode", "DevDACCalibration", "DevResetController", "DevSetOption"}),
              (std::vector<std::string>{"DevSetTestMode", "DevDACCalibration", "DevResetController",
                                        "DevSetTestMode", "DevSetOption"}));
}

}  // namespace
}  // namespace lumora::tester
