// The tester's window offscreen: the page against virtual controllers, and
// the application object with its exit codes.
#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include <unistd.h>

#include "host/single_instance.h"
#include "tester/app/my_sheet.h"
#include "tester/app/test_page.h"
#include "tester/app/tester_app.h"
#include "tests/tester/app/tester_fixture.h"

namespace lumora::tester {
namespace {

using test_support::TesterFixture;
using test_support::pump;
using test_support::waitUntil;

const QColor kBlue(0, 0, 255), kRed(255, 0, 0);

class TestPageTest : public TesterFixture {
protected:
    void TearDown() override {
        m_page.reset();
        TesterFixture::TearDown();
    }
    CTestPage& page() {
        if (!m_page) m_page = std::make_unique<CTestPage>(programDir());
        return *m_page;
    }
    QString panelText() { return statusPanelLook(page().statusPanelState()).text; }
    QColor panelColour() { return page().statusPanelImage().pixelColor(3, 3); }

    std::unique_ptr<CTestPage> m_page;
};

TEST_F(TestPageTest, StartsWithItsTextsAndNoLink) {
    page().initialise();
    EXPECT_EQ(page().title(), " LumoraPCBTester v2.3.2.6 for ZEMA-Demo (No Link)");
    for (const char* text : {"Total Cnt: -", "OK Cnt: -", "NG Cnt: -", "Totle Time: -",
                             "Current Time: -", "Tact Time: -", "> > >"})
        EXPECT_NE(page().findLabel(text), nullptr) << text;
    EXPECT_EQ(page().pcbT1Button()->text(), "PCB T1");
    EXPECT_EQ(page().pcbT2Button()->text(), "PCB T2");
    EXPECT_FALSE(page().pcbT1Button()->isEnabled());
    EXPECT_FALSE(page().pcbT2Button()->isEnabled());
    EXPECT_TRUE(page().runLogBox()->isReadOnly());
    EXPECT_TRUE(page().statusLineBox()->isReadOnly());
    EXPECT_EQ(panelText(), " NO LINK ");
    EXPECT_EQ(panelColour(), kRed);
}

TEST_F(TestPageTest, PlugConnectsAndUnplugLetsGo) {
    page().initialise();
    const int id = plug("osprey");
    ASSERT_TRUE(waitUntil([&] { return page().link().isOpen(); }));
    EXPECT_EQ(page().title(),
              " LumoraPCBTester v2.3.2.6 for ZEMA-Line1 (M:ZT-4030, V:4.2.17, X:40, Y:30, USB)");
    EXPECT_TRUE(page().pcbT1Button()->isEnabled());
    EXPECT_TRUE(page().pcbT2Button()->isEnabled());  // PCBTestMode=1
    // The panel is redrawn by its 200 ms timer.
    EXPECT_TRUE(waitUntil([&] { return panelColour() == kBlue; }, 1000));
    EXPECT_EQ(panelText(), "Wait T1 Test");

    ASSERT_TRUE(vexlink::control::unplug(id));
    ASSERT_TRUE(waitUntil([&] { return !page().link().isOpen(); }));
    EXPECT_EQ(page().title(), "LumoraPCBTester v2.3.2.6 for  (No Link)");
    EXPECT_FALSE(page().pcbT1Button()->isEnabled());
    EXPECT_FALSE(page().pcbT2Button()->isEnabled());
    EXPECT_EQ(page().statusLineBox()->text(), "-");
    EXPECT_TRUE(waitUntil([&] { return panelColour() == kRed; }, 1000));
    EXPECT_EQ(panelText(), " NO LINK ");
    EXPECT_TRUE(m_messages.shown().empty());
}

TEST_F(TestPageTest, AUnitOfAnotherCollectionIsFoundByThePoll) {
    page().initialise();
    // Found by the id-pair search of the poll; no arrival is taken for it.
    plug("osprey:vid=0x20AC,pid=0x0E01");
    pump(300);
    EXPECT_FALSE(page().link().isOpen());
    page().pollNow();
    EXPECT_TRUE(page().link().isOpen());
    EXPECT_TRUE(page().title().contains("(M:ZT-4030, V:4.2.17, X:40, Y:30, USB)"));
}

TEST_F(TestPageTest, AUnitPresentAtStartIsConnectedByTheInitialisation) {
    writePlan("LumoraPCBTester_Heron.ini",
              "[TestParameter]\r\nDisableTouchWhenTesting=1\r\n[DEFAULT]\r\nDeviceInterface=1\r\n");
    plug("heron");
    page().initialise();
    EXPECT_TRUE(page().link().isOpen());
    EXPECT_EQ(page().title(),
              " LumoraPCBTester v2.3.2.6 for ZEMA-Demo (M:ZH-6022, V:6.0.42, X:36, Y:22, UART)");
    EXPECT_EQ(page().config().plan().DisableTouchWhenTesting, 1);
    EXPECT_FALSE(page().pcbT2Button()->isEnabled());
}

TEST_F(TestPageTest, TheCountdownAfterAPollConnectionAndEnterAskForStartTest) {
    writePlan("LumoraPCBTester_Osprey.ini",
              "[TestParameter]\r\nAutoRun=1\r\nCountDownTimer=1\r\n[DEFAULT]\r\nFailStop=0\r\n");
    int startTests = 0;
    QObject::connect(&page(), &CTestPage::startTestRequested, [&] { ++startTests; });
    page().initialise();
    plug("osprey:vid=0x20AC,pid=0x0E01");  // found by the poll, which starts the countdown
    page().pollNow();
    ASSERT_TRUE(page().link().isOpen());
    EXPECT_EQ(page().run().countdown, 1);
    page().redrawStatusPanel();
    EXPECT_EQ(panelText(), " 1 ");
    EXPECT_TRUE(waitUntil([&] { return startTests == 1; }, 3000));
    EXPECT_EQ(page().run().countdown, -1);
    pump(1200);
    EXPECT_EQ(startTests, 1);  // once

    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(&page(), &enter);
    EXPECT_EQ(startTests, 2);
}

// ---- The application object ---------------------------------------------------------

QString uniqueLockName(const char* what) {
    return QStringLiteral("LUMORA_TESTER_TEST_%1_%2").arg(what).arg(getpid());
}

struct CloseCase {
    const char* how;
    int exitCode;
};

class ExitCodeTest : public TesterFixture, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(ExitCodeTest, FollowsTheWayTheWindowCloses) {
    const QString how = QString::fromLatin1(GetParam().how);
    if (how == "ended") {  // the plan cannot be read: the program ends itself
        ASSERT_TRUE(QFile::remove(QDir(programDir()).filePath("LumoraPCBTester_Osprey.ini")));
        ASSERT_TRUE(QDir(programDir()).mkdir("LumoraPCBTester_Osprey.ini"));
        plug("osprey");
    }

