// The connection procedure against virtual controllers, with a recording
// view in place of the page.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <vector>

#include "tester/app/controller_link.h"
#include "tester/app/link_rules.h"
#include "tests/tester/app/tester_fixture.h"

namespace lumora::tester {
namespace {

using test_support::TesterFixture;
using test_support::pump;
using test_support::waitUntil;
using Shown = host::testing::RecordingMessages::Shown;

class RecordingView : public LinkView {
public:
    void setPcbT1Enabled(bool enabled) override { t1 = enabled; }
    void setPcbT2Enabled(bool enabled) override { t2 = enabled; }
    void setTitle(const QString& t) override { title = t; }
    void refreshRunDisplays() override { ++refreshes; }
    void endProgram(int exitCode) override { endedWith = exitCode; }
    void postDeviceArrived() override { ++arrivedPosts; }
    void postDeviceRemoved() override { ++removedPosts; }
    void startCountdown() override { ++countdowns; }
    void waitForController(int ms) override {
        waited += ms;
        pump(ms);  // the mode report of a switching controller arrives meanwhile
    }
    void testRecord(TestRecordKind kind, const uint8_t*) override { records.push_back(kind); }

    bool t1 = false, t2 = false;
    QString title;
    int refreshes = 0, endedWith = -1, arrivedPosts = 0, removedPosts = 0, countdowns = 0, waited = 0;
    std::vector<TestRecordKind> records;
};

class ControllerLinkTest : public TesterFixture {
protected:
    ControllerLink& link() {
        if (!m_link)
            m_link = std::make_unique<ControllerLink>(m_view, m_config, m_run, "ZEMA", programDir());
        return *m_link;
    }
    void TearDown() override {
        m_link.reset();
        TesterFixture::TearDown();
    }

