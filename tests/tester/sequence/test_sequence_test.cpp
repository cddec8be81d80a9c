// The test sequence against a virtual unit, with a recording view in place
// of the page: what it asks of the controller (checked in the unit's
// command log), the checks before a run, the steps and their time-outs, the
// once-a-second rule, and what the writers do besides the file.
#include <gtest/gtest.h>

#include <functional>

#include "tests/tester/sequence/sequence_fixture.h"

namespace lumora::tester {
namespace {

using namespace sequence_testing;
using Shown = host::testing::RecordingMessages::Shown;

constexpr const char* kOspreyPlan =
    "[TestParameter]\r\nCaseName=Line\r\n"
    "[DEFAULT]\r\nEnableTestResultFile=1\r\nRunADLevelTest=1\r\nRunADLevelTest2=1\r\nPCBShortTh=150\r\n";
constexpr const char* kHeronPlan = "[TestParameter]\r\nCaseName=Line\r\n[DEFAULT]\r\nEnableTestResultFile=1\r\n";

const std::vector<int> kAdX(6, 700), kAdY(5, 800);

class TestSequenceTest : public SequenceFixture {
protected:
    void osprey(const char* plan = kOspreyPlan) {
        writePlan(4, plan);
        openUnit("osprey:x=6,y=5");
    }
    void heron(const char* plan = kHeronPlan) {
        writePlan(6, plan);
        openUnit("heron:x=5,y=4");
    }
    void clearLog() { vexlink::control::clearCommandLog(m_deviceId); }
    static std::vector<std::string> testOps() {
        return {"DevSetTestMode", "PCAPStopGetData", "DevDACCalibration", "DevResetController",
                "PCAPStartShortTest", "PCAPStartOpenTest", "PCAPGetRawPoint", "PCAPGetSingleData",
                "PCAPGetImageYX", "PCAPGetImageXY", "DevSetOption", "SetReportId"};
    }

    // The Osprey first stage up to the step given: 2 AD level, 3 image Y, 4
    // image X, 5 waiting for T2.
    void ospreyUpTo(int step) {
        seq().pcbT1();
        shortTest({yPair(0, 1, 45)});
        if (step <= 2) return;
        m_clock.advanceMs(1000);
        feed(ADLevelPacketMessage, seriesFrame(0x4F, kAdX, kAdY));
        if (step <= 3) return;
        image(ImageYPacketMessage);
        if (step <= 4) return;
        image(ImageXPacketMessage);
    }
    void image(uint32_t message) {
        feedImage(message, [](int, int) { return 900; });
        m_clock.advanceMs(1001);
        feedImage(message, [](int, int) { return 900; });
    }
    // A failing Osprey unit: its short test fails and the PCB log follows.
    void ospreyFails() {
        seq().pcbT1();
        shortTest({yPair(0, 1, 900)});
    }
    int filesIn(const QString& folder) const {
        return QDir(folder).entryList(QDir::Files).size();
    }
    QString verdictFolder(bool pass) const {
        return resultVerdictFolder(resultDayFolder(resultRootFolder(dataFolder()), QDate(2024, 3, 5)), pass);
    }
};

// ---- Starting the stages ------------------------------------------------------------------

struct StartCase {
    const char* what;
    const char* entry;
    int typeCode;
    const char* plan;
    std::vector<std::string> operations;
    int selection, threshold;
};

class FirstStageStart : public TestSequenceTest, public ::testing::WithParamInterface<StartCase> {};

TEST_P(FirstStageStart, StartsTheShortTestOfTheFamily) {
    const StartCase& c = GetParam();
    writePlan(c.typeCode, c.plan);
    openUnit(c.entry);
    clearLog();
    seq().pcbT1();

    EXPECT_EQ(operations(testOps()), c.operations);
    const auto starts = calls("PCAPStartShortTest");
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].u8(0), c.selection);
    EXPECT_EQ(starts[0].u32(1), 0u);
    EXPECT_EQ(starts[0].u32(5), 0u);
    EXPECT_EQ(starts[0].u32(9), uint32_t(c.threshold));
    EXPECT_EQ(starts[0].u32(13), uint32_t(c.threshold));
    vexlink::control::DeviceStatus status;
    ASSERT_TRUE(vexlink::control::status(m_deviceId, &status));
    EXPECT_EQ(status.testMode, isHeronFamily(c.typeCode));

