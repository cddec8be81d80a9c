// The raw-point stream's scripts: the options that choose them, the report
// forms, lifts, edges, the rate, id 31's pressure, keys and gestures. The
// script is driven with a simulated clock, so every count is exact.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "device/packet.h"
#include "tests/vexlink/virtual/firmware_harness.h"
#include "vexlink/virtual/touch_script.h"

namespace vexlink::virt {
namespace {

using testing::Device;
using testing::settingsFor;

struct Record {
    bool touching;
    int id, x, y, pressure;
};

// Every contact record of a touch report, in either form.
std::vector<Record> recordsOf(const Report& r) {
    std::vector<Record> out;
    if (r[4] & 0x80) {
        out.push_back({(r[4] & 1) != 0, r[11], lumora::readLE16u(&r[5]), lumora::readLE16u(&r[7]),
                       lumora::readLE16u(&r[9])});
        return out;
    }
    for (int i = 0; i < r[54] && i < 5; ++i) {
        const uint8_t* rec = &r[4 + 10 * i];
        out.push_back({(rec[0] & 1) != 0, rec[1], lumora::readLE16(&rec[2]), lumora::readLE16(&rec[4]),
                       lumora::readLE16(&rec[6])});
    }
    return out;
}

// Runs a device's script from 0 to `untilMs` on a simulated clock that
// wakes exactly when each frame asks; returns every report with its time.
struct ScriptRun {
    std::vector<std::pair<int64_t, Report>> reports;
    int frames = 0;
};
ScriptRun runScript(const std::string& entry, int64_t untilMs, bool filterDisabled = false) {
    const DeviceSettings s = settingsFor(entry);
    const Panel panel = panelFor(s);
    TouchScript script(s.touch);
    ScriptRun run;
    for (int64_t ms = 0; ms < untilMs; ++run.frames) {
        std::vector<Report> out;
        const int period = script.frame(out, panel, *s.cls, ms, s.cls->reportId, filterDisabled, true);
        for (const Report& r : out) run.reports.emplace_back(ms, r);
        EXPECT_GE(period, 1);
        ms += period;
    }
    return run;
}

std::vector<std::pair<int64_t, Record>> touchRecords(const ScriptRun& run) {
    std::vector<std::pair<int64_t, Record>> out;
    for (const auto& [ms, r] : run.reports)
        if (r[2] == 0x36 && r[3] == 0x13)
            for (const Record& rec : recordsOf(r)) out.emplace_back(ms, rec);
    return out;
}

TEST(TouchOptions, EntriesChooseTheScript) {
    std::string error;
    auto s = parseEntry("heron:touch=MULTI,contacts=32,rate=250,gesture,keys=6", &error);
    ASSERT_TRUE(s.has_value()) << error;
    EXPECT_EQ(s->touch.path, TouchPath::kMulti);
    EXPECT_EQ(s->touch.contacts, 32);
    EXPECT_EQ(s->touch.rate, 250);
    EXPECT_TRUE(s->touch.gestures);
    EXPECT_EQ(s->touch.keys, 6);
    EXPECT_EQ(s->touch.form, TouchForm::kClass);

    s = parseEntry("osprey:touch=edges,form=multi,gesture=0", &error);
    ASSERT_TRUE(s.has_value()) << error;
    EXPECT_EQ(s->touch.path, TouchPath::kEdges);
    EXPECT_EQ(s->touch.form, TouchForm::kMulti);
    EXPECT_FALSE(s->touch.gestures);

    const std::pair<const char*, const char*> bad[] = {
        {"heron:touch=spiral", "\"spiral\""},  {"heron:contacts=33", "\"33\""},
        {"heron:contacts=0", "\"0\""},         {"osprey:rate=1001", "\"1001\""},
        {"osprey:form=double", "\"double\""},  {"heron:keys=11", "\"11\""},
        {"heron:gesture=2", "\"2\""},          {"pwm-tester:touch=line", "\"touch\""},
    };
    for (const auto& [entry, token] : bad) {
        SCOPED_TRACE(entry);
        EXPECT_FALSE(parseEntry(entry, &error).has_value());
        EXPECT_NE(error.find(token), std::string::npos) << error;
    }
}

// 32 contacts at 250 reports/s: every frame reports each touching contact
// once in reports of at most five records, id 31 among them with a
// pressure that varies, and each contact reaches 250 reports a second.
TEST(TouchScript, ThirtyTwoContactsAtTheirRate) {
    const ScriptRun run = runScript("heron:touch=multi,contacts=32,rate=250", 3000);
    EXPECT_EQ(run.frames, 750);
    std::map<int64_t, std::vector<Record>> byFrame;
    for (const auto& [ms, r] : run.reports) {
        ASSERT_EQ(r[0], 6) << "the Heron report id";
        if (r[3] != 0x13) continue;
        EXPECT_FALSE(r[4] & 0x80) << "multi-contact form";
        EXPECT_GE(r[54], 1);
        EXPECT_LE(r[54], 5);
        for (const Record& rec : recordsOf(r)) byFrame[ms].push_back(rec);
    }
    std::map<int, int> perId;
    std::set<int> pressures31;
    for (const auto& [ms, records] : byFrame) {
        std::set<int> ids;
        for (const Record& rec : records) {
            EXPECT_TRUE(ids.insert(rec.id).second) << "id " << rec.id << " twice at " << ms;
            EXPECT_LT(rec.id, 32);
            EXPECT_GE(rec.x, 0);
            EXPECT_LE(rec.x, 4095);
            if (rec.touching) ++perId[rec.id];
            if (rec.touching && rec.id == 31) pressures31.insert(rec.pressure);
        }
    }
    ASSERT_EQ(perId.size(), 32u);
    // Lifted for 0.4 s of every 3 s: at least 2.6 s of 3 s at 250 a second.
    for (const auto& [id, n] : perId) EXPECT_GE(n, 250 * 26 / 10 - 1) << "id " << id;
    EXPECT_LE(*pressures31.begin(), 30);
    EXPECT_GE(*pressures31.rbegin(), 210);
}

// A lift is reported once, at the last touching place, with no pressure.
TEST(TouchScript, EachLiftIsReportedOnce) {
    for (const char* entry : {"heron:touch=multi,contacts=7", "osprey:touch=line,contacts=2",
                              "osprey:touch=circle"}) {
        SCOPED_TRACE(entry);
        const ScriptRun run = runScript(entry, 7000);
        std::map<int, Record> last;
        int lifts = 0;
        for (const auto& [ms, rec] : touchRecords(run)) {
            const auto before = last.find(rec.id);
            if (!rec.touching) {
                ASSERT_NE(before, last.end());
                EXPECT_TRUE(before->second.touching) << "a second lift report at " << ms;
                EXPECT_EQ(rec.x, before->second.x);
                EXPECT_EQ(rec.y, before->second.y);
                EXPECT_EQ(rec.pressure, 0);
                ++lifts;
            }
            last[rec.id] = rec;
        }
        EXPECT_GE(lifts, 2);
    }
}

TEST(TouchScript, EdgeStrokesReachZeroAndTheLargestCoordinate) {
    for (const auto& [entry, max] : {std::pair{"heron:touch=edges", 4095}, {"osprey:touch=edges", 2047}}) {
        SCOPED_TRACE(entry);
        std::set<int> xs, ys;
        for (const auto& [ms, rec] : touchRecords(runScript(entry, 6000))) {
            EXPECT_TRUE(rec.x == 0 || rec.x == max || rec.y == 0 || rec.y == max)
                << rec.x << ", " << rec.y << " at " << ms;
            xs.insert(rec.x);
            ys.insert(rec.y);
        }
        for (const std::set<int>* s : {&xs, &ys}) {
            EXPECT_EQ(*s->begin(), 0);
            EXPECT_EQ(*s->rbegin(), max);
        }
    }
}

TEST(TouchScript, FormsFollowTheClassUnlessChosen) {
    struct Case {
        const char* entry;
        bool single;
        int reportsPerFrame;  // with every finger down
    };
    const Case cases[] = {
        {"osprey:touch=multi,contacts=3", true, 3},
        {"osprey:touch=multi,contacts=12,form=multi", false, 3},
        {"heron:touch=multi,contacts=11", false, 3},
        {"heron:touch=multi,contacts=2,form=single", true, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        const ScriptRun run = runScript(c.entry, 400);
        std::map<int64_t, int> perFrame;
        for (const auto& [ms, r] : run.reports) {
            if (r[3] != 0x13) continue;
            EXPECT_EQ((r[4] & 0x80) != 0, c.single);
            ++perFrame[ms];
        }
        int full = 0;
        for (const auto& [ms, n] : perFrame) full = std::max(full, n);
        EXPECT_EQ(full, c.reportsPerFrame);
    }
}

TEST(TouchScript, KeysAndGesturesReportWhenTheyChange) {
    const ScriptRun run = runScript("heron:keys=6,gesture=1", 8000);
    std::vector<int> gestures;
    std::set<int> pressedKeys;
    for (const auto& [ms, r] : run.reports) {
        if (r[3] == 0x30) gestures.push_back(r[4]);
        if (r[3] == 0x2F && (r[4] & 1)) pressedKeys.insert(r[5]);
    }
    // Active from 2 s to 3 s of every 4 s.
    EXPECT_EQ(gestures, (std::vector<int>{1, 0, 1, 0}));
    EXPECT_EQ(pressedKeys, (std::set<int>{0, 1, 2, 3, 4, 5}));
    // Without the options a Heron has neither.
    for (const auto& [ms, r] : runScript("heron", 4000).reports) {
        EXPECT_NE(r[3], 0x30);
        EXPECT_NE(r[3], 0x2F);
    }
}

TEST(TouchScript, RatesStayOnAverageWhenTheThreadWakesLate) {
    const DeviceSettings s = settingsFor("heron:rate=300");
    const Panel panel = panelFor(s);
    TouchScript script(s.touch);
    int frames = 0;
    // The device thread wakes 1 ms late every time.
    for (int64_t ms = 0; ms < 2000; ++frames) {
        std::vector<Report> out;
        ms += script.frame(out, panel, *s.cls, ms, 6, false, true) + 1;
    }
    EXPECT_NEAR(frames, 600, 2);
}

// Through the firmware's own thread: the chosen script reaches the host.
TEST(TouchScript, TheFirmwareStreamsTheScript) {
    Device heron("heron:touch=multi,contacts=32,rate=250");
    ASSERT_EQ(heron.status(wire::kStartRawPoint), wire::kOk);
    EXPECT_TRUE(heron.sink.waitFor(
        [](const std::vector<Report>& reports) {
            for (const Report& r : reports)
                if (r[2] == 0x36 && r[3] == 0x13)
                    for (const Record& rec : recordsOf(r))
                        if (rec.id == 31 && rec.touching) return true;
            return false;
        },
        5000));
}

}  // namespace
}  // namespace vexlink::virt
