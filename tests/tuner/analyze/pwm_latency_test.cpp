// The "PWM Tester" sweep and the "Kestrel Latency Test" against a virtual
// PWM tester and controller. The latency loop runs on the fake host clock,
// moved together with the virtual devices' stimulus time, so the measured
// latencies are exactly what the controller was configured with.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>

#include "tests/tuner/analyze/analyze_fixture.h"
#include "tuner/analyze/pwm_sweep.h"

namespace lumora::analyze_test {
namespace {

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST_F(AnalyzePageTest, FindTesterMessagesOfBothGroups) {
    struct Case {
        const char* devices;
        const char* button;
        std::vector<std::pair<const char*, const char*>> messages;
        bool latencyButtonsEnabled;
    };
    const Case cases[] = {
        {"pwm-tester", "pwmFindTesterButton",
         {{"Find PWM Device OK!", " ERROR "}, {"PWM Tester Found!\r\n", "Message"}}, false},
        {"thqa", "pwmFindTesterButton", {{"PWM Tester Not Found!\r\n", "Message"}}, false},
        {"pwm-tester", "latencyFindTesterButton", {{"Find PWM Device OK!", " ERROR "}}, true},
        {"thqa", "latencyFindTesterButton", {{"Find Tester Fail!", "LumoraTuner"}}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.devices) + " " + c.button);
        m_ids.clear();
        plug(c.devices);
        m_messages.clear();
        CAnalyzeDlg& page = openPage();
        click(c.button);
        const auto& shown = m_messages.shown();
        ASSERT_EQ(shown.size(), c.messages.size());
        for (size_t i = 0; i < shown.size(); ++i) {
            EXPECT_EQ(shown[i].text, QString::fromLatin1(c.messages[i].first));
            EXPECT_EQ(shown[i].caption, QString::fromLatin1(c.messages[i].second));
        }
        EXPECT_EQ(page.testerHandle() != 0, std::string(c.devices) == "pwm-tester");
        for (const char* b : {"singleTestButton", "loopTestButton", "enableTouchButton", "disableTouchButton"})
            EXPECT_EQ(child(b)->isEnabled(), c.latencyButtonsEnabled) << b;
        // Hiding the page closes its tester handle.
        page.onHidden();
        EXPECT_EQ(page.testerHandle(), 0u);
    }
}

TEST_F(AnalyzePageTest, PwmEnableSetsOptionFrequencyAndApplies) {
    plug("pwm-tester");
    openPage();
    click("pwmFindTesterButton");
    child<QRadioButton>("volt150Radio")->setChecked(true);
    setSpin("pwmStartEdit", 500);
    clearLogs();
    click("pwmEnableButton");
    const auto all = control::commandLog(idOf("pwm-tester"));
    ASSERT_EQ(control::operationsOf(all),
              (std::vector<std::string>{"DevSetOption", "SetHeronPWMFreq", "DevPWMApply"}));
    EXPECT_EQ(all[0].u8(0), 2);
    EXPECT_EQ(all[0].u8(1), 0);
    EXPECT_EQ(all[1].u32(0), 500u);
    EXPECT_EQ(all[1].u8(4), 2) << "15.0V";
    EXPECT_EQ(all[2].u32(0), 0u);
    EXPECT_EQ(all[2].u32(4), 0x44u);
    EXPECT_EQ(child<QLineEdit>("pwmStartKhz")->text(), "72");
    EXPECT_EQ(child<QLineEdit>("pwmCurrentEdit")->text(), "500");
}

// 700 down to 36 in steps of 1 with no wait between steps: every step
// changes the whole kHz; the sweep ends with "Stop PWM", which sets the
// start divisor again.
TEST_F(AnalyzePageTest, PwmRunSweepsOnlyNewWholeKhzValues) {
    plug("pwm-tester");
    CAnalyzeDlg& page = openPage();
    click("pwmFindTesterButton");
    setSpin("pwmIntervalEdit", 0);
    clearLogs();
    m_messages.clear();
    click("pwmRunButton");
    ASSERT_TRUE(waitUntil([&] { return !m_messages.shown().empty(); }, 60000));
    expectMessages({{"PWM Noise Test Complete!\r\n", "Message"}});
    EXPECT_FALSE(page.sweepRunning());

    std::vector<uint32_t> divisors;
    for (const auto& r : log("pwm-tester", "SetHeronPWMFreq")) divisors.push_back(r.u32(0));
    ASSERT_EQ(divisors.size(), 294u) << "293 steps and the start divisor again";
    EXPECT_EQ(std::vector<uint32_t>(divisors.begin(), divisors.begin() + 5),
              (std::vector<uint32_t>{700, 692, 679, 666, 654}));
    EXPECT_EQ(std::vector<uint32_t>(divisors.end() - 4, divisors.end()),
              (std::vector<uint32_t>{38, 37, 36, 700}));
    for (size_t i = 1; i + 1 < divisors.size(); ++i)
        ASSERT_NE(analyze::wholeKhz(divisors[i]), analyze::wholeKhz(divisors[i - 1])) << i;
    // Each step applies what it set; "Stop PWM" only sets.
    EXPECT_EQ(log("pwm-tester", "DevPWMApply").size(), 293u);
    EXPECT_EQ(child<QLineEdit>("pwmCurrentEdit")->text(), "700");
}

TEST_F(AnalyzePageTest, PwmRunWithStartBelowEndWarnsAndEndsAtItsFirstStep) {
    plug("pwm-tester");
    openPage();
    click("pwmFindTesterButton");
    setSpin("pwmStartEdit", 36);
    setSpin("pwmEndEdit", 700);
    clearLogs();
    m_messages.clear();
    click("pwmRunButton");
    ASSERT_TRUE(waitUntil([&] { return m_messages.shown().size() >= 2; }));
    expectMessages({{"Start must larger than End!\r\n", "Error"}, {"PWM Noise Test Complete!\r\n", "Message"}});
    const auto sets = log("pwm-tester", "SetHeronPWMFreq");
    ASSERT_EQ(sets.size(), 1u) << "only Stop PWM's";
    EXPECT_EQ(sets[0].u32(0), 36u);
}

TEST_F(AnalyzePageTest, StopPwmBeforeTheFirstStepEndsTheSweep) {
    plug("pwm-tester");
    CAnalyzeDlg& page = openPage();
    click("pwmFindTesterButton");
    setSpin("pwmIntervalEdit", 0);
    clearLogs();
    click("pwmRunButton");   // posts the first step
    click("stopPwmButton");  // before it runs
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    EXPECT_FALSE(page.sweepRunning());
    const auto sets = log("pwm-tester", "SetHeronPWMFreq");
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(sets[0].u32(0), 700u);
    EXPECT_TRUE(log("pwm-tester", "DevPWMApply").empty());
}

TEST_F(AnalyzePageTest, TouchStimulusButtonsAndResetController) {
    plug("pwm-tester;heron", "heron", 6);
    openPage();
    click("latencyFindTesterButton");
    m_messages.clear();
    clearLogs();
    click("enableTouchButton");
    click("disableTouchButton");
    EXPECT_TRUE(m_messages.shown().empty());
    const auto switches = log("pwm-tester", "DevSetFreqIndex");
    ASSERT_EQ(switches.size(), 2u);
    EXPECT_EQ(switches[0].u8(0), 2);
    EXPECT_EQ(switches[1].u8(0), 1);

    click("resetControllerButton");
    expectMessages({{"Reset controller OK!", "LumoraTuner"}});
    EXPECT_EQ(ops("heron"), (std::vector<std::string>{"PCAPGetRawPoint", "DevResetController"}));

    // Without a tester both fail and say so.
    m_messages.clear();
    m_page->onHidden();
    click("enableTouchButton");
    click("disableTouchButton");
    expectMessages({{"Enable Touch Test Fail!", "LumoraTuner"}, {"Disable Touch Test Fail!", "LumoraTuner"}});
}

// ---- the latency loop on the fake clock -------------------------------------

class LatencyLoopTest : public AnalyzePageTest {
protected:
    void SetUp() override {
        AnalyzePageTest::SetUp();
        ASSERT_TRUE(m_dir.isValid());
        m_oldCurrent = QDir::currentPath();
        QDir::setCurrent(m_dir.path());
        m_clock.setMs(5000);
        m_clock.setLocalTime(QDateTime(QDate(2024, 6, 1), QTime(13, 7, 9)));
        control::setStimulusTime(m_clock.counterNs());
        plug("pwm-tester;heron:latency=7.5,finger=0", "heron", 6);
        openPage();
        click("latencyFindTesterButton");
        m_messages.clear();
        setSpin("touchIntervalEdit", 0);
    }
    void TearDown() override {
        QDir::setCurrent(m_oldCurrent);
        AnalyzePageTest::TearDown();
    }

