// The built-in panel tests: item records laid out as the contract says,
// every item before the final result, and injected panel faults showing up
// as failing items and a failing result.
#include <gtest/gtest.h>

#include "device/packet.h"
#include "firmware_harness.h"

namespace vexlink::virt::testing {
namespace {

struct Item {
    uint8_t kind;
    bool pass;
    uint16_t first, second;
    int value;
};

std::vector<uint8_t> testArgs(uint8_t selection, std::initializer_list<int32_t> thresholds) {
    std::vector<uint8_t> args{selection};
    for (int32_t t : thresholds)
        for (int b = 0; b < 4; ++b) args.push_back(static_cast<uint8_t>(t >> (8 * b)));
    return args;
}

// Runs one test and splits its records into items and the final result.
// The final record must be the last record of the test.
std::vector<Item> run(Device& d, uint8_t command, const std::vector<uint8_t>& args, int* result) {
    d.sink.clear();
    EXPECT_EQ(d.status(command, args), wire::kOk);
    EXPECT_TRUE(d.sink.waitFor([](const std::vector<Report>& r) {
        return std::any_of(r.begin(), r.end(), [](const Report& p) {
            return p[2] == wire::kTestRecordPacketId && (p[3] & wire::kDoneFlag);
        });
    }));
    const auto records = d.sink.withId(wire::kTestRecordPacketId);
    EXPECT_FALSE(records.empty());
    EXPECT_TRUE(records.back()[3] & wire::kDoneFlag) << "items come before the final result";
    *result = static_cast<int8_t>(records.back()[4]);
    std::vector<Item> items;
    for (size_t i = 0; i + 1 < records.size(); ++i) {
        const Report& r = records[i];
        EXPECT_FALSE(r[3] & wire::kDoneFlag);
        Item item{r[3], r[4] != 0, lumora::readLE16u(&r[5]), 0, 0};
        if (r[3] == wire::kOpenItem) {
            item.value = lumora::readLE16(&r[7]);
        } else {
            item.second = lumora::readLE16u(&r[7]);
            item.value = lumora::readLE16(&r[9]);
        }
        items.push_back(item);
    }
    return items;
}

constexpr uint16_t kY = 0x8000;

TEST(OpenTest, AnOpenChannelFailsAndSpoilsTheResult) {
    Device healthy("osprey");
    int result = -1;
    auto items = run(healthy, wire::kStartOpenTest, testArgs(1, {200, 200, 0, 0}), &result);
    EXPECT_EQ(result, 1);
    ASSERT_EQ(items.size(), 70u);  // 40 X channels, then 30 Y channels
    EXPECT_EQ(items[0].first, 0);
    EXPECT_EQ(items[40].first, kY | 0);
    for (const Item& i : items) {
        EXPECT_EQ(i.kind, wire::kOpenItem);
        EXPECT_TRUE(i.pass);
        EXPECT_GE(i.value, 200);
    }

    Device broken("osprey:open=x3+y7");
    items = run(broken, wire::kStartOpenTest, testArgs(1, {200, 200, 0, 0}), &result);
    EXPECT_EQ(result, 0);
    ASSERT_EQ(items.size(), 70u);
    EXPECT_FALSE(items[3].pass);
    EXPECT_LT(items[3].value, 200);
    EXPECT_FALSE(items[47].pass);
    EXPECT_EQ(items[47].first, kY | 7);
    EXPECT_EQ(std::count_if(items.begin(), items.end(), [](const Item& i) { return !i.pass; }), 2);

    // "Show Fail Only" (selection 0) reports the failing items alone.
    items = run(broken, wire::kStartOpenTest, testArgs(0, {200, 200, 0, 0}), &result);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].first, 3);
    EXPECT_EQ(items[1].first, kY | 7);
    EXPECT_EQ(result, 0);
}

// Heron: Tx reads low, Rx high. The tester's limits (Tx at most 1500, Rx
// at least 3500) and the diagnostic page's (Tx within 50..200, Rx at least
// 50) both pass a healthy panel; a broken Tx channel reads high.
TEST(OpenTest, HeronChannelsAgainstBothProgramsLimits) {
    Device d("heron:open=x5");
    int result = -1;
    auto items = run(d, wire::kStartOpenTest, testArgs(3, {0, 0, 0, 0}), &result);
    EXPECT_EQ(result, 1) << "no limits given, nothing fails";
    for (const Item& i : items) {
        const bool rx = i.first & kY;
        if (rx) EXPECT_GE(i.value, 3500);
        else if ((i.first & 0x7FFF) == 5) EXPECT_GT(i.value, 1500);
        else EXPECT_LE(i.value, 1500);
    }
    items = run(d, wire::kStartOpenTest, testArgs(1, {50, 50, 200, 200}), &result);
    EXPECT_EQ(result, 0);
    for (const Item& i : items) EXPECT_EQ(i.pass, i.first != 5) << i.first;
}