    EXPECT_EQ(m_run.step, 1);
    EXPECT_TRUE(m_run.busy);
    EXPECT_TRUE(m_run.runInProgress);
    EXPECT_FALSE(m_run.runFinished);
    EXPECT_EQ(m_run.runLog, "-----\r\nController T1-1 (Short Test) Start!\r\n");
    EXPECT_EQ(m_run.statusLine, "Strat PCB T1 Test\r\n");
    EXPECT_FALSE(m_view.t1);
    EXPECT_FALSE(m_view.t2);
    EXPECT_EQ(seq().counters().total, 1);
    EXPECT_EQ(seq().results().testerName, "ZEMA Test Utility");
    EXPECT_TRUE(m_messages.shown().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Families, FirstStageStart,
    ::testing::Values(
        StartCase{"osprey", "osprey:x=6,y=5", 4, kOspreyPlan, {"PCAPStopGetData", "PCAPStartShortTest"}, 1, 150},
        StartCase{"heron",
                  "heron:x=5,y=4",
                  6,
                  kHeronPlan,
                  {"DevSetTestMode", "PCAPStopGetData", "DevDACCalibration", "DevResetController",
                   "PCAPStartShortTest"},
                  3,
                  0},
        StartCase{"heron_without_calibration",
                  "heron8",
                  8,
                  "[DEFAULT]\r\nRunDACCalibration=0\r\n",
                  {"DevSetTestMode", "PCAPStopGetData", "PCAPStartShortTest"},
                  3,
                  0}),
    [](const ::testing::TestParamInfo<StartCase>& info) { return std::string(info.param.what); });

TEST_F(TestSequenceTest, TheSecondStageStartsTheOpenOrTheNonShortTest) {
    osprey();
    ospreyUpTo(5);
    clearLog();
    seq().pcbT2();
    EXPECT_EQ(operations(testOps()), (std::vector<std::string>{"PCAPStopGetData", "PCAPStartShortTest"}));
    const auto osprey = calls("PCAPStartShortTest");
    ASSERT_EQ(osprey.size(), 1u);
    EXPECT_EQ(osprey[0].u8(0), 1);
    EXPECT_EQ(osprey[0].u32(9), 150u);
    EXPECT_EQ(m_run.step, 5);
    EXPECT_TRUE(m_run.runLog.endsWith("-----\r\nController T2 (Open Test) Start!\r\n"));

    m_view.disconnectUnit();
    heron();
    seq().pcbT1();
    shortTest({yPair(0, 1, 3700)});
    EXPECT_EQ(m_run.step, 4);
    EXPECT_TRUE(m_view.t2);
    clearLog();
    seq().pcbT2();
    EXPECT_EQ(operations(testOps()), (std::vector<std::string>{"PCAPStopGetData", "PCAPStartOpenTest"}));
    const auto open = calls("PCAPStartOpenTest");
    ASSERT_EQ(open.size(), 1u);
    EXPECT_EQ(open[0].u8(0), 3);
    for (size_t at : {1, 5, 9, 13}) EXPECT_EQ(open[0].u32(at), 0u);
}

TEST_F(TestSequenceTest, PressesWhileBusyAreIgnored) {
    osprey();
    seq().pcbT1();
    const QString log = m_run.runLog;
    clearLog();
    seq().pcbT1();
    seq().pcbT2();
    EXPECT_TRUE(operations().empty());
    EXPECT_EQ(m_run.runLog, log);
    EXPECT_EQ(m_run.step, 1);
    EXPECT_EQ(seq().counters().total, 1);
}

// ---- Checks before a run ------------------------------------------------------------------

struct RefusalCase {
    const char* what;
    const char* plan;   // nullptr: no configuration is loaded
    const char* text;   // the message
    const char* caption;
    host::Icon icon;
    const char* logLine;  // appended to the run log
};

class RefusedRun : public TestSequenceTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(RefusedRun, LeavesTheUnitBusyUntilItIsPluggedAgain) {
    const RefusalCase& c = GetParam();
    osprey(c.plan ? c.plan : kOspreyPlan);
    if (!c.plan) m_config.discard();
    clearLog();
    seq().pcbT1();

