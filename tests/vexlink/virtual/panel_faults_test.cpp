// The built-in tests computed from the panel model: the mutual test's stray
// items and summary table, the report selection, and a noisy channel that
// shows in the AD level and mutual results and in the streams.
#include <gtest/gtest.h>

#include <algorithm>

#include "device/packet.h"
#include "firmware_harness.h"
#include "vexlink/virtual/panel_tests.h"

namespace vexlink::virt::testing {
namespace {

constexpr uint16_t kY = 0x8000;

struct Item {
    uint8_t kind;
    bool pass;
    uint16_t first, second;
    int value;
};

Item itemOf(const Report& r) {
    return {r[3], r[4] != 0, lumora::readLE16u(&r[5]), lumora::readLE16u(&r[7]),
            lumora::readLE16(&r[9])};
}

Panel panelOf(const std::string& entry) { return panelFor(settingsFor(entry)); }

const DeviceClass& classOf(const std::string& kind) { return *findClass(kind); }

PanelTestRun run(const std::string& entry, uint8_t command, uint8_t selection,
                 std::initializer_list<int32_t> thresholds, int freqIndex = 0) {
    PanelTestRequest r;
    r.command = command;
    r.selection = selection;
    int i = 0;
    for (int32_t t : thresholds) r.thresholds[i++] = t;
    r.freqIndex = freqIndex;
    const std::string kind = entry.substr(0, entry.find(':'));
    return runPanelTest(panelOf(entry), classOf(kind), r);
}

std::vector<Item> itemsOf(const PanelTestRun& run) {
    std::vector<Item> out;
    for (const Report& r : run.items) out.push_back(itemOf(r));
    return out;
}

// Heron: every node, then per Rx channel its system stray (sub-kind 1) and
// IC stray (sub-kind 2), then the table. A broken Rx trace carries no stray.
TEST(MutualTest, HeronReportsTheStrayOfEveryRxAndTheTable) {
    const PanelTestRun r = run("heron:x=4,y=3,open=y1", wire::kStartMutualTest, 1, {2500, 2500}, 3);
    EXPECT_FALSE(r.pass);
    EXPECT_EQ(r.test, 2);
    const auto items = itemsOf(r);
    ASSERT_EQ(items.size(), 12u + 6u + 4u);
    for (size_t n = 0; n < 12; ++n) EXPECT_EQ(items[n].pass, (items[n].second & 0x7FFF) != 1) << n;
    for (int y = 0; y < 3; ++y) {
        const Item& system = items[12 + 2 * y];
        const Item& ic = items[13 + 2 * y];
        EXPECT_EQ(system.kind, wire::kMutualItem);
        EXPECT_EQ(system.first, 0x0100) << "sub-kind 1, system stray";
        EXPECT_EQ(ic.first, 0x0200) << "sub-kind 2, IC stray";
        EXPECT_EQ(system.second, kY | y);
        EXPECT_EQ(ic.second, kY | y);
        EXPECT_EQ(system.pass, y != 1) << "Rx " << y;
        EXPECT_EQ(system.value < kStrayFloor, y == 1);
        EXPECT_TRUE(ic.pass) << "the IC's own stray does not depend on the panel";
    }
    const int labels[4] = {100, 101, 102, 103};
    const int values[4] = {3, 8, 512, 2500};  // frequency index, valid nodes, offset, threshold
    for (int t = 0; t < 4; ++t) {
        const Item& row = items[18 + t];
        EXPECT_EQ(row.kind, wire::kMutualTableItem);
        EXPECT_EQ(row.first, 255);
        EXPECT_EQ(row.second, labels[t]);
        EXPECT_EQ(row.value, values[t]);
    }

    // The Osprey class has no stray items.
    EXPECT_EQ(run("osprey:x=4,y=3", wire::kStartMutualTest, 1, {2500, 2500}).items.size(), 12u + 4u);
}

// "Show Fail Only" reports failing nodes and strays alone, and no table.
TEST(MutualTest, FailOnlySelectionLeavesOutPassingItemsAndTheTable) {
    const auto items = itemsOf(run("heron:x=4,y=3,open=x2", wire::kStartMutualTest, 0, {2500, 2500}));
    ASSERT_EQ(items.size(), 3u) << "the three nodes of Tx 2";
    for (const Item& i : items) {
        EXPECT_FALSE(i.pass);
        EXPECT_EQ(i.first, 2);
    }
    const PanelTestRun healthy = run("heron:x=4,y=3", wire::kStartMutualTest, 0, {2500, 2500});
    EXPECT_TRUE(healthy.pass);
    EXPECT_TRUE(healthy.items.empty());
}

// A noisy channel fails the AD level test and every other mutual node of
// its line; the open and short tests do not see it.
TEST(NoisyChannel, FailsADLevelAndMutualNodesOnly) {
    const std::string entry = "osprey:x=6,y=4,noisy=x2";
    const auto ad = itemsOf(run(entry, wire::kStartADLevelTest, 1, {1700, 1700}));
    ASSERT_EQ(ad.size(), 10u);
    for (const Item& i : ad) EXPECT_EQ(i.pass, i.first != 2) << i.first << " " << i.value;

    const PanelTestRun mutual = run(entry, wire::kStartMutualTest, 1, {2500, 2500});
    EXPECT_FALSE(mutual.pass);
    for (const Item& i : itemsOf(mutual)) {
        if (i.kind != wire::kMutualItem) continue;
        const int x = i.first, y = i.second & 0x7FFF;
        EXPECT_EQ(i.pass, x != 2 || (x + y) % 2 == 0) << x << "," << y;
    }
    EXPECT_TRUE(run(entry, wire::kStartOpenTest, 1, {200, 200, 0, 0}).pass);
    EXPECT_TRUE(run(entry, wire::kStartShortTest, 1, {600, 600, 0, 0}).pass);
    // A noisy Rx channel in the Heron class fails its nodes the same way.
    EXPECT_FALSE(run("heron:noisy=y4", wire::kStartMutualTest, 0, {2500, 2500}).items.empty());
}

TEST(NoisyChannel, ShowsInTheNoiseAndDeltaSeries) {
    const Panel p = panelOf("osprey:x=6,y=4,noisy=y1");
    int noisyPeak = 0, healthyPeak = 0;
    for (int64_t ms = 0; ms < 2000; ms += 15) {
        const SeriesFrame f = seriesAt(p, ms);
        noisyPeak = std::max(noisyPeak, f.noise[1][1]);
        healthyPeak = std::max({healthyPeak, f.noise[1][0], f.noise[1][2], f.noise[0][1]});
    }
    EXPECT_GT(noisyPeak, 100);
    EXPECT_LE(healthyPeak, 2 * p.noise);
}

TEST(NoisyChannel, EntryOptionIsCheckedAgainstThePanel) {
    std::string error;
    EXPECT_FALSE(parseEntry("osprey:x=6,y=4,noisy=y4", &error));
    EXPECT_NE(error.find("noisy channel \"y4\" is beyond the panel"), std::string::npos) << error;
    EXPECT_FALSE(parseEntry("osprey:noisy=z1", &error));
    EXPECT_NE(error.find("z1"), std::string::npos) << error;
    const auto s = parseEntry("heron:noisy=x1+y2", &error);
    ASSERT_TRUE(s) << error;
    EXPECT_EQ(s->noisyChannels, (std::vector<ChannelRef>{{false, 1}, {true, 2}}));
}

// Through the firmware: a fault added at run time changes the next test.
TEST(NoisyChannel, AddedAtRunTimeChangesTheNextTest) {
    Device d("osprey:x=4,y=3");
    auto adLevel = [&d]() {
        d.sink.clear();
        std::vector<uint8_t> args{0};
        for (int32_t t : {1700, 1700, 0, 0})
            for (int b = 0; b < 4; ++b) args.push_back(static_cast<uint8_t>(t >> (8 * b)));
        EXPECT_EQ(d.status(wire::kStartADLevelTest, args), wire::kOk);
        EXPECT_TRUE(d.sink.waitFor([](const std::vector<Report>& r) {
            return std::any_of(r.begin(), r.end(), [](const Report& p) {
                return p[2] == wire::kTestRecordPacketId && (p[3] & wire::kDoneFlag);
            });
        }));
        return d.sink.withId(wire::kTestRecordPacketId);
    };
    auto records = adLevel();
    ASSERT_EQ(records.size(), 1u) << "fail-only: nothing but the final record";
    EXPECT_EQ(records[0][4], 1);

    d.firmware->setNoisyChannel({true, 1}, true);
    records = adLevel();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(itemOf(records[0]).first, kY | 1);
    EXPECT_EQ(records[1][4], 0);

    d.firmware->setNoisyChannel({true, 1}, false);
    EXPECT_EQ(adLevel().size(), 1u);
}

}  // namespace
}  // namespace vexlink::virt::testing
