// Calls of the tester that the controller's state alone would not show, pinned
// through the virtual device's command log: the report id handed back at
// exit, the touch switch after the first search, the countdown that only the
// 3-second search starts, the id pairs of the search, and the case section
// chosen when the plan's interface and the detected one differ.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tester/app/controller_link.h"
#include "tester/app/test_page.h"
#include "tests/tester/app/tester_fixture.h"

namespace lumora::tester {
namespace {

namespace control = vexlink::control;
using test_support::TesterFixture;
using test_support::pump;
using test_support::waitUntil;

class CountingView : public LinkView {
public:
    void setPcbT1Enabled(bool) override {}
    void setPcbT2Enabled(bool) override {}
    void setTitle(const QString& t) override { title = t; }
    void refreshRunDisplays() override {}
    void endProgram(int) override {}
    void postDeviceArrived() override { ++arrivedPosts; }
    void postDeviceRemoved() override {}
    void startCountdown() override { ++countdowns; }
    void waitForController(int ms) override { pump(ms); }
    void testRecord(TestRecordKind, const uint8_t*) override {}

    QString title;
    int arrivedPosts = 0, countdowns = 0;
};

class HardeningTest : public TesterFixture {
protected:
    ControllerLink& link() {
        if (!m_link) m_link = std::make_unique<ControllerLink>(m_view, m_config, m_run, "ZEMA", programDir());
        return *m_link;
    }
    void TearDown() override {
        m_link.reset();
        TesterFixture::TearDown();
    }
    // The plan of both families, with these [TestParameter] and [DEFAULT] lines.
    void writePlans(const std::string& testParameter, const std::string& defaults) {
        const std::string text = "[TestParameter]\r\n" + testParameter + "[DEFAULT]\r\nFailStop=0\r\n" + defaults;
        writePlan("LumoraPCBTester_Osprey.ini", text.c_str());
        writePlan("LumoraPCBTester_Heron.ini", text.c_str());
    }

    CountingView m_view;
    TestConfig m_config;
    RunState m_run;
    std::unique_ptr<ControllerLink> m_link;
};

// ---- The report id at exit -------------------------------------------------------------

// The page's exit hands the controller its report id back: 4 for the Osprey
// family, 6 for Heron (this host counts as a modern multitouch host).
TEST_F(HardeningTest, ThePagesExitSendsTheReportIdOfTheFamily) {
    const struct {
        const char* entry;
        int reportId;
    } cases[] = {{"osprey", 4}, {"osprey5", 4}, {"heron", 6}, {"heron8", 6}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entry);
        const int id = plug(c.entry);
        {
            CTestPage page(programDir());
            page.initialise();
            ASSERT_TRUE(page.link().isOpen());
            ASSERT_TRUE(control::clearCommandLog(id));
            page.shutdown();
        }
        const auto log = control::commandLog(id);
        ASSERT_EQ(control::operationsOf(log, {"SetReportId"}), std::vector<std::string>{"SetReportId"});
        for (const auto& r : log) {
            if (r.operation == "SetReportId") {
                EXPECT_EQ(r.u8(0), c.reportId);
            }
        }
        control::DeviceStatus status;
        ASSERT_TRUE(control::status(id, &status));
        EXPECT_EQ(status.reportId, c.reportId);
        EXPECT_EQ(status.connections, 0);
        control::configure("");
    }
}

TEST_F(HardeningTest, AnOlderHostGetsTheLegacyReportIdAndABootLoaderNone) {
    const struct {
        const char* entry;
        bool modernHost;
        int reportId;  // -1: none sent
    } cases[] = {{"osprey", false, 1}, {"heron", false, 1}, {"bootloader", true, -1},
                 {"bootloader:code=7", false, -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.entry) + (c.modernHost ? " modern" : " older host"));
        const int id = plug(c.entry);
        ASSERT_TRUE(link().connect());
        ASSERT_TRUE(control::clearCommandLog(id));
        link().exitSequence(c.modernHost);
        const auto log = control::commandLog(id);
        const std::vector<std::string> sent = control::operationsOf(log, {"SetReportId"});
        if (c.reportId < 0) {
            EXPECT_TRUE(sent.empty());
        } else {
            ASSERT_EQ(sent.size(), 1u);
            for (const auto& r : log) {
                if (r.operation == "SetReportId") {
                    EXPECT_EQ(r.u8(0), c.reportId);
                }
            }
        }
        EXPECT_FALSE(link().isOpen());
        control::configure("");
    }
}

