#include <gtest/gtest.h>

#include "tests/tester/app/print_qt.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "tester/config/test_plan.h"

using lumora::tester::TestConfig;
using lumora::tester::TestPlan;
using lumora::tester::testPlanFileName;
using LoadResult = TestConfig::LoadResult;

namespace {

// A program folder with the Osprey family's file in it.
class TestPlanFile : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    void write(const QByteArray& text, int typeCode = 4) {
        QFile file(QDir(m_dir.path()).filePath(testPlanFileName(typeCode)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    }
    QString dir() const { return m_dir.path(); }

    QTemporaryDir m_dir;
    TestConfig m_config;
};

TEST(TestPlanFileName, FollowsTheFamilyOfTheTypeCode) {
    for (int code : {6, 8}) EXPECT_EQ(testPlanFileName(code), "LumoraPCBTester_Heron.ini");
    for (int code : {1, 4, 5, 7, 9, 0})
        EXPECT_EQ(testPlanFileName(code), "LumoraPCBTester_Osprey.ini");
}

TEST_F(TestPlanFile, AMissingFileKeepsTheDefaultsAndHasNoCaseSection) {
    EXPECT_EQ(m_config.load(4, dir()), LoadResult::Loaded);
    EXPECT_TRUE(m_config.loaded());
    EXPECT_TRUE(m_config.caseList().isEmpty());
    EXPECT_FALSE(m_config.readTestPlan(4));
    const TestPlan& p = m_config.plan();
    EXPECT_EQ(p.CaseName, "Demo");
    EXPECT_EQ(p.CountDownTimer, 3);
    EXPECT_EQ(p.ShortUpper, 600);
    EXPECT_EQ(p.PCBShortTh, 200);
    EXPECT_EQ(p.PCBADLevel, 1200);
    EXPECT_EQ(p.ADLevel2, 1800);
    EXPECT_EQ(p.RunDACCalibration, 1);
    EXPECT_EQ(p.OpenTestTxUTh, 1500);
    EXPECT_EQ(p.OpenTestRxLTh, 3500);
    EXPECT_EQ(p.ShortTestTxLTh, 3000);
    EXPECT_EQ(p.DisableTouchWhenTesting, 0);
}

TEST_F(TestPlanFile, AFolderInPlaceOfTheFileFailsTheLoad) {
    ASSERT_TRUE(QDir(dir()).mkdir("LumoraPCBTester_Heron.ini"));
    EXPECT_EQ(m_config.load(6, dir()), LoadResult::ReaderFailed);
    EXPECT_FALSE(m_config.loaded());
}

struct ClampCase {
    const char* key;
    const char* text;
    int32_t expected;
};

class ClampTest : public TestPlanFile, public testing::WithParamInterface<ClampCase> {};

TEST_P(ClampTest, ClampsTheTimes) {
    const ClampCase& c = GetParam();
    write(QByteArray("[TestParameter]\r\n") + c.key + "=" + c.text + "\r\n[DEFAULT]\r\n" + c.key +
          "=" + c.text + "\r\n");
    m_config.load(4, dir());
    ASSERT_TRUE(m_config.readTestPlan(4));
    const TestPlan& p = m_config.plan();
    const int32_t value = QByteArray(c.key) == "CountDownTimer"    ? p.CountDownTimer
                          : QByteArray(c.key) == "ADLevelTestTime" ? p.ADLevelTestTime
                                                                   : p.ADLevelTest2Time;
    EXPECT_EQ(value, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ClampTest,
    testing::Values(ClampCase{"CountDownTimer", "25", 10}, ClampCase{"CountDownTimer", "0", 1},
                    ClampCase{"CountDownTimer", "2.9", 2}, ClampCase{"CountDownTimer", "-4", 1},
                    ClampCase{"CountDownTimer", "junk", 1}, ClampCase{"CountDownTimer", "7", 7},
                    ClampCase{"ADLevelTestTime", "1", 2}, ClampCase{"ADLevelTestTime", "500", 200},
                    ClampCase{"ADLevelTestTime", "9e99", 200},
                    ClampCase{"ADLevelTest2Time", "1", 2},
                    ClampCase{"ADLevelTest2Time", "500", 200},
                    ClampCase{"ADLevelTest2Time", "37", 37}));

TEST_F(TestPlanFile, ClampsApplyEvenWhenTheKeyIsMissing) {
    write("[DEFAULT]\r\nFailStop=1\r\n");
    m_config.load(4, dir());
    m_config.plan().CountDownTimer = 40;
    m_config.plan().ADLevelTestTime = 0;
    ASSERT_TRUE(m_config.readTestPlan(4));
    EXPECT_EQ(m_config.plan().CountDownTimer, 10);
    EXPECT_EQ(m_config.plan().ADLevelTestTime, 2);
}

TEST_F(TestPlanFile, ReadsEveryKeyWithItsTypeAndKeysInOddCase) {
    write("[TESTPARAMETER]\r\n"
          "casename=Line 3\r\nCONNECTORMODE=1\r\nAutoRun=1\r\nAutoExit=1\r\n"
          "DisableTouchWhenTesting=1\r\n"
          "[default]\r\n"
          "EnableTestResultFile=1\r\nDeviceInterface=1\r\nInputInfo=1\r\nCheckModel=1\r\n"
          "ModelName=OSP-2012\r\nCheckVersion=1\r\nVersion=3.10 ;rc\r\nRunFWUpdate=1\r\n"
          "RunADLevelTest=1\r\nRunADLevelTest2=1\r\nPCBTestMode=1\r\nShortLower=-20\r\n"
          "ShortUpper=70000\r\nFailStop=1\r\nLoopTest=1\r\nPCBShortTh=40000\r\n"
          "PCBADLevel=1300.7\r\nConnTestXTh=150\r\nConnTestYTh=160\r\nADLevel2=1900\r\n"
          "ADLevel=5\r\nY3OpenLower=7\r\nTargetModel=X\r\n");
    m_config.load(4, dir());
    ASSERT_TRUE(m_config.readTestPlan(4));
    const TestPlan& p = m_config.plan();
    EXPECT_EQ(p.CaseName, "Line 3");
    EXPECT_EQ(p.ConnectorMode, 1);
    EXPECT_EQ(p.AutoRun, 1);
    EXPECT_EQ(p.AutoExit, 1);
    EXPECT_EQ(p.DisableTouchWhenTesting, 1);
    EXPECT_EQ(p.EnableTestResultFile, 1);
    EXPECT_EQ(p.DeviceInterface, 1);
    EXPECT_EQ(p.InputInfo, 1);
    EXPECT_EQ(p.CheckModel, 1);
    EXPECT_EQ(p.ModelName, "OSP-2012");
    EXPECT_EQ(p.CheckVersion, 1);
    EXPECT_EQ(p.Version, "3.10 ;rc");
    EXPECT_EQ(p.RunFWUpdate, 1);
    EXPECT_EQ(p.RunADLevelTest, 1);
    EXPECT_EQ(p.RunADLevelTest2, 1);
    EXPECT_EQ(p.PCBTestMode, 1);
    EXPECT_EQ(p.ShortLower, -20);
    EXPECT_EQ(p.ShortUpper, 4464);    // 70000 keeps its low 16 bits
    EXPECT_EQ(p.PCBShortTh, -25536);  // 40000 as a signed 16-bit number
    EXPECT_EQ(p.PCBADLevel, 1300);
    EXPECT_EQ(p.ConnTestXTh, 150);
    EXPECT_EQ(p.ConnTestYTh, 160);
    EXPECT_EQ(p.ADLevel2, 1900);
    EXPECT_EQ(p.FailStop, 1);
    EXPECT_EQ(p.LoopTest, 1);
}

TEST_F(TestPlanFile, FamilyKeysAreReadOnlyForTheirFamily) {
    const QByteArray text = "[DEFAULT]\r\nPCBShortTh=111\r\nPCBADLevel=222\r\nConnTestXTh=333\r\n"
                            "ConnTestYTh=444\r\nADLevel2=555\r\nRunDACCalibration=0\r\n"
                            "OpenTestTxUTh=666\r\nOpenTestRxLTh=777\r\nShortTestTxLTh=888\r\n";
    for (int code : {4, 5, 6, 8, 9}) {
        SCOPED_TRACE(code);
        write(text, code);
        TestConfig config;
        config.load(code, dir());
        ASSERT_TRUE(config.readTestPlan(code));
        const TestPlan& p = config.plan();
        const bool osprey = code == 4 || code == 5, heron = code == 6 || code == 8;
        EXPECT_EQ(p.PCBShortTh, osprey ? 111 : 200);
        EXPECT_EQ(p.PCBADLevel, osprey ? 222 : 1200);
        EXPECT_EQ(p.ConnTestXTh, osprey ? 333 : 100);
        EXPECT_EQ(p.ConnTestYTh, osprey ? 444 : 100);
        EXPECT_EQ(p.ADLevel2, osprey ? 555 : 1800);
        EXPECT_EQ(p.RunDACCalibration, heron ? 0 : 1);
        EXPECT_EQ(p.OpenTestTxUTh, heron ? 666 : 1500);
        EXPECT_EQ(p.OpenTestRxLTh, heron ? 777 : 3500);
        EXPECT_EQ(p.ShortTestTxLTh, heron ? 888 : 3000);
    }
}

TEST_F(TestPlanFile, EmptyValuesAndDeletedKeysKeepTheEarlierValue) {
    write("[TestParameter]\r\nCaseName=First\r\nAutoRun=1\r\n"
          "[DEFAULT]\r\nPCBShortTh=300\r\nModelName=M1\r\nShortLower=\r\n");
    m_config.load(4, dir());
    ASSERT_TRUE(m_config.readTestPlan(4));
    EXPECT_EQ(m_config.plan().PCBShortTh, 300);
    EXPECT_EQ(m_config.plan().ShortLower, 0);

    // The operator edits the file between two runs.
    write("[TestParameter]\r\nCaseName=Second\r\nCountDownTimer=5\r\n"
          "[DEFAULT]\r\nPCBShortTh=\r\nFailStop=1\r\n");
    ASSERT_TRUE(m_config.readTestPlan(4));
    EXPECT_EQ(m_config.plan().PCBShortTh, 300);  // not back to the default of 200
    EXPECT_EQ(m_config.plan().ModelName, "M1");
    EXPECT_EQ(m_config.plan().AutoRun, 1);
    EXPECT_EQ(m_config.plan().CountDownTimer, 5);
    EXPECT_EQ(m_config.plan().FailStop, 1);
    // CaseName is read once per connection, at load.
    EXPECT_EQ(m_config.plan().CaseName, "First");
    EXPECT_EQ(m_config.load(4, dir()), LoadResult::AlreadyLoaded);
    EXPECT_EQ(m_config.plan().CaseName, "First");
    m_config.discard();
    EXPECT_EQ(m_config.load(4, dir()), LoadResult::Loaded);
    EXPECT_EQ(m_config.plan().CaseName, "Second");
}

TEST_F(TestPlanFile, DisableTouchIsReadOnlyWithACaseSection) {
    write("[TestParameter]\r\nDisableTouchWhenTesting=1\r\n[USB]\r\nFailStop=1\r\n");
    m_config.load(4, dir());
    EXPECT_FALSE(m_config.readTestPlan(4));  // looks for [DEFAULT]
    EXPECT_EQ(m_config.plan().DisableTouchWhenTesting, 0);
    m_config.chooseCaseForPcbT1();
    EXPECT_TRUE(m_config.readTestPlan(4));
    EXPECT_EQ(m_config.plan().DisableTouchWhenTesting, 1);
}

// The case section per interface, for the two ways a run starts.
struct CaseChoice {
    const char* file;
    bool pcbT1;         // else "Start Test"
    int interface;      // DeviceInterface for PCB T1, the detected one for Start Test
    const char* chosen; // the case section read; "" = none of the list
    bool reads;
};

class CaseChoiceTest : public TestPlanFile, public testing::WithParamInterface<CaseChoice> {};

TEST_P(CaseChoiceTest, ChoosesTheSectionOfTheInterface) {
    const CaseChoice& c = GetParam();
    write(c.file);
    m_config.load(4, dir());
    m_config.plan().DeviceInterface = c.interface;
    if (c.pcbT1)
        m_config.chooseCaseForPcbT1();
    else
        m_config.chooseCaseForStartTest(c.interface);
    EXPECT_EQ(m_config.caseName(), c.chosen);
    EXPECT_EQ(m_config.readTestPlan(4), c.reads);
}

constexpr const char* kDefaultOnly = "[TestParameter]\r\nAutoRun=0\r\n[DEFAULT]\r\nFailStop=1\r\n";
constexpr const char* kUsbOnly = "[TestParameter]\r\nAutoRun=0\r\n[USB]\r\nDeviceInterface=0\r\n";
constexpr const char* kAll =
    "[DEFAULT]\r\nFailStop=1\r\n[UART]\r\nDeviceInterface=1\r\n[USB]\r\nDeviceInterface=0\r\n";
constexpr const char* kLowerCase = "[usb]\r\nFailStop=1\r\n[DEFAULT]\r\nFailStop=1\r\n";

INSTANTIATE_TEST_SUITE_P(
    Table, CaseChoiceTest,
    testing::Values(CaseChoice{kDefaultOnly, true, 0, "DEFAULT", true},
                    CaseChoice{kDefaultOnly, true, 1, "DEFAULT", true},
                    CaseChoice{kDefaultOnly, false, 0, "DEFAULT", true},
                    CaseChoice{kDefaultOnly, false, 1, "DEFAULT", true},
                    CaseChoice{kUsbOnly, true, 0, "USB", true},
                    CaseChoice{kUsbOnly, false, 0, "USB", true},
                    CaseChoice{kUsbOnly, false, 1, "", false},  // a UART unit fails to read
                    CaseChoice{kAll, true, 1, "UART", true},
                    CaseChoice{kAll, false, 0, "USB", true},
                    CaseChoice{kAll, true, 2, "DEFAULT", true},
                    // the list is searched by exact name
                    CaseChoice{kLowerCase, false, 0, "DEFAULT", true}));

TEST_F(TestPlanFile, ASelectedCaseStaysForTheConnection) {
    write(kAll);
    m_config.load(4, dir());
    m_config.chooseCaseForPcbT1();  // DeviceInterface 0
    EXPECT_EQ(m_config.selectedCase(), "USB");
    m_config.chooseCaseForStartTest(1);
    EXPECT_EQ(m_config.caseName(), "USB");

    // A new connection chooses again.
    m_config.clearSelection();
    m_config.chooseCaseForStartTest(1);
    EXPECT_EQ(m_config.caseName(), "UART");

    // Discarding empties the list and the choice.
    m_config.discard();
    EXPECT_FALSE(m_config.loaded());
    EXPECT_TRUE(m_config.caseList().isEmpty());
    EXPECT_EQ(m_config.selectedCase(), "");
    EXPECT_FALSE(m_config.readTestPlan(4));
}

// The section chosen by "PCB T1" outlives the unit: the next unit's first
// reading uses it, until "Start Test" clears the name. A file without that
// section falls back to its [DEFAULT] when "PCB T1" chooses.
TEST_F(TestPlanFile, TheCaseNameOfTheUnitBeforeIsReadUntilStartTest) {
    write("[DEFAULT]\r\nPCBTestMode=0\r\n[USB]\r\nPCBTestMode=1\r\n");
    m_config.load(4, dir());
    EXPECT_EQ(m_config.plan().PCBTestMode, 0);
    m_config.chooseCaseForPcbT1();
    ASSERT_TRUE(m_config.readTestPlan(4));
    EXPECT_EQ(m_config.plan().PCBTestMode, 1);

    m_config.discard();
    m_config.plan().PCBTestMode = 0;
    m_config.load(4, dir());
    EXPECT_EQ(m_config.caseName(), "USB");
    EXPECT_EQ(m_config.plan().PCBTestMode, 1);

    write("[DEFAULT]\r\nPCBTestMode=0\r\n");
    m_config.discard();
    m_config.load(4, dir());
    EXPECT_EQ(m_config.plan().PCBTestMode, 1);  // [USB] is gone: the reading failed
    m_config.chooseCaseForPcbT1();
    EXPECT_EQ(m_config.caseName(), "DEFAULT");
    ASSERT_TRUE(m_config.readTestPlan(4));
    EXPECT_EQ(m_config.plan().PCBTestMode, 0);
}

TEST_F(TestPlanFile, CaseListHoldsEverySectionButTestParameter) {
    write("[DEFAULT]\r\nA=1\r\n[testparameter]\r\nAutoRun=1\r\n[Line2]\r\n[UART]\r\nB=1\r\n");
    m_config.load(4, dir());
    EXPECT_EQ(m_config.caseList(), QStringList({"DEFAULT", "Line2", "UART"}));
}

}  // namespace
