// Start-up and exit of the tuner against virtual controllers, with the
// message boxes and the trace recorded.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "device/vexlink.h"
#include "host/single_instance.h"
#include "host/testing/doubles.h"
#include "tuner/app/device_state.h"
#include "tuner/app/page_table.h"
#include "tuner/app/startup.h"
#include "vexlink/virtual/control.h"

namespace lumora {
namespace {

using host::testing::CapturedTrace;
using host::testing::RecordingMessages;

const QString kBase = "LumoraTuner_Release v2.3.2.6 for ACME";

// The single-instance name of this test process: a tuner running on the
// machine, or the tests of another build tree, never meet it.
QString lockName() { return QStringLiteral("LUMORA_TUNER_TEST_%1").arg(getpid()); }

int deviceIdOfEntry(const std::string& entryStart) {
    for (const auto& d : vexlink::control::list())
        if (d.entry.rfind(entryStart, 0) == 0) return d.id;
    return 0;
}

class StartupTest : public ::testing::Test {
protected:
    void TearDown() override {
        runExitSequence(state, true);
        vexlink::control::configure("");
    }

    // Plugs `devices`, lets `prepare` set them up, then runs the start-up.
    StartupOutcome start(const std::string& devices, const std::function<void()>& prepare = {}) {
        EXPECT_EQ(vexlink::control::configure(devices), "");
        if (prepare) prepare();
        TunerStartup startup(state, "ACME", lockName());
        return startup.run();
    }

    // Every message box as "text|caption".
    QStringList shown() const {
        QStringList out;
        for (const auto& m : messages.shown()) out << m.text + "|" + m.caption;
        return out;
    }