TEST(ShortTest, AShortedPairFailsAndTheBoardStateSetsTheLevel) {
    Device d("osprey:short=y5,panel=0");
    int result = -1;
    // The production tester's first stage: bare board, pairs at or below 200.
    auto items = run(d, wire::kStartShortTest, testArgs(1, {0, 0, 200, 200}), &result);
    ASSERT_EQ(items.size(), 39u + 29u);
    EXPECT_EQ(result, 0);
    for (const Item& i : items) {
        EXPECT_EQ(i.kind, wire::kShortItem);
        const bool shorted = i.first == (kY | 5);
        EXPECT_EQ(i.second, i.first + 1) << "neighbouring channels";
        EXPECT_EQ(i.pass, !shorted);
        if (!shorted) EXPECT_LE(i.value, 200);
        else EXPECT_GT(i.value, 200);
    }
    // With the sensor attached every healthy pair reads above 200.
    d.firmware->setPanelAttached(true);
    d.firmware->setChannelFault({true, 5}, false, true, false);
    items = run(d, wire::kStartShortTest, testArgs(1, {600, 600, 0, 0}), &result);
    EXPECT_EQ(result, 1);
    for (const Item& i : items) EXPECT_GT(i.value, 200);

    // Heron measures isolation: a short reads low and fails a lower limit.
    Device heron("heron:short=x2");
    items = run(heron, wire::kStartShortTest, testArgs(1, {0, 0, 100, 60}), &result);
    EXPECT_EQ(result, 0);
    for (const Item& i : items) {
        EXPECT_EQ(i.pass, i.first != 2);
        if (i.first == 2) EXPECT_LT(i.value, 100);
        else EXPECT_GE(i.value, 3000);
    }
}

TEST(MutualTest, NodeItemsThenTheTable) {
    Device d("osprey:x=6,y=4,open=y1");
    int result = -1;
    auto items = run(d, wire::kStartMutualTest, testArgs(1, {2500, 2500}), &result);
    EXPECT_EQ(result, 0);
    ASSERT_EQ(items.size(), 6u * 4u + 4u);
    for (size_t n = 0; n < 24; ++n) {
        const Item& i = items[n];
        EXPECT_EQ(i.kind, wire::kMutualItem);
        EXPECT_FALSE(i.first & kY) << "first channel Tx";
        EXPECT_TRUE(i.second & kY) << "second channel Rx";
        EXPECT_EQ(i.pass, (i.second & 0x7FFF) != 1);
    }
    const uint16_t labels[] = {100, 101, 102, 103};
    for (int t = 0; t < 4; ++t) {
        const Item& i = items[24 + t];
        EXPECT_EQ(i.kind, wire::kMutualTableItem);
        EXPECT_EQ(i.first, 255);
        EXPECT_EQ(i.second, labels[t]);
    }
    EXPECT_EQ(items[25].value, 18) << "ValidCnt: the 6 nodes of Rx 1 failed";
    EXPECT_EQ(items[27].value, 2500) << "Threshold";
}

TEST(ADLevelTest, AShortRaisesTheLevel) {
    Device d("osprey:short=x8");
    int result = -1;
    auto items = run(d, wire::kStartADLevelTest, testArgs(1, {1700, 1700}), &result);
    EXPECT_EQ(result, 0);
    ASSERT_EQ(items.size(), 70u);
    for (const Item& i : items) {
        EXPECT_EQ(i.kind, wire::kADLevelItem);
        EXPECT_EQ(i.second & 0xFF, 0xFF) << "one channel per item";
        const bool shorted = i.first == 8 || i.first == 9;
        EXPECT_EQ(i.pass, !shorted) << i.first;
    }
}

// Tests queue in the order they were started; a reset drops what has not run.
TEST(PanelTests, QueuedTestsRunInOrderAndResetDropsThem) {
    Device d("osprey:x=4,y=3");
    d.sink.clear();
    ASSERT_EQ(d.status(wire::kStartShortTest, testArgs(0, {600, 600, 0, 0})), wire::kOk);
    ASSERT_EQ(d.status(wire::kStartOpenTest, testArgs(0, {200, 200, 0, 0})), wire::kOk);
    ASSERT_TRUE(d.sink.waitFor([](const std::vector<Report>& r) {
        return std::count_if(r.begin(), r.end(), [](const Report& p) {
                   return p[2] == wire::kTestRecordPacketId && (p[3] & wire::kDoneFlag);
               }) == 2;
    }));
    const auto done = d.sink.withId(wire::kTestRecordPacketId);
    ASSERT_EQ(done.size(), 2u);
    EXPECT_EQ(done[0][3], wire::kDoneFlag | 1);
    EXPECT_EQ(done[1][3], wire::kDoneFlag | 0);

    d.sink.clear();
    ASSERT_EQ(d.status(wire::kStartOpenTest, testArgs(0, {200, 200, 0, 0})), wire::kOk);
    ASSERT_EQ(d.status(wire::kReset), wire::kOk);
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    EXPECT_TRUE(d.sink.withId(wire::kTestRecordPacketId).empty());
}

}  // namespace
}  // namespace vexlink::virt::testing