// ---- The first search and DisableTouchWhenTesting ------------------------------------

// After the first search, a plan with DisableTouchWhenTesting silences the
// touch reports the family's way: DevSetOption(2, 0) for Heron, the raw-point
// stream for the Osprey family; without it the stream is stopped again.
TEST_F(HardeningTest, DisableTouchActsTheWayOfTheFamily) {
    const struct {
        const char* entry;
        int disable;
        std::vector<std::string> calls;  // PCAPGetRawPoint and DevSetOption, in order
    } cases[] = {
        {"osprey", 1, {"PCAPGetRawPoint"}},
        {"osprey5", 1, {"PCAPGetRawPoint"}},
        {"heron", 1, {"DevSetOption"}},
        {"heron8", 1, {"DevSetOption"}},
        {"osprey", 0, {}},
        {"heron", 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.entry) + " DisableTouchWhenTesting=" + std::to_string(c.disable));
        writePlans("DisableTouchWhenTesting=" + std::to_string(c.disable) + "\r\n", "");
        const int id = plug(c.entry);
        link().initialConnection();
        ASSERT_TRUE(link().isOpen());
        const auto log = control::commandLog(id);
        EXPECT_EQ(control::operationsOf(log, {"PCAPGetRawPoint", "DevSetOption"}), c.calls);
        for (const auto& r : log) {
            if (r.operation == "DevSetOption") {
                EXPECT_EQ(r.u8(0), 2);
                EXPECT_EQ(r.u8(1), 0);
            }
        }
        // The last call of the first search: the touch switch, or the stream stopped again.
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log.back().operation, c.calls.empty() ? "PCAPStopGetData" : c.calls.back());
        control::DeviceStatus status;
        ASSERT_TRUE(control::status(id, &status));
        EXPECT_EQ(status.stream, c.calls == std::vector<std::string>{"PCAPGetRawPoint"} ? 2 : 0);
        link().disconnect();
        control::configure("");
    }
}

// ---- The AutoRun countdown -------------------------------------------------------------