    RecordingMessages messages;
    CapturedTrace trace;
    DeviceState state;
};

// One row per controller class and per row of the failure table that ends
// in a window.
TEST_F(StartupTest, TitlePagesAndMessagesPerAttachedDevice) {
    const struct {
        const char* devices;
        const char* title;  // after "... for ACME"
        int pageSet;
        const char* message;  // "text|caption", or "" for none
    } cases[] = {
        {"osprey:x=41,y=29,model=M4,fw=V4", " (Model:M4, X:41, Y:29, Ver:V4)", 4, ""},
        // 5 keeps the identity in the title but gets no page; 5, 6 and 8
        // have a blank before ")".
        {"osprey5:x=41,y=29,model=M5,fw=V5", " (Model:M5, X:41, Y:29, Ver:V5 )", kNoPageSet, ""},
        {"heron:x=36,y=22,model=H6,fw=V6", " (Model:H6, X:36, Y:22, Ver:V6 )", 6, ""},
        {"heron8:x=48,y=34,model=H8,fw=V8", " (Model:H8, X:48, Y:34, Ver:V8 )", 8, ""},
        {"bootloader:code=1", "", kNoPageSet, "Loader!|Quillet"},
        {"bootloader:code=2", "", kNoPageSet, "Loader!|Quillet"},
        {"bootloader:code=3", "", kNoPageSet, "Loader!|Quillet"},
        {"bootloader:code=7", "", kNoPageSet, "Loader!|Quillet"},
        {"switcher", "", kNoPageSet, ""},  // code 9: not one the tuner knows
        {"pwm-tester", "", kPwmTesterPageSet, ""},
        {"", "- No-Link", kNoPageSet, "ZEMA Device not Found!|Quillet"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.devices);
        messages.clear();
        const StartupOutcome out = start(c.devices);
        EXPECT_TRUE(out.showSheet);
        EXPECT_EQ(out.title, kBase + c.title);
        EXPECT_EQ(out.pageSet, c.pageSet);
        EXPECT_EQ(shown(), *c.message ? QStringList{c.message} : QStringList{});
        EXPECT_FALSE(out.placeholder.isEmpty());
        EXPECT_EQ(state.titleBase, "LumoraTuner_Release v2.3.2.6 for ");
        EXPECT_EQ(state.restoreReportId, 1);
        EXPECT_EQ(state.tester, 0u);  // the PWM tester is never left open
        runExitSequence(state, true);
    }
}

TEST_F(StartupTest, SecondInstanceEndsBeforeLookingForTheController) {
    host::SingleInstanceLock running(lockName());
    ASSERT_FALSE(running.alreadyRunning());
    const StartupOutcome out = start("osprey");
    EXPECT_FALSE(out.showSheet);
    EXPECT_EQ(shown(), QStringList{"LUMORA_TUNER is already running|Warning!"});
    EXPECT_EQ(state.controller, 0u);
    EXPECT_FALSE(vexlink::control::list().at(0).open);
}

TEST_F(StartupTest, ControllerThatDoesNotOpenEndsWithoutWindow) {
    // Collection 03 is taken (it is not 04 or 06) but is no command interface.
    const StartupOutcome out = start("osprey:cols=3");
    EXPECT_FALSE(out.showSheet);
    EXPECT_NE(out.exitCode, 0);
    EXPECT_EQ(shown(), QStringList{"OpenHIDDevice Fail!| Error"});
    EXPECT_EQ(state.controller, 0u);
    EXPECT_TRUE(trace.contains("PCAP : EnumerateHidDevices...OK\r\n"));
}

TEST_F(StartupTest, SkippedCollectionsLeadToTheTesterSearch) {
    const struct {
        const char* devices;
        const char* title;
        int pageSet;
        const char* message;
    } cases[] = {
        {"osprey:cols=4+6;pwm-tester", "", kPwmTesterPageSet, ""},
        {"osprey:cols=6+4", "- No-Link", kNoPageSet, "ZEMA Device not Found!|Quillet"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.devices);
        messages.clear();
        trace.clear();
        const StartupOutcome out = start(c.devices);
        EXPECT_EQ(state.controller, 0u);
        EXPECT_EQ(state.controllerDescriptor.path[0], '\0');
        EXPECT_EQ(out.title, kBase + c.title);
        EXPECT_EQ(out.pageSet, c.pageSet);
        EXPECT_EQ(shown(), *c.message ? QStringList{c.message} : QStringList{});
        EXPECT_FALSE(trace.contains("PCAP : EnumerateHidDevices...OK\r\n"));
        EXPECT_EQ(trace.contains("PCAP : EnumeratePWMDevices...OK\r\n"), c.pageSet == kPwmTesterPageSet);
        for (const auto& d : vexlink::control::list()) EXPECT_FALSE(d.open) << d.entry;
    }
}

TEST_F(StartupTest, SearchByIdsStopsAtTheFirstPairThatYieldsAPath) {
    // The library recognises none of these as a controller by itself. The
    // first pair offers only skipped collections, the second a path; the
    // fourth pair must then never be asked.
    const StartupOutcome out = start(
        "osprey:vid=0x20AC,pid=0x0E01,cols=4+6;"
        "pwm-tester:vid=0x04E7,pid=0x006E;"
        "pwm-tester:vid=0x20AC,pid=0x0E02");
    ASSERT_NE(state.controller, 0u);
    EXPECT_NE(std::strstr(state.controllerDescriptor.path, "VID_20AC&PID_0E02"), nullptr)
        << state.controllerDescriptor.path;
    EXPECT_EQ(state.controllerDescriptor.value1, 0x20AC0E02u);
    EXPECT_FALSE(trace.text().contains("VID_04E7")) << trace.text().toStdString();
    EXPECT_TRUE(out.showSheet);
    EXPECT_EQ(out.title, kBase);  // not a type code with an identity suffix
}

// Every pair of the search by ids finds a controller that the library does
// not recognise by itself.
TEST_F(StartupTest, EachIdPairOfTheSearchFindsItsController) {
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
        const StartupOutcome out = start(std::string("osprey:") + pair.ids);
        ASSERT_NE(state.controller, 0u);
        EXPECT_NE(std::strstr(state.controllerDescriptor.path, pair.inPath), nullptr)
            << state.controllerDescriptor.path;
        EXPECT_EQ(state.typeCode, 4);
        EXPECT_EQ(out.pageSet, 4);
        runExitSequence(state, true);
    }
}

TEST_F(StartupTest, IdentificationKeepsThePathAsReceived) {
    start("osprey:model=ZT-4030,fw=4.2.17");
    ASSERT_NE(state.controller, 0u);
    const auto devices = vexlink::control::list();
    ASSERT_EQ(devices.size(), 1u);
    // The skip rule looks at the path in upper case; the stored path keeps
    // its own ("&col05" stays lower case).
    EXPECT_STREQ(state.controllerDescriptor.path, devices[0].path.c_str());
    EXPECT_NE(std::strstr(state.controllerDescriptor.path, "&col05"), nullptr);
    EXPECT_EQ(state.controllerDescriptor.value2, 5u);
    EXPECT_EQ(state.typeCode, 4);
    EXPECT_EQ(state.modelName, "ZT-4030");
    EXPECT_EQ(state.fwVersion, "4.2.17");
    EXPECT_FALSE(state.typeName.isEmpty());
    EXPECT_NE(state.pcapInfo[2] | state.pcapInfo[3], 0);  // physical X
    EXPECT_TRUE(trace.contains("Find HID Device\n"));
    EXPECT_TRUE(trace.contains("PCAP : EnumerateHidDevices...OK\r\n"));
}

TEST_F(StartupTest, IdentificationFailuresAreOnlyTraced) {
    // A device without identity queries behind a controller id pair.
    const StartupOutcome out = start("pwm-tester:vid=0x20AC,pid=0x0E01");
    ASSERT_NE(state.controller, 0u);
    EXPECT_TRUE(out.showSheet);
    EXPECT_TRUE(messages.shown().empty());
    EXPECT_TRUE(trace.contains("[LumoraTuner] GetDevModelName Fail!\r\n"));
    EXPECT_TRUE(trace.contains("[LumoraTuner] GetDevTypeName Fail!\r\n"));
    EXPECT_TRUE(trace.contains("[LumoraTuner] GetDevFWVersion Fail!\r\n"));
    EXPECT_TRUE(state.modelName.isEmpty());
    EXPECT_TRUE(state.typeName.isEmpty());
    EXPECT_TRUE(state.fwVersion.isEmpty());
}

TEST_F(StartupTest, XAboveYComparesTheSignedCounts) {
    const struct {
        const char* devices;
        int xAboveY;
    } cases[] = {
        {"osprey:x=41,y=29", 1},
        {"osprey:x=29,y=41", 0},
        {"osprey:x=30,y=30", 0},
        {"heron:x=23,y=22", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.devices);
        start(c.devices);
        EXPECT_EQ(state.xAboveY, c.xAboveY);
        runExitSequence(state, true);
    }
}

// Counts of 128 and more arrive as negative signed bytes: they print as
// negative numbers in the title and compare as negative.
TEST_F(StartupTest, CountsOf128AndMoreAreNegative) {
    const StartupOutcome out = start("osprey:x=200,y=30,model=M,fw=V");
    EXPECT_EQ(out.title, kBase + " (Model:M, X:-56, Y:30, Ver:V)");
    EXPECT_EQ(state.xAboveY, 0);
}

TEST_F(StartupTest, FrequencyTableFlagFromWord191) {
    const struct {
        const char* name;
        const char* devices;
        int word;  // written before start-up, -1 for the default memory
        int hasFreqTable;
    } cases[] = {
        {"table present", "osprey", 0x1234, 1},
        {"erased word", "osprey", 0xFFFF, 0},
        {"read fails", "osprey:failread=191", -1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        start(c.devices, [&] {
            if (c.word >= 0) {
                ASSERT_TRUE(vexlink::control::setWord(deviceIdOfEntry("osprey"), 191, uint16_t(c.word)));
            }
        });
        ASSERT_EQ(state.typeCode, 4);
        EXPECT_EQ(state.hasFreqTable, c.hasFreqTable);
        runExitSequence(state, true);
    }
}

// What the exit sequence sends and leaves in the controller: a stream
// running, the filter off and report id 9 are set up before it runs. The
// command log shows each call, since closing the handle alone also stops the
// stream.
TEST_F(StartupTest, ExitSequenceRestoresTheControllerPerTypeCode) {
    const struct {
        const char* devices;
        bool modernHost;
        int reportId;        // what the controller holds afterwards
        bool commands;       // stream stop and filter on were sent
        int sentReportId;    // the SetReportId argument, -1 for none
        const char* traced;  // the report-id trace lines
    } cases[] = {
        {"osprey", true, 4, true, 4, "[LumoraTester] Change report ID\r\nSetReportId: 0x04\r\n"},
        {"osprey5", true, 4, true, 4, "[LumoraTester] Change report ID\r\nSetReportId: 0x04\r\n"},
        {"heron", true, 6, true, 6, "[LumoraTester] Change report ID\r\nSetReportId: 0x06\r\n"},
        {"heron8", true, 6, true, 6, "[LumoraTester] Change report ID\r\nSetReportId: 0x06\r\n"},
        {"switcher", true, 9, true, -1, "[LumoraTester] Change report ID\r\n"},
        {"bootloader:code=1", true, 9, true, -1, "[LumoraTester] Change report ID\r\n"},
        {"bootloader:code=3", true, 9, true, -1, "[LumoraTester] Change report ID\r\n"},
        {"bootloader:code=7", true, 9, true, -1, "[LumoraTester] Change report ID\r\n"},
        {"bootloader:code=2", true, 9, false, -1, ""},
        {"osprey", false, 1, true, 1, "[LumoraTester] Change report ID\r\nSetReportId: OldId\r\n"},
        {"heron", false, 1, true, 1, "[LumoraTester] Change report ID\r\nSetReportId: OldId\r\n"},
        {"bootloader:code=7", false, 1, true, 1, "[LumoraTester] Change report ID\r\nSetReportId: OldId\r\n"},
        {"bootloader:code=2", false, 9, false, -1, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.devices) + (c.modernHost ? " modern" : " older host"));
        start(c.devices);
        ASSERT_NE(state.controller, 0u);
        const int id = vexlink::control::list().at(0).id;
        int8_t y = 0, x = 0;
        PCAPGetSingleData(state.controller, &y, &x);
        DevDisableFilter(state.controller, 1);
        SetReportId(state.controller, 9);
        vexlink::control::DeviceStatus before;
        ASSERT_TRUE(vexlink::control::status(id, &before));

        trace.clear();
        ASSERT_TRUE(vexlink::control::clearCommandLog(id));
        runExitSequence(state, c.modernHost);

        const auto log = vexlink::control::commandLog(id);
        std::vector<std::string> expected;
        if (c.commands) expected = {"PCAPStopGetData", "DevDisableFilter"};
        if (c.sentReportId >= 0) expected.push_back("SetReportId");
        ASSERT_EQ(vexlink::control::operationsOf(log), expected);
        if (c.commands) {
            EXPECT_EQ(log[1].u8(0), 0) << "filter back on";
        }
        if (c.sentReportId >= 0) {
            EXPECT_EQ(log.back().u8(0), c.sentReportId);
        }

        vexlink::control::DeviceStatus after;
        ASSERT_TRUE(vexlink::control::status(id, &after));
        EXPECT_EQ(state.controller, 0u);
        EXPECT_EQ(after.connections, 0);
        EXPECT_EQ(after.reportId, before.reportId == 9 ? c.reportId : before.reportId);
        if (c.commands) {
            EXPECT_EQ(after.stream, 0);
            EXPECT_FALSE(after.filterDisabled);
        } else {
            EXPECT_EQ(after.stream, before.stream);
            EXPECT_EQ(after.filterDisabled, before.filterDisabled);
        }
        EXPECT_EQ(trace.text(), c.traced);
    }
}

TEST_F(StartupTest, ExitSequenceWithoutControllerDoesNothing) {
    start("");
    runExitSequence(state, true);
    EXPECT_EQ(state.controller, 0u);
    EXPECT_FALSE(trace.text().contains("Change report ID"));
}

}  // namespace
}  // namespace lumora