    CZEMATestUtilityPelmaApp tester(programDir(), uniqueLockName("EXIT"));
    QString title;
    tester.setSheetHook([&](CMySheet& sheet) {
        EXPECT_EQ(sheet.tabs()->count(), 1);
        EXPECT_EQ(sheet.tabs()->tabText(0), "Auto Test");
        QTimer::singleShot(300, &sheet, [&sheet, &title, how] {
            title = sheet.windowTitle();
            // Enter belongs to the page: it never closes the sheet.
            for (QWidget* target : std::initializer_list<QWidget*>{&sheet, sheet.okButton()}) {
                QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
                QApplication::sendEvent(target, &enter);
            }
            EXPECT_TRUE(sheet.isVisible());
            if (how == "ok") sheet.okButton()->click();
            if (how == "cancel") sheet.cancelButton()->click();
            if (how == "close") sheet.close();
        });
    });
    EXPECT_EQ(tester.run(), GetParam().exitCode);
    if (how != "ended") {
        EXPECT_EQ(title, " LumoraPCBTester v2.3.2.6 for ZEMA-Demo (No Link)");
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ExitCodeTest,
                         ::testing::Values(CloseCase{"ok", 2}, CloseCase{"cancel", 3},
                                           CloseCase{"close", 3}, CloseCase{"ended", 4}));

TEST_F(TesterFixture, ASecondInstanceIsWarnedAndLeavesTheFirstAlone) {
    const QString name = uniqueLockName("SECOND");
    host::SingleInstanceLock first(name);
    ASSERT_FALSE(first.alreadyRunning());

    CZEMATestUtilityPelmaApp second(programDir(), name);
    bool shown = false;
    second.setSheetHook([&](CMySheet&) { shown = true; });
    EXPECT_EQ(second.run(), 0);
    EXPECT_FALSE(shown);
    ASSERT_EQ(m_messages.shown().size(), 1u);
    EXPECT_EQ(m_messages.shown()[0].text, "ZEMA_TEST_UTILITY is already running");
    EXPECT_EQ(m_messages.shown()[0].caption, "Warning!");
    EXPECT_TRUE(host::SingleInstanceLock(name).alreadyRunning());  // still held by the first
}

TEST(SheetResult, MapsToTheExitCode) {
    EXPECT_EQ(exitCodeForSheetResult(QDialog::Accepted, 7), 2);
    EXPECT_EQ(exitCodeForSheetResult(QDialog::Rejected, 7), 3);
    EXPECT_EQ(exitCodeForSheetResult(CMySheet::kEndedByProgram, 7), 7);
}

}  // namespace
}  // namespace lumora::tester