    ASSERT_EQ(m_messages.shown().size(), 1u);
    EXPECT_EQ(m_messages.shown()[0].text, c.text);
    EXPECT_EQ(m_messages.shown()[0].caption, c.caption);
    EXPECT_EQ(m_messages.shown()[0].icon, c.icon);
    EXPECT_TRUE(m_run.runLog.endsWith(QString::fromLatin1(c.logLine))) << m_run.runLog.toStdString();
    EXPECT_TRUE(operations({"PCAPStartShortTest"}).empty());
    EXPECT_EQ(seq().counters().total, 0);
    EXPECT_TRUE(m_run.busy);
    EXPECT_TRUE(m_run.runFinished);
    EXPECT_EQ(m_run.verdict, 0);
    EXPECT_FALSE(m_view.t1);
    EXPECT_FALSE(m_view.t2);

    seq().pcbT1();  // still busy: nothing happens
    EXPECT_EQ(m_messages.shown().size(), 1u);

    // Keys left out keep their last value: the plan of the next unit sets
    // every check back.
    m_view.disconnectUnit();
    osprey("[DEFAULT]\r\nInputInfo=0\r\nCheckModel=0\r\nCheckVersion=0\r\n");
    seq().pcbT1();
    EXPECT_EQ(m_messages.shown().size(), 1u);
    EXPECT_EQ(operations({"PCAPStartShortTest"}).size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RefusedRun,
    ::testing::Values(
        RefusalCase{"no_configuration", nullptr, "Read INI file error!", "Error", host::Icon::None,
                    "Read INI error!\r\n"},
        RefusalCase{"no_case_section", "[TestParameter]\r\n[Line2]\r\nFailStop=1\r\n", "Read INI error!",
                    "Error", host::Icon::None, "Read INI error!\r\n"},
        RefusalCase{"tester_name", "[DEFAULT]\r\nInputInfo=1\r\n", "Please enter Tester Name and Confirm!",
                    "Error", host::Icon::Question, "Please enter Tester Name and Confirm!\r\n"},
        RefusalCase{"model", "[DEFAULT]\r\nCheckModel=1\r\nModelName=zt-4030\r\n", "Check ModelName Fail!",
                    "LumoraTester", host::Icon::Error, "Check Model Name Fail!\r\n"},
        RefusalCase{"version", "[DEFAULT]\r\nCheckVersion=1\r\nVersion=4.2.18\r\n", "Check Version Fail!",
                    "LumoraTester", host::Icon::Error, "Check Version Fail!\r\n"}),
    [](const ::testing::TestParamInfo<RefusalCase>& info) { return std::string(info.param.what); });

TEST_F(TestSequenceTest, AUnitOnTheWrongInterfaceIsLetGo) {
    osprey("[DEFAULT]\r\nDeviceInterface=1\r\n");
    seq().pcbT1();
    EXPECT_EQ(m_view.disconnects, 1);
    EXPECT_EQ(m_run.runLog, "Wrong Interface!\r\n");
    EXPECT_FALSE(m_run.busy);
    EXPECT_TRUE(operations({"PCAPStartShortTest"}).empty());
    EXPECT_TRUE(m_messages.shown().empty());
}

TEST_F(TestSequenceTest, AShortTestThatCannotStartLetsTheUnitGo) {
    osprey();
    ASSERT_TRUE(vexlink::control::unplug(m_deviceId));
    seq().pcbT1();
    ASSERT_EQ(m_messages.shown().size(), 1u);
    EXPECT_EQ(m_messages.shown()[0].text,
              "Controller Error! Please make sure FPCA is connected with bridge board!\r\n");
    EXPECT_EQ(m_messages.shown()[0].caption, "Error");
    EXPECT_EQ(m_run.step, 0);
    EXPECT_FALSE(m_run.runInProgress);
    EXPECT_EQ(m_view.disconnects, 1);
}

// "Start Test" checks the unit and counts it; the measurement waits for
// "PCB T1", which counts the unit again.
TEST_F(TestSequenceTest, StartTestCountsTheUnitAndMeasuresNothing) {
    osprey();
    clearLog();
    seq().startTest();
    EXPECT_TRUE(operations(testOps()).empty());
    EXPECT_EQ(seq().counters().total, 1);
    EXPECT_EQ(seq().results().barcode, "ZEMA");
    EXPECT_EQ(seq().results().testerName, "ZEMA Test Utility");
    EXPECT_TRUE(m_run.runInProgress);
    EXPECT_FALSE(m_run.busy);
    seq().pcbT1();
    EXPECT_EQ(seq().counters().total, 2);
    EXPECT_EQ(operations({"PCAPStartShortTest"}).size(), 1u);
}

TEST_F(TestSequenceTest, StartTestAsksForABarcodeOnlyWhenThePlanNeedsOne) {
    osprey("[DEFAULT]\r\nInputInfo=1\r\n");
    seq().results().testerName = QStringLiteral("Operator");
    seq().results().testerNameConfirmed = true;
    seq().startTest();
    ASSERT_EQ(m_messages.shown().size(), 1u);
    EXPECT_EQ(m_messages.shown()[0].text, "Please enter Barcode!");
    EXPECT_EQ(m_messages.shown()[0].icon, host::Icon::Question);
    EXPECT_EQ(m_run.statusLine, "Please enter Barcode!");
    EXPECT_EQ(seq().counters().total, 0);
}

struct ExitCase {
    const char* what;
    const char* plan;
    int code;
};

class IdentityExit : public TestSequenceTest, public ::testing::WithParamInterface<ExitCase> {};

// With AutoExit a mismatch at "Start Test" ends the program with 5 (model)
// or 6 (version) instead of a message; at "PCB T1" it only refuses.
TEST_P(IdentityExit, OnlyStartTestEndsTheProgram) {
    osprey(GetParam().plan);
    seq().startTest();
    EXPECT_EQ(m_view.endedWith, GetParam().code);
    EXPECT_TRUE(m_messages.shown().empty());
    EXPECT_EQ(seq().counters().total, 0);

    m_view.endedWith.reset();
    m_view.disconnectUnit();
    osprey(GetParam().plan);
    seq().pcbT1();
    EXPECT_FALSE(m_view.endedWith.has_value());
    EXPECT_EQ(m_messages.shown().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, IdentityExit,
    ::testing::Values(ExitCase{"model", "[TestParameter]\r\nAutoExit=1\r\n[DEFAULT]\r\nCheckModel=1\r\nModelName=X\r\n", 5},
                      ExitCase{"version", "[TestParameter]\r\nAutoExit=1\r\n[DEFAULT]\r\nCheckVersion=1\r\nVersion=X\r\n", 6}),
    [](const ::testing::TestParamInfo<ExitCase>& info) { return std::string(info.param.what); });

// The plan is read again at every run: an edit between two units counts.
TEST_F(TestSequenceTest, ThePlanIsReadAgainForEveryUnit) {
    osprey();
    ospreyFails();
    writePlan(4, "[DEFAULT]\r\nPCBShortTh=90\r\n");
    clearLog();
    seq().pcbT1();
    const auto starts = calls("PCAPStartShortTest");
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].u32(9), 90u);
}

// ---- The steps ------------------------------------------------------------------------------

TEST_F(TestSequenceTest, EachStepStartsItsStream) {
    osprey();
    seq().pcbT1();
    clearLog();
    shortTest({yPair(0, 1, 45)});
    EXPECT_EQ(m_run.step, 2);
    EXPECT_TRUE(seq().stepTimerActive());
    EXPECT_EQ(operations(testOps()), (std::vector<std::string>{"PCAPGetRawPoint", "PCAPGetSingleData"}));
    EXPECT_FALSE(m_run.busy);

    clearLog();
    m_clock.advanceMs(1000);
    feed(ADLevelPacketMessage, seriesFrame(0x4F, kAdX, kAdY));
    EXPECT_EQ(seq().results().items.adLevel, "Pass");
    EXPECT_FALSE(seq().stepTimerActive());
    EXPECT_TRUE(seq().imageTimerActive());
    EXPECT_EQ(m_run.step, 3);
    EXPECT_EQ(operations(testOps()),
              (std::vector<std::string>{"PCAPStopGetData", "PCAPGetRawPoint", "PCAPGetImageYX"}));

    clearLog();
    image(ImageYPacketMessage);
    EXPECT_EQ(m_run.step, 4);
    EXPECT_EQ(operations(testOps()),
              (std::vector<std::string>{"PCAPStopGetData", "PCAPGetRawPoint", "PCAPGetImageXY"}));

    image(ImageXPacketMessage);
    EXPECT_FALSE(seq().imageTimerActive());
    EXPECT_EQ(m_run.step, 4);
    EXPECT_FALSE(m_view.t1);  // PCBTestMode 0
    EXPECT_TRUE(m_view.t2);
    EXPECT_TRUE(m_run.runLog.contains("-----\r\nController T1-4 (AD Test Image X) Start!\r\nFinish!\r\n"));
    EXPECT_TRUE(seq().lastResultFile().isEmpty());
}

// A packet step is judged at most once a second: AD level and connector
// steps at 1000 ms or more after the last judgement (the step's start
// counts as one), image steps at more than 1000 ms.
TEST_F(TestSequenceTest, PacketStepsAreJudgedOnceASecond) {
    osprey();
    ospreyUpTo(2);
    m_clock.advanceMs(999);
    feed(ADLevelPacketMessage, seriesFrame(0x4F, kAdX, kAdY));
    EXPECT_FALSE(seq().results().adDone);
    m_clock.advanceMs(1);
    feed(ADLevelPacketMessage, seriesFrame(0x4F, kAdX, kAdY));
    EXPECT_TRUE(seq().results().adDone);

    feedImage(ImageYPacketMessage, [](int, int) { return 900; });
    m_clock.advanceMs(1000);
    feedImage(ImageYPacketMessage, [](int, int) { return 900; });
    EXPECT_FALSE(seq().results().imageYDone);
    m_clock.advanceMs(1);
    feedImage(ImageYPacketMessage, [](int, int) { return 900; });
    EXPECT_TRUE(seq().results().imageYDone);
}

TEST_F(TestSequenceTest, ANotReadyFrameWaitsForTheNextSecond) {
    osprey();
    ospreyUpTo(2);
    m_clock.advanceMs(1000);
    std::vector<int> x = kAdX;
    x[1] = -1;
    feed(ADLevelPacketMessage, seriesFrame(0x4F, x, kAdY));
    EXPECT_FALSE(seq().results().adDone);
    EXPECT_TRUE(m_trace.contains("AD LEVEL NOT READY\r\n"));
    EXPECT_TRUE(m_run.runLog.endsWith("T1-2 - X[002], Th: 1200, Result: -1 (X)\r\nFinish!\r\n"));
    EXPECT_EQ(m_run.statusLine, "Controller T1-2 (AD Test) Test Finish!\r\n");

    m_clock.advanceMs(500);
    feed(ADLevelPacketMessage, seriesFrame(0x4F, kAdX, kAdY));
    EXPECT_FALSE(seq().results().adDone);
    m_clock.advanceMs(500);
    feed(ADLevelPacketMessage, seriesFrame(0x4F, kAdX, kAdY));
    EXPECT_TRUE(seq().results().adDone);
    EXPECT_EQ(seq().results().adResult, 1);
    EXPECT_TRUE(m_trace.contains("AD LEVEL PASS\r\n"));
}

// A stored packet after the step's verdict is kept but judged no more.
TEST_F(TestSequenceTest, PacketsAfterTheVerdictAreStoredNotJudged) {
    osprey();
    ospreyUpTo(3);
    std::vector<int> y = kAdY;
    y[0] = 5000;
    m_clock.advanceMs(5000);
    feed(ADLevelPacketMessage, seriesFrame(0x4F, kAdX, y));
    EXPECT_EQ(seq().values().ad.y[0], 5000);
    EXPECT_EQ(seq().results().adResult, 1);
    EXPECT_EQ(m_run.step, 3);
}

// ---- Time-outs ------------------------------------------------------------------------------

TEST_F(TestSequenceTest, TheADStepTimesOutOnlyWhenThePlanAsks) {
    osprey("[DEFAULT]\r\nEnableTestResultFile=1\r\nRunADLevelTest=1\r\nADLevelTestTime=2\r\n");
    ospreyUpTo(2);
    m_clock.advanceMs(2999);
    seq().onStepTimer();
    settle();
    EXPECT_FALSE(seq().results().adDone);
    clearLog();
    m_clock.advanceMs(1);
    seq().onStepTimer();
    settle();
    EXPECT_TRUE(seq().results().adTimeOut);
    EXPECT_EQ(seq().results().items.adLevel, "Fail");
    EXPECT_FALSE(seq().stepTimerActive());
    EXPECT_EQ(operations(testOps()), (std::vector<std::string>{"PCAPStopGetData"}));
    EXPECT_TRUE(readFile(seq().lastResultFile()).contains("T1-2(AD Level),TIME_OUT\r\n"));

    // Without RunADLevelTest a step that never completes waits for good.
    osprey("[DEFAULT]\r\nRunADLevelTest=0\r\n");
    ospreyUpTo(2);
    m_clock.advanceMs(300'000);
    seq().onStepTimer();
    settle();
    EXPECT_FALSE(seq().results().adDone);
    EXPECT_TRUE(m_run.runInProgress);
    EXPECT_FALSE(m_run.runFinished);
}

// The image X step times out like the image Y step, after ADLevelTest2Time
// + 1 seconds, and its heading in the file reads TIME_OUT.
TEST_F(TestSequenceTest, TheImageXStepTimesOutLikeTheImageYStep) {
    osprey("[DEFAULT]\r\nEnableTestResultFile=1\r\nRunADLevelTest2=1\r\nADLevelTest2Time=3\r\n");
    ospreyUpTo(4);
    ASSERT_EQ(m_run.step, 4);
    m_clock.advanceMs(3999);
    seq().onImageTimer();
    settle();
    EXPECT_FALSE(seq().results().imageXDone);
    m_clock.advanceMs(1);
    seq().onImageTimer();
    settle();
    EXPECT_TRUE(seq().results().imageXTimeOut);
    EXPECT_FALSE(seq().results().imageYTimeOut);
    const QByteArray file = readFile(seq().lastResultFile());
    EXPECT_TRUE(file.contains("T1-3(AD Level Image Y),PASS\r\n")) << file.toStdString();
    EXPECT_TRUE(file.contains("T1-4(AD Level Image X),TIME_OUT\r\nAD Level Image X Test, Fail\r\n"));
    EXPECT_TRUE(file.contains("Y[001],-1,-1,-1,-1,-1,-1,\r\n"));
}

// ---- Writers ---------------------------------------------------------------------------------

class ScriptedMessages final : public host::MessageService {
public:
    explicit ScriptedMessages(std::function<void(const QString&)> onShow) : m_onShow(std::move(onShow)) {
        host::setMessageService(this);
    }
    ~ScriptedMessages() override { host::setMessageService(nullptr); }
    host::Answer show(QWidget*, const QString& text, const QString&, host::Icon, host::Buttons) override {
        m_onShow(text);
        return host::Answer::Ok;
    }

private:
    std::function<void(const QString&)> m_onShow;
};

TEST_F(TestSequenceTest, FailStopWritesTheFileOnlyAfterTheBoxCloses) {
    osprey("[DEFAULT]\r\nFailStop=1\r\n");
    int filesWhileShown = -1;
    QStringList shown;
    {
        ScriptedMessages box([&](const QString& text) {
            shown << text;
            filesWhileShown = filesIn(verdictFolder(false));
            EXPECT_EQ(m_run.statusLine, "Test Fail!");
        });
        ospreyFails();
    }
    EXPECT_EQ(shown, QStringList{"Test Fail!"});
    EXPECT_EQ(filesWhileShown, 0);
    EXPECT_EQ(filesIn(verdictFolder(false)), 1);
}

struct VerdictExit {
    const char* what;
    bool pass;
    int code;
};

class AutoExitAfterTheFile : public TestSequenceTest, public ::testing::WithParamInterface<VerdictExit> {};

TEST_P(AutoExitAfterTheFile, EndsWithTheVerdict) {
    osprey("[TestParameter]\r\nAutoExit=1\r\n[DEFAULT]\r\nRunADLevelTest=1\r\n");
    if (GetParam().pass) {
        ospreyUpTo(5);
        seq().pcbT2();
        shortTest({yPair(0, 1, 480)});
    } else {
        ospreyFails();
    }
    EXPECT_EQ(m_view.endedWith, GetParam().code);
    EXPECT_TRUE(seq().lastResultFileWritten());
    EXPECT_EQ(m_run.verdict, GetParam().pass ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Table, AutoExitAfterTheFile,
                         ::testing::Values(VerdictExit{"pass", true, 0}, VerdictExit{"fail", false, 1}),
                         [](const ::testing::TestParamInfo<VerdictExit>& info) {
                             return std::string(info.param.what);
                         });

TEST_F(TestSequenceTest, CountersCountEachUnitOnce) {
    osprey();
    EXPECT_EQ(counterTexts(seq().counters()),
              QStringList({"Total Cnt: -", "OK Cnt: -", "NG Cnt: -", "Totle Time: -", "Current Time: -",
                           "Tact Time: -"}));
    seq().pcbT1();
    m_clock.advanceMs(5500);
    shortTest({yPair(0, 1, 900)});
    // The first unit's tact time is its own time.
    EXPECT_EQ(counterTexts(seq().counters()),
              QStringList({"Total Cnt: 1", "OK Cnt: 0", "NG Cnt: 1", "Total Time: 5 secs",
                           "Current Time: 5 secs", "Tact Time: 5 secs"}));
    EXPECT_GT(m_view.refreshes, 0);

    // The next unit is counted by "Start Test" and again by "PCB T1"; the
    // texts change when it is logged.
    m_view.disconnectUnit();
    osprey();
    seq().startTest();
    EXPECT_EQ(seq().counters().total, 2);
    EXPECT_EQ(counterTexts(seq().counters())[0], "Total Cnt: 1");
    m_clock.advanceMs(1000);
    ospreyUpTo(5);
    seq().pcbT2();
    shortTest({yPair(0, 1, 480)});
    const RunCounters& c = seq().counters();
    EXPECT_EQ(c.total, 3);
    EXPECT_EQ(c.ok, 1);
    EXPECT_EQ(c.ng, 1);
    // 5.5 s and 3.0 s (AD level 1000 ms, the images 1001 ms each) over 3 units.
    EXPECT_EQ(counterTexts(c).mid(3),
              QStringList({"Total Time: 8 secs", "Current Time: 3 secs", "Tact Time: 2 secs"}));
}

TEST_F(TestSequenceTest, TheHeronLogSwitchesTheTestModeOffAndTouchOn) {
    heron();
    seq().pcbT1();
    clearLog();
    shortTest({yPair(0, 1, 30)});  // fails: the PCB log follows at once
    ASSERT_TRUE(seq().lastResultFileWritten());
    EXPECT_EQ(operations({"DevSetTestMode", "DevSetOption", "SetReportId"}),
              (std::vector<std::string>{"DevSetTestMode", "DevSetOption"}));
    EXPECT_EQ(calls("DevSetTestMode")[0].u8(0), 0);
    EXPECT_EQ(calls("DevSetOption")[0].u8(0), 2);
    EXPECT_EQ(calls("DevSetOption")[0].u8(1), 1);
    vexlink::control::DeviceStatus status;
    ASSERT_TRUE(vexlink::control::status(m_deviceId, &status));
    EXPECT_FALSE(status.testMode);
}

TEST_F(TestSequenceTest, TheConnectorLogHandsTheReportIdBack) {
    osprey("[TestParameter]\r\nConnectorMode=1\r\n[DEFAULT]\r\nRunADLevelTest=1\r\n");
    seq().pcbT1();
    shortTest({yPair(0, 1, 45)});
    m_clock.advanceMs(1000);
    clearLog();
    std::vector<int> y = kAdY;
    y[1] = 1500;
    feed(ConnectorT1PacketMessage, seriesFrame(0x4F, kAdX, y));  // AD fails: the connector log
    ASSERT_TRUE(seq().lastResultFile().endsWith("NG--140709.csv"));
    EXPECT_EQ(operations({"DevSetTestMode", "DevSetOption", "SetReportId"}),
              (std::vector<std::string>{"SetReportId"}));
    EXPECT_EQ(calls("SetReportId")[0].u8(0), 4);
    vexlink::control::DeviceStatus status;
    ASSERT_TRUE(vexlink::control::status(m_deviceId, &status));
    EXPECT_EQ(status.reportId, 4);
}

// A unit pulled while "Test Fail!" waits gets no device calls; its file,
// verdict and counters still follow.
TEST_F(TestSequenceTest, AUnitRemovedWhileTheFailBoxIsOpenGetsNoDeviceCalls) {
    heron("[DEFAULT]\r\nFailStop=1\r\nEnableTestResultFile=1\r\n");
    seq().pcbT1();
    clearLog();
    {
        ScriptedMessages box([&](const QString&) { m_view.disconnectUnit(); });
        shortTest({yPair(0, 1, 30)});
    }
    EXPECT_TRUE(operations({"DevSetTestMode", "DevSetOption"}).empty());
    EXPECT_TRUE(seq().lastResultFileWritten());
    EXPECT_TRUE(readFile(seq().lastResultFile()).contains("Model,ZH-6022\r\n"));
    EXPECT_EQ(seq().counters().ng, 1);
}

TEST_F(TestSequenceTest, AResultFolderThatCannotBeMadeStopsNothingElse) {
    QFile blocker(resultRootFolder(dataFolder()));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    heron("[TestParameter]\r\nAutoExit=1\r\n[DEFAULT]\r\nEnableTestResultFile=1\r\n");
    seq().pcbT1();
    clearLog();
    shortTest({yPair(0, 1, 30)});
    EXPECT_FALSE(seq().lastResultFileWritten());
    EXPECT_EQ(m_run.statusLine, "Test Fail!");
    EXPECT_TRUE(m_run.runFinished);
    EXPECT_EQ(seq().counters().ng, 1);
    EXPECT_EQ(m_view.endedWith, 1);
    EXPECT_EQ(operations({"DevSetTestMode", "DevSetOption"}),
              (std::vector<std::string>{"DevSetTestMode", "DevSetOption"}));
    EXPECT_TRUE(m_messages.shown().empty());
}

}  // namespace
}  // namespace lumora::tester