    RecordingView m_view;
    TestConfig m_config;
    RunState m_run;
    std::unique_ptr<ControllerLink> m_link;
};

// ---- Connection per family --------------------------------------------------------

struct FamilyCase {
    const char* entry;
    int typeCode;
    const char* title;
    int detectedInterface;
    int xPackets, yPackets;
};

class ConnectFamilyTest : public ControllerLinkTest,
                          public ::testing::WithParamInterface<FamilyCase> {};

TEST_P(ConnectFamilyTest, OpensIdentifiesAndLoadsThePlan) {
    const FamilyCase& c = GetParam();
    writePlan("LumoraPCBTester_Heron.ini",
              "[TestParameter]\r\nCaseName=HeronLine\r\n[DEFAULT]\r\nPCBTestMode=0\r\n");
    plug(c.entry);
    link().initialConnection();

    EXPECT_TRUE(link().isOpen());
    EXPECT_EQ(link().state().typeCode, c.typeCode);
    EXPECT_EQ(m_view.title, QString::fromLatin1(c.title));
    EXPECT_EQ(link().state().detectedInterface, c.detectedInterface);
    EXPECT_EQ(link().state().xPackets, c.xPackets);
    EXPECT_EQ(link().state().yPackets, c.yPackets);
    EXPECT_TRUE(m_messages.shown().empty()) << m_messages.shown().front().text.toStdString();
    EXPECT_TRUE(m_view.t1);
    EXPECT_EQ(m_view.t2, !isHeronFamily(c.typeCode));  // PCBTestMode 1 in the Osprey plan only
    EXPECT_TRUE(m_config.loaded());
    EXPECT_TRUE(m_trace.contains("PCAP : EnumerateHidDevices...OK\r\n"));
    EXPECT_EQ(m_trace.contains("CRC OK!\r\n"), isHeronFamily(c.typeCode));
}

INSTANTIATE_TEST_SUITE_P(
    Families, ConnectFamilyTest,
    ::testing::Values(
        FamilyCase{"osprey", 4,
                   " LumoraPCBTester v2.3.2.6 for ZEMA-Line1 (M:ZT-4030, V:4.2.17, X:40, Y:30, USB)",
                   0, 2, 1},
        FamilyCase{"osprey5:x=31,y=61", 5,
                   " LumoraPCBTester v2.3.2.6 for ZEMA-Line1 (M:ZT-5030, V:5.1.03, X:31, Y:61, USB)",
                   0, 1, 2},
        FamilyCase{"heron", 6,
                   " LumoraPCBTester v2.3.2.6 for ZEMA-HeronLine (M:ZH-6022, V:6.0.42, X:36, Y:22, USB)",
                   0, 2, 1},
        FamilyCase{"heron8", 8,
                   " LumoraPCBTester v2.3.2.6 for ZEMA-HeronLine (M:ZH-8034, V:8.1.05, X:48, Y:34, USB)",
                   0, 2, 2},
        // The bridge board is found through the UART callback.
        FamilyCase{"uart-bridge:family=osprey", 4,
                   " LumoraPCBTester v2.3.2.6 for ZEMA-Line1 (M:ZT-4030, V:4.2.17, X:40, Y:30, USB)",
                   1, 2, 1}));

// The switching controller announces its family in a mode report while the
// tester waits, so the family's plan is the one loaded.
TEST_F(ControllerLinkTest, TheSwitchingControllerGetsTheModeByteStep) {
    writePlan("LumoraPCBTester_Heron.ini", "[TestParameter]\r\nCaseName=HeronLine\r\n");
    plug("switcher:family=heron");
    ASSERT_TRUE(link().connect());
    EXPECT_EQ(m_view.waited, 1000);
    EXPECT_EQ(link().state().typeCode, 6);
    EXPECT_EQ(m_config.plan().CaseName, "HeronLine");
}

TEST_F(ControllerLinkTest, ModeReportsChangeTheTypeCode) {
    const int id = plug("osprey");
    ASSERT_TRUE(link().connect());
    uint8_t packet[64] = {};
    packet[2] = 0x36;
    packet[3] = 0x7C;
    packet[4] = 6;
    ASSERT_TRUE(vexlink::control::injectPacket(id, packet));
    EXPECT_TRUE(waitUntil([&] { return link().state().typeCode == 6; }));
    packet[3] = 0x7D;  // another sub id: not a mode report
    packet[4] = 2;
    ASSERT_TRUE(vexlink::control::injectPacket(id, packet));
    pump(100);
    EXPECT_EQ(link().state().typeCode, 6);
}

TEST_F(ControllerLinkTest, ABootLoaderAtStartIsReportedAndLetGo) {
    plug("bootloader:code=7");
    link().initialConnection();
    ASSERT_EQ(m_messages.shown().size(), 1u);
    EXPECT_EQ(m_messages.shown()[0].text,
              "Controller Error! Please make sure FPCA is connected with bridge board!\r\n");
    EXPECT_EQ(m_messages.shown()[0].caption, "Error");
    EXPECT_FALSE(link().isOpen());
    EXPECT_EQ(m_view.title, "LumoraPCBTester v2.3.2.6 for  (No Link)");
    EXPECT_FALSE(m_view.t1);
    EXPECT_FALSE(m_view.t2);
}

TEST_F(ControllerLinkTest, NoControllerLeavesTheNotConnectedTitle) {
    link().initialConnection();
    EXPECT_FALSE(link().isOpen());
    EXPECT_TRUE(m_messages.shown().empty());
    EXPECT_EQ(m_view.title, " LumoraPCBTester v2.3.2.6 for ZEMA-Demo (No Link)");
    EXPECT_FALSE(m_view.t1);
    EXPECT_FALSE(m_view.t2);
}

// ---- Parameter block check ------------------------------------------------------------

struct CheckCase {
    const char* entry;
    const char* text;     // "" = no message
    const char* caption;
    host::Icon icon;
    int endedWith;        // -1 = the program goes on
};

class ParamCheckTest : public ControllerLinkTest,
                       public ::testing::WithParamInterface<CheckCase> {};

TEST_P(ParamCheckTest, ReportsAndStillConnects) {
    const CheckCase& c = GetParam();
    plug(c.entry);
    EXPECT_TRUE(link().connect());  // none of the outcomes stops the connection
    if (*c.text == '\0') {
        EXPECT_TRUE(m_messages.shown().empty());
    } else {
        ASSERT_EQ(m_messages.shown().size(), 1u);
        EXPECT_EQ(m_messages.shown()[0].text, c.text);
        EXPECT_EQ(m_messages.shown()[0].caption, c.caption);
        EXPECT_EQ(m_messages.shown()[0].icon, c.icon);
    }
    EXPECT_EQ(m_view.endedWith, c.endedWith);
}

INSTANTIATE_TEST_SUITE_P(
    Families, ParamCheckTest,
    ::testing::Values(
        CheckCase{"osprey", "", "", host::Icon::None, -1},
        CheckCase{"osprey:failread=200", "Get Parameters Fail!", "Quillet", host::Icon::Error, -1},
        CheckCase{"osprey:failread=255", "Get Parameters Fail!", "Quillet", host::Icon::Error, -1},
        CheckCase{"osprey:failread=100", "", "", host::Icon::None, -1},  // outside 192..255
        CheckCase{"osprey:badcrc", "CRC Fail!", "Quillet", host::Icon::Error, -1},
        CheckCase{"osprey5:failread=100", "Load paremeters Fail!", "Error!", host::Icon::Error, 4},
        CheckCase{"osprey5:badcrc", "CRC Fail!", "Error!", host::Icon::Error, -1},
        CheckCase{"heron:failread=64", "Load paremeters Fail!", "Error!", host::Icon::None, -1},
        CheckCase{"heron8:badcrc", "CRC Fail!", "Error!", host::Icon::Error, -1}));

// ---- Failures of the procedure --------------------------------------------------------------

TEST_F(ControllerLinkTest, AnUnreadablePlanEndsTheProgramWithCodeFour) {
    QFile::remove(QDir(programDir()).filePath("LumoraPCBTester_Osprey.ini"));
    ASSERT_TRUE(QDir(programDir()).mkdir("LumoraPCBTester_Osprey.ini"));
    plug("osprey");
    EXPECT_FALSE(link().connect());
    ASSERT_EQ(m_messages.shown().size(), 1u);
    EXPECT_EQ(m_messages.shown()[0].text, "Read setting file error!");
    EXPECT_EQ(m_messages.shown()[0].caption, "Error");
    EXPECT_EQ(m_view.endedWith, 4);
}

TEST_F(ControllerLinkTest, AMissingPlanStillConnects) {
    QFile::remove(QDir(programDir()).filePath("LumoraPCBTester_Osprey.ini"));
    plug("osprey");
    EXPECT_TRUE(link().connect());
    EXPECT_TRUE(m_messages.shown().empty());
    EXPECT_TRUE(m_config.caseList().isEmpty());
}

// A unit pulled in the middle of the procedure gets the outcome of the step
// that fails, never a crash.
struct VanishCase {
    const char* when;  // the view call at which the unit is pulled
    const char* text;
};

class VanishTest : public ControllerLinkTest, public ::testing::WithParamInterface<VanishCase> {};

TEST_P(VanishTest, TheFailingStepIsReported) {
    struct UnpluggingView : RecordingView {
        int id = 0;
        QString when;
        void refreshRunDisplays() override {
            RecordingView::refreshRunDisplays();
            if (when == "found") vexlink::control::unplug(id);
        }
        void setPcbT1Enabled(bool enabled) override {
            RecordingView::setPcbT1Enabled(enabled);
            if (when == "identified" && enabled) vexlink::control::unplug(id);
        }
    } view;
    view.id = plug("osprey");
    view.when = QString::fromLatin1(GetParam().when);
    ControllerLink link(view, m_config, m_run, "ZEMA", programDir());
    EXPECT_FALSE(link.connect());
    ASSERT_EQ(m_messages.shown().size(), 1u);
    EXPECT_EQ(m_messages.shown()[0].text, GetParam().text);
    EXPECT_EQ(m_messages.shown()[0].caption, "Error");
    link.disconnect();
    EXPECT_FALSE(link.isOpen());
}

INSTANTIATE_TEST_SUITE_P(
    Steps, VanishTest,
    ::testing::Values(VanishCase{"found", "Open Device Fail!"},
                      // its counts then read as 0
                      VanishCase{"identified", "Query Device Information Fail!"}));

// ---- Disconnection, removal, arrival and the poll ----------------------------------------

TEST_F(ControllerLinkTest, DisconnectClearsTheRunAndDiscardsThePlan) {
    plug("osprey");
    ASSERT_TRUE(link().connect());
    link().renewTestCallbacks();
    m_run.runLog = "log";
    m_run.runInProgress = m_run.busy = true;
    link().disconnect();
    EXPECT_FALSE(link().isOpen());
    EXPECT_EQ(m_run.runLog, "");
    EXPECT_EQ(m_run.statusLine, "-");
    EXPECT_FALSE(m_run.runInProgress);
    EXPECT_FALSE(m_run.busy);
    EXPECT_FALSE(m_config.loaded());
    EXPECT_TRUE(m_config.caseList().isEmpty());
    EXPECT_EQ(m_view.title, "LumoraPCBTester v2.3.2.6 for  (No Link)");
    EXPECT_FALSE(m_view.t1);
    EXPECT_FALSE(m_view.t2);
}

TEST_F(ControllerLinkTest, OnlyTheRemovalOfTheOpenInterfaceDisconnects) {
    plug("osprey");
    link().initialConnection();
    ASSERT_TRUE(link().isOpen());
    const QString path = QString::fromLatin1(link().state().descriptor.path);
    QString other = path;
    other.replace("col05", "col04", Qt::CaseInsensitive);
    ASSERT_NE(other, path);

    link().onHotplug(VEX_DEVICE_REMOVED, other);
    link().onHotplug(VEX_DEVICE_ARRIVED, path);  // an arrival while open posts, the handler ignores it
    EXPECT_EQ(m_view.removedPosts, 0);
    link().onHotplug(VEX_DEVICE_REMOVED, path);
    EXPECT_EQ(m_view.removedPosts, 1);
    EXPECT_TRUE(m_trace.contains("[LumoraPCBTester] OnDeviceRemoval()\r\n"));
    link().onDeviceRemoved();
    EXPECT_TRUE(m_trace.contains("[LumoraPCBTester] OnDeviceRemoved()\r\n"));
    EXPECT_FALSE(link().isOpen());
    // Once closed, its removal means nothing more.
    link().onHotplug(VEX_DEVICE_REMOVED, path);
    EXPECT_EQ(m_view.removedPosts, 1);
}

TEST_F(ControllerLinkTest, PluggingRaisesOneArrivalForTheCommandCollection) {
    struct Listener {
        static void fn(void* ctx, int event, const char* path) {
            static_cast<ControllerLink*>(ctx)->onHotplug(event, QString::fromLatin1(path));
        }
    };
    VexSetHotplugListener(&Listener::fn, &link());
    plug("osprey");             // three interfaces arrive: col04, col06, col05
    plug("osprey:pid=0x6A04");  // a product id not starting with 7
    plug("osprey:cols=4+6");    // no command collection
    EXPECT_TRUE(waitUntil([&] { return m_view.arrivedPosts >= 1; }));
    pump(100);
    VexSetHotplugListener(nullptr, nullptr);
    EXPECT_EQ(m_view.arrivedPosts, 1);
}

TEST_F(ControllerLinkTest, TenFailedAttemptsAfterAnArrivalRaiseOneMessage) {
    link().onHotplug(VEX_DEVICE_ARRIVED, R"(\\?\HID#VID_2F1B&PID_7A04&col05#gone)");
    int attempts = 0;
    while (m_view.arrivedPosts > attempts && attempts < 20) {
        ++attempts;
        link().onDeviceArrived();
    }
    EXPECT_EQ(attempts, 10);
    ASSERT_EQ(m_messages.shown().size(), 1u);
    EXPECT_EQ(m_messages.shown()[0].text, "Something Wrong, No device enumerated");
    EXPECT_EQ(m_messages.shown()[0].caption, "LumoraTester");
    EXPECT_EQ(m_view.title, " LumoraPCBTester v2.3.2.6 for ZEMA-Demo (No Link)");

    // A new arrival starts the count again, and this time a unit is there.
    plug("osprey");
    link().onHotplug(VEX_DEVICE_ARRIVED, R"(\\?\HID#VID_2F1B&PID_7A04&col05#new)");
    link().onDeviceArrived();
    EXPECT_TRUE(link().isOpen());
    EXPECT_EQ(m_view.arrivedPosts, 11);
}

TEST_F(ControllerLinkTest, ThePollConnectsAndStartsTheCountdownWithAutoRun) {
    writePlan("LumoraPCBTester_Osprey.ini",
              "[TestParameter]\r\nAutoRun=1\r\nCountDownTimer=25\r\n[DEFAULT]\r\nFailStop=0\r\n");
    link().onPollTimer();
    EXPECT_TRUE(m_trace.contains("[LumoraPCBTester] Device not found!\r\n"));
    EXPECT_EQ(m_view.title, " LumoraPCBTester v2.3.2.6 for ZEMA-Demo (No Link)");

    plug("osprey");
    link().onPollTimer();
    EXPECT_TRUE(link().isOpen());
    EXPECT_TRUE(m_trace.contains("[LumoraPCBTester] Find device!\r\n"));
    EXPECT_EQ(m_view.countdowns, 1);
    EXPECT_EQ(m_run.countdown, 10);

    // Nothing while a unit is open or a run is busy.
    m_trace.clear();
    link().onPollTimer();
    EXPECT_TRUE(m_trace.lines().isEmpty());
    link().disconnect();
    m_run.busy = true;
    link().onPollTimer();
    EXPECT_FALSE(link().isOpen());
}

TEST_F(ControllerLinkTest, ThePollLetsABootLoaderGo) {
    plug("bootloader");
    link().onPollTimer();
    EXPECT_FALSE(link().isOpen());
    EXPECT_TRUE(m_messages.shown().empty());
    // The plan was loaded before the unit was let go; its label stays.
    EXPECT_EQ(m_view.title, " LumoraPCBTester v2.3.2.6 for ZEMA-Line1 (No Link)");
}

TEST_F(ControllerLinkTest, TestCallbacksReachTheViewOnlyWhileRegistered) {
    plug("osprey");
    ASSERT_TRUE(link().connect());
    link().renewTestCallbacks();
    for (VexRegistration token : link().state().testTokens) EXPECT_NE(token, 0u);
    const VexHandle h = link().state().handle;
    ASSERT_TRUE(PCAPStartShortTest(h, 1, 0, 0, 200, 200));
    ASSERT_TRUE(waitUntil([&] {
        return !m_view.records.empty() && m_view.records.back() == TestRecordKind::ShortDone;
    }, 5000));
    EXPECT_EQ(m_view.records.front(), TestRecordKind::ShortItem);

    link().disconnect();
    m_view.records.clear();
    pump(100);
    EXPECT_TRUE(m_view.records.empty());
}

TEST_F(ControllerLinkTest, TheExitSequenceClosesTheController) {
    const int id = plug("heron");
    ASSERT_TRUE(link().connect());
    link().exitSequence(true);
    EXPECT_FALSE(link().isOpen());
    bool open = true;
    for (const auto& d : vexlink::control::list())
        if (d.id == id) open = d.open;
    EXPECT_FALSE(open);
}

}  // namespace
}  // namespace lumora::tester