// Only a connection made by the 3-second search starts the countdown; the
// first search and a connection after an arrival do not.
TEST_F(HardeningTest, OnlyThePollsConnectionStartsTheCountdown) {
    writePlans("AutoRun=1\r\nCountDownTimer=4\r\n", "");
    const struct {
        const char* how;
        int countdowns;
    } cases[] = {{"first search", 0}, {"arrival", 0}, {"poll", 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        m_view.countdowns = 0;
        m_run.countdown = 0;
        plug("osprey");
        const std::string how = c.how;
        if (how == "first search") {
            link().initialConnection();
        } else if (how == "arrival") {
            link().onHotplug(VEX_DEVICE_ARRIVED, QString::fromStdString(control::list().front().path));
            ASSERT_EQ(m_view.arrivedPosts, 1);
            m_view.arrivedPosts = 0;
            link().onDeviceArrived();
        } else {
            link().onPollTimer();
        }
        ASSERT_TRUE(link().isOpen());
        EXPECT_EQ(m_view.countdowns, c.countdowns);
        EXPECT_EQ(m_run.countdown, c.countdowns ? 4 : 0);
        link().disconnect();
        control::configure("");
    }
}

// ---- RunFWUpdate ---------------------------------------------------------------------

// With RunFWUpdate a failed poll attempt, made while the last type code read
// was a boot loader's, is traced as "Find device!" and ends in a disconnect;
// without it, as any failed attempt.
TEST_F(HardeningTest, RunFWUpdateTurnsAFailedAttemptAfterABootLoaderIntoFindDevice) {
    for (const int runFwUpdate : {0, 1}) {
        SCOPED_TRACE(runFwUpdate);
        writePlans("", "RunFWUpdate=" + std::to_string(runFwUpdate) + "\r\n");
        m_link.reset();
        plug("bootloader");
        link().onPollTimer();  // found, the plan read, the boot loader let go
        ASSERT_FALSE(link().isOpen());
        ASSERT_EQ(link().state().typeCode, 1);
        control::configure("");
        m_trace.clear();
        link().onPollTimer();  // nothing there
        EXPECT_EQ(m_trace.contains("[LumoraPCBTester] Find device!\r\n"), runFwUpdate == 1);
        EXPECT_EQ(m_trace.contains("[LumoraPCBTester] Device not found!\r\n"), runFwUpdate == 0);
        EXPECT_FALSE(link().isOpen());
        EXPECT_EQ(m_view.countdowns, 0);
        EXPECT_EQ(m_view.title, " LumoraPCBTester v2.3.2.6 for ZEMA-Demo (No Link)");
    }
}

// ---- The search by ids -------------------------------------------------------------------

TEST_F(HardeningTest, EachIdPairOfTheSearchFindsItsController) {
    const struct {
        const char* ids;
        const char* inPath;
    } pairs[] = {
        {"vid=0x20AC,pid=0x0E01", "VID_20AC&PID_0E01"}, {"vid=0x20AC,pid=0x0E02", "VID_20AC&PID_0E02"},
        {"vid=0x20AC,pid=0x0F01", "VID_20AC&PID_0F01"}, {"vid=0x04E7,pid=0x006E", "VID_04E7&PID_006E"},
        {"vid=0x04E7,pid=0x006F", "VID_04E7&PID_006F"}, {"vid=0x04E7,pid=0x006C", "VID_04E7&PID_006C"},
    };
    for (const auto& pair : pairs) {
        SCOPED_TRACE(pair.ids);
        plug(std::string("osprey:") + pair.ids);
        ASSERT_TRUE(link().connect());
        EXPECT_NE(std::strstr(link().state().descriptor.path, pair.inPath), nullptr)
            << link().state().descriptor.path;
        EXPECT_EQ(link().state().detectedInterface, 0);
        EXPECT_EQ(link().state().typeCode, 4);
        link().disconnect();
        control::configure("");
    }
}

// ---- Case choice when the interfaces differ ------------------------------------------

// "PCB T1" follows the plan's DeviceInterface, "Start Test" the interface the
// unit was found through; rows where the two differ show which one is used.
TEST_F(HardeningTest, CaseChoiceFollowsThePlanForPcbT1AndTheDetectedInterfaceForStartTest) {
    constexpr const char* kAll =
        "[DEFAULT]\r\nFailStop=1\r\n[UART]\r\nDeviceInterface=1\r\n[USB]\r\nDeviceInterface=0\r\n";
    constexpr const char* kUsbOnly = "[TestParameter]\r\nAutoRun=0\r\n[USB]\r\nDeviceInterface=0\r\n";
    const struct {
        const char* file;
        bool pcbT1;             // else "Start Test"
        int deviceInterface;    // the plan's
        int detectedInterface;  // the unit's
        const char* chosen;
        bool reads;
    } rows[] = {
        {kAll, true, 1, 0, "UART", true},
        {kAll, true, 0, 1, "USB", true},
        {kAll, false, 1, 0, "USB", true},
        {kAll, false, 0, 1, "UART", true},
        {kUsbOnly, true, 0, 1, "USB", true},
        {kUsbOnly, false, 0, 1, "", false},  // a UART unit under a USB-only plan
        {kUsbOnly, false, 1, 0, "USB", true},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << (r.pcbT1 ? "PCB T1" : "Start Test") << ", plan "
                                        << r.deviceInterface << ", unit " << r.detectedInterface);
        writePlan("LumoraPCBTester_Osprey.ini", r.file);
        TestConfig config;
        ASSERT_EQ(config.load(4, programDir()), TestConfig::LoadResult::Loaded);
        config.plan().DeviceInterface = r.deviceInterface;
        if (r.pcbT1)
            config.chooseCaseForPcbT1();
        else
            config.chooseCaseForStartTest(r.detectedInterface);
        EXPECT_EQ(config.caseName(), r.chosen);
        EXPECT_EQ(config.readTestPlan(4), r.reads);
    }
}

}  // namespace
}  // namespace lumora::tester