    // Runs the measurements until `done`: while the stimulus is on the clock
    // and the stimulus time move together in steps of 0.1 ms, and every
    // report the controller sends on the way is handled before the next
    // step; otherwise the page's own events (the interval, the next
    // trigger) run.
    bool runUntil(const std::function<bool()>& done) {
        for (int guard = 0; guard < 200000 && !done(); ++guard) {
            if (!m_page->stimulusRunning()) {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
                continue;
            }
            m_clock.advanceNs(100'000);
            const int sent = control::setStimulusTime(m_clock.counterNs());
            if (sent > 0) {
                const int target = m_page->touchReportsHandled() + sent;
                if (!waitUntil([&] { return m_page->touchReportsHandled() >= target; })) return false;
            }
        }
        return done();
    }

    QString logPath() const { return m_dir.filePath("HERON_LatencyLog-130709.csv"); }

    QTemporaryDir m_dir;
    QString m_oldCurrent;
};

TEST_F(LatencyLoopTest, TenLoopsLogLatenciesThatMatchTheVirtualController) {
    setSpin("loopCountEdit", 10);
    click("loopTestButton");
    ASSERT_TRUE(runUntil([&] { return !m_messages.shown().empty(); }));
    expectMessages({{"Touch Loop Test Finish!", "LumoraTuner"}});
    EXPECT_EQ(m_page->latencyLogName(), logPath());
    QFile golden(QStringLiteral(LUMORA_GOLDEN_DIR "/latency_loop_10.csv"));
    ASSERT_TRUE(golden.open(QIODevice::ReadOnly));
    EXPECT_EQ(readFile(logPath()), golden.readAll());

    const analyze::LatencyStats& s = m_page->latencyStats();
    EXPECT_EQ(s.count, 10);
    EXPECT_NEAR(s.avg, 7.5, 1e-9);
    EXPECT_EQ(child<QLineEdit>("latencyEdit")->text(), "7.500");
    EXPECT_EQ(child<QLineEdit>("latencyTotalEdit")->text(), "75.000");
    EXPECT_EQ(m_page->loopsLeft(), 0);
    // The controller was reset before the loop; the tester switched the
    // stimulus off and on for each measurement and off after each touch.
    EXPECT_EQ(ops("heron", {"PCAPGetRawPoint", "DevResetController"}),
              (std::vector<std::string>{"PCAPGetRawPoint", "PCAPGetRawPoint", "DevResetController"}));
    std::string switches;
    for (const auto& r : log("pwm-tester", "DevSetFreqIndex")) switches += char('0' + r.u8(0));
    std::string expected;
    for (int i = 0; i < 10; ++i) expected += "121";
    EXPECT_EQ(switches, expected);
}

// "Stop" during the fourth measurement: that one completes, the summary
// follows, and the average is over the four measured.
TEST_F(LatencyLoopTest, StopEndsTheLoopAfterTheRunningMeasurement) {
    setSpin("loopCountEdit", 10);
    click("loopTestButton");
    ASSERT_TRUE(runUntil([&] { return m_page->latencyStats().count == 3 && m_page->waitingForTouch(); }));
    click("latencyStopButton");
    ASSERT_TRUE(runUntil([&] { return !m_messages.shown().empty(); }));
    expectMessages({{"Touch Loop Test Finish!", "LumoraTuner"}});
    EXPECT_EQ(readFile(logPath()),
              QByteArray("\r\nTime,Index,Latency\r\n"
                         "13:07:09,1,7.500\r\n13:07:09,2,7.500\r\n13:07:09,3,7.500\r\n13:07:09,4,7.500\r\n"
                         "Min,,7.500\r\nMax,,7.500\r\nAvg,,7.500\r\n"));
    EXPECT_EQ(m_page->latencyStats().count, 4);
}

TEST_F(LatencyLoopTest, SingleTestMeasuresWithoutALog) {
    click("singleTestButton");
    ASSERT_TRUE(runUntil([&] { return m_page->loopsLeft() == 0 && !m_page->stimulusRunning(); }));
    EXPECT_DOUBLE_EQ(m_page->latencyMs(), 7.5);
    EXPECT_EQ(child<QLineEdit>("latencyEdit")->text(), "7.500");
    EXPECT_EQ(child<QLineEdit>("startMsEdit")->text(), "5000.000");
    EXPECT_EQ(child<QLineEdit>("endMsEdit")->text(), "5007.500");
    EXPECT_TRUE(m_messages.shown().empty());
    EXPECT_FALSE(QFile::exists(logPath()));
}

// Outside a measurement a touch report only shows in the status line.
TEST_F(LatencyLoopTest, TouchOutsideAMeasurementOnlyUpdatesTheStatusLine) {
    uint8_t touch[64] = {6, 53, 0x36, 0x13, 0x01, 3, 0x64, 0x00, 0xC8, 0x00};
    ASSERT_TRUE(control::injectPacket(idOf("heron"), touch));
    ASSERT_TRUE(waitUntil([&] { return m_page->touchReportsHandled() == 1; }));
    EXPECT_EQ(m_page->statusLine(), "State:01, ID:3, X: 100, Y:200");
    EXPECT_EQ(m_page->latencyStats().count, 0);
    touch[4] = 0;
    ASSERT_TRUE(control::injectPacket(idOf("heron"), touch));
    ASSERT_TRUE(waitUntil([&] { return m_page->touchReportsHandled() == 2; }));
    EXPECT_EQ(m_page->statusLine(), "");
    EXPECT_TRUE(ops("pwm-tester", {"DevSetFreqIndex"}).empty());
}

}  // namespace
}  // namespace lumora::analyze_test
