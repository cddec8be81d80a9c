#include "tuner/rawdata/raw_model.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

namespace lumora::rawdata {
namespace {

// A series packet: id, index and up to 30 values from byte 4.
std::array<uint8_t, 64> seriesPacket(uint8_t id, uint8_t index, const std::vector<int>& values) {
    std::array<uint8_t, 64> p{};
    p[1] = 62;
    p[2] = id;
    p[3] = index;
    for (size_t i = 0; i < values.size() && i < 30; ++i) writeBE16(&p[4 + 2 * i], values[i]);
    return p;
}

std::array<uint8_t, 64> vkPacket(uint8_t sub, int byte1, const std::vector<int>& values) {
    std::array<uint8_t, 64> p{};
    p[1] = static_cast<uint8_t>(byte1);
    p[2] = 0x36;
    p[3] = sub;
    for (size_t i = 0; i < values.size() && i < 30; ++i) writeBE16(&p[4 + 2 * i], values[i]);
    return p;
}

// Runs a derivation on n values placed between sentinels, so that a read or a
// write outside the n values shows.
template <typename Fn>
std::vector<int32_t> derive(Fn fn, const std::vector<int32_t>& d) {
    constexpr int32_t kSentinel = 0x5A5A5A;
    std::vector<int32_t> in(d.size() + 2, -kSentinel);
    std::vector<int32_t> out(d.size() + 2, kSentinel);
    std::copy(d.begin(), d.end(), in.begin() + 1);
    fn(std::span<const int32_t>(in.data() + 1, d.size()), std::span<int32_t>(out.data() + 1, d.size()));
    EXPECT_EQ(out.front(), kSentinel) << "wrote before the values";
    EXPECT_EQ(out.back(), kSentinel) << "wrote after the values";
    return {out.begin() + 1, out.end() - 1};
}

struct DerivationCase {
    std::vector<int32_t> delta;
    std::vector<int32_t> expected;
};

TEST(RawDerivations, AbOnHandCheckedArrays) {
    const std::vector<DerivationCase> cases = {
        {{}, {}},
        {{-7}, {7}},
        {{5}, {0}},
        // n = 2: ab[1] = d0/2 - d1 is overwritten by ab[n-1] = d[0].
        {{10, 3}, {0, 10}},
        {{-5, 7}, {5, 0}},
        // n = 3: no middle formula, no ab[n-2] formula; ab[2] = d[1].
        {{10, 3, -4}, {0, 2, 3}},
        // n = 6, with the halving truncating toward zero (-7/2 = -3, -3/2 = -1).
        {{-4, 6, 2, 9, -3, 5}, {4, 0, 2, 0, 10, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.delta));
        EXPECT_EQ(derive(computeAb, c.delta), c.expected);
    }
}

TEST(RawDerivations, RecoveryOnHandCheckedArrays) {
    const std::vector<DerivationCase> cases = {
        {{}, {}},
        {{9}, {0}},
        // r = [-4, 0], shifted by 4 -> [0, 4], mean 2.
        {{4, 100}, {-2, 2}},
        // r = [2, 3, 0], nothing below 0, mean 5/3 = 1.
        {{1, -3, 7}, {1, 2, -1}},
        {{2, 2, -5, 0}, {-1, 1, 3, -2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.delta));
        EXPECT_EQ(derive(computeRecovery, c.delta), c.expected);
    }
}

TEST(RawModel, PacketCountsFollowTheClampedChannelCounts) {
    struct Case {
        int8_t count;
        int channels;
        int packets;
    };
    const Case cases[] = {{30, 30, 1}, {31, 31, 1}, {60, 60, 2}, {61, 61, 2}, {90, 90, 3},
                          {127, 90, 3}, {0, 0, 0}, {-56, 0, 0}};
    for (const auto& c : cases) {
        RawDataModel m;
        m.setCounts(c.count, c.count);
        EXPECT_EQ(m.data().xCount, c.channels) << int(c.count);
        EXPECT_EQ(m.data().yCount, c.channels) << int(c.count);
        EXPECT_EQ(m.packets(kAxisX), c.packets) << int(c.count);
        EXPECT_EQ(m.packets(kAxisY), c.packets) << int(c.count);
    }
}

class ParseTest : public ::testing::Test {
protected:
    void SetUp() override {
        model.setCounts(/*y*/ 31, /*x*/ 60);  // X: packets 0 and 1, Y: packet 2
        model.resetForShow(40, 50);
    }
    PacketOutcome feed(const std::array<uint8_t, 64>& p) { return model.handlePacket(p.data()); }
    RawDataModel model;
};

TEST_F(ParseTest, PacketsFillTheirAxisAtThirtyPerIndex) {
    std::vector<int> values(30);
    for (int i = 0; i < 30; ++i) values[static_cast<size_t>(i)] = 1000 + i;
    values[29] = -32768;
    feed(seriesPacket(0x4E, 1, values));  // X entries 30..59
    feed(seriesPacket(0x4E, 2, values));  // Y entries 0..29
    EXPECT_EQ(model.data().raw.x[30], 1000);
    EXPECT_EQ(model.data().raw.x[59], -32768);
    EXPECT_EQ(model.data().raw.x[0], 0);
    EXPECT_EQ(model.data().raw.y[0], 1000);
    EXPECT_EQ(model.data().raw.y[29], -32768);
}

TEST_F(ParseTest, IndexBeyondThePacketsChangesNothing) {
    feed(seriesPacket(0x3B, 0, {5, 6, 7}));
    const RawSnapshot before = model.data();
    for (uint8_t index : {3, 4, 0x70, 255}) {
        for (uint8_t id : {0x3B, 0x4E, 0x4C, 0x4D, 0x4F, 0x57, 0x59, 0x48}) {
            const auto out = feed(seriesPacket(id, index, std::vector<int>(30, 1234)));
            EXPECT_FALSE(out.releaseDrawing);
        }
    }
    EXPECT_EQ(std::memcmp(&before, &model.data(), sizeof(RawSnapshot)), 0);
    for (int s = 0; s < kSeriesCount; ++s)
        for (int a : {kAxisX, kAxisY}) EXPECT_FALSE(model.complete(s, a)) << s << "/" << a;
}

TEST_F(ParseTest, FirstWholeDeltaFrameReleasesTheDrawingOnce) {
    EXPECT_FALSE(feed(seriesPacket(0x3B, 0, {1})).releaseDrawing);
    EXPECT_FALSE(model.complete(kSeriesDelta, kAxisX));
    EXPECT_FALSE(feed(seriesPacket(0x3B, 1, {1})).releaseDrawing);
    EXPECT_TRUE(model.complete(kSeriesDelta, kAxisX));
    EXPECT_FALSE(model.started());

    const auto out = feed(seriesPacket(0x3B, 2, {1}));
    EXPECT_TRUE(out.releaseDrawing);
    EXPECT_TRUE(model.started());
    EXPECT_FALSE(model.complete(kSeriesDelta, kAxisX));
    EXPECT_FALSE(model.complete(kSeriesDelta, kAxisY));
    for (int s : {kSeriesStray, kSeriesDStray, kSeriesAdLevel})
        for (int a : {kAxisX, kAxisY}) EXPECT_TRUE(model.complete(s, a));

    // A second whole frame does not release again.
    for (uint8_t i : {0, 1, 2}) EXPECT_FALSE(feed(seriesPacket(0x3B, i, {1})).releaseDrawing);

    // "Clean Screen" makes the next whole frame release again.
    model.cleanScreen();
    EXPECT_FALSE(model.started());
    for (int a : {kAxisX, kAxisY}) EXPECT_FALSE(model.complete(kSeriesStray, a));
    EXPECT_TRUE(feed(seriesPacket(0x4E, 2, {1})).releaseDrawing);  // delta flags still stand
}

TEST_F(ParseTest, DuplicatedPacketsCompleteAnAxisOnlyWhenAllItsPacketsCame) {
    model.setCounts(90, 90);  // three packets per axis
    // Each 0x3B packet arrives twice (the page holds two registrations for it).
    for (uint8_t i : {0, 0, 1, 1}) feed(seriesPacket(0x3B, i, {}));
    EXPECT_FALSE(model.complete(kSeriesDelta, kAxisX));
    feed(seriesPacket(0x3B, 2, {}));
    EXPECT_TRUE(model.complete(kSeriesDelta, kAxisX));
    // Each id counts for itself: a whole 0x4F frame on X alone completes only 0x4F.
    for (uint8_t i : {0, 1, 2}) feed(seriesPacket(0x4F, i, {}));
    EXPECT_TRUE(model.complete(kSeriesAdLevel, kAxisX));
    EXPECT_FALSE(model.complete(kSeriesAdLevel, kAxisY));
    EXPECT_FALSE(model.complete(kSeriesRaw, kAxisX));
}

TEST_F(ParseTest, DeltaFrameDerivesAbRecoveryHoldsAndScales) {
    model.setCounts(3, 3);  // one packet per axis: X is index 0, Y index 1
    feed(seriesPacket(0x3B, 0, {10, 3, -4}));
    feed(seriesPacket(0x3B, 1, {200, -300, 0}));
    const RawSnapshot& d = model.data();
    EXPECT_EQ(d.ab.x[0], 0);
    EXPECT_EQ(d.ab.x[1], 2);
    EXPECT_EQ(d.ab.x[2], 3);
    // X recovery: r = [-13, -3, 0], shifted by 13 -> [0, 10, 13], mean 7.
    EXPECT_EQ(d.recovery.x[0], -7);
    EXPECT_EQ(d.recovery.x[1], 3);
    EXPECT_EQ(d.recovery.x[2], 6);
    EXPECT_EQ(d.deltaMax.y[0], 200);
    EXPECT_EQ(d.deltaMin.y[1], -300);
    EXPECT_EQ(d.deltaPeak[kAxisY], 300);
    EXPECT_EQ(d.deltaPeak[kAxisX], 100);  // nothing above the starting 100 on X
    // Y: ab = [-200, 100 + 300, -300] -> [0, 400, 0]; abScale = int(1.7 * 400 + 1).
    EXPECT_EQ(d.abMax.y[1], 400);
    EXPECT_EQ(d.abScale[kAxisY], 681);
    // A smaller frame keeps the holds.
    feed(seriesPacket(0x3B, 1, {1, 1, 1}));
    EXPECT_EQ(model.data().deltaMax.y[0], 200);
    EXPECT_EQ(model.data().abMax.y[1], 400);
    EXPECT_EQ(model.data().deltaMin.y[1], -300);
}

TEST_F(ParseTest, ReadLogActiveBlocksLiveRawAndStrayUntilCleanScreen) {
    model.setReadLogActive(true);
    feed(seriesPacket(0x4E, 0, {111}));
    feed(seriesPacket(0x4C, 0, {222}));
    feed(seriesPacket(0x4D, 0, {333}));
    EXPECT_EQ(model.data().raw.x[0], 0);
    EXPECT_EQ(model.data().stray.x[0], 0);
    EXPECT_EQ(model.data().dstray.x[0], 333);
    model.cleanScreen();
    EXPECT_FALSE(model.readLogActive());
    feed(seriesPacket(0x4E, 0, {111}));
    feed(seriesPacket(0x4C, 0, {222, 22}));
    EXPECT_EQ(model.data().raw.x[0], 111);
    EXPECT_EQ(model.data().stray.x[0], 222);
}

TEST_F(ParseTest, CleanScreenAndResetClearEverySeriesWhileANewShowKeepsSome) {
    struct Case {
        const char* name;
        void (*command)(RawDataModel&);
        bool keepsLevelPenViewNoise;
    };
    const Case cases[] = {
        {"Clean Screen", [](RawDataModel& m) { m.cleanScreen(); }, false},
        {"Reset Controller", [](RawDataModel& m) { m.resetForController(); }, false},
        {"page shown", [](RawDataModel& m) { m.resetForShow(40, 50); }, true},
    };
    for (const auto& c : cases) {
        model.resetForShow(40, 50);
        // X index 0 and Y index 2 of every series packet id.
        for (uint8_t id : {0x3B, 0x4E, 0x4C, 0x4D, 0x4F, 0x57, 0x59, 0x48}) {
            feed(seriesPacket(id, 0, {-700, 900}));
            feed(seriesPacket(id, 2, {-800, 600}));
        }
        c.command(model);
        const RawSnapshot& d = model.data();
        for (const SeriesPair* s : {&d.delta, &d.ab, &d.recovery, &d.raw, &d.stray, &d.dstray,
                                    &d.deltaMax, &d.deltaMin, &d.abMax}) {
            EXPECT_EQ(s->x, Channels{}) << c.name;
            EXPECT_EQ(s->y, Channels{}) << c.name;
        }
        for (const SeriesPair* s : {&d.adLevel, &d.penRaw, &d.rawView, &d.noise}) {
            EXPECT_EQ(s->x[1], c.keepsLevelPenViewNoise ? 900 : 0) << c.name;
            EXPECT_EQ(s->y[0], c.keepsLevelPenViewNoise ? -800 : 0) << c.name;
        }
    }
}

TEST_F(ParseTest, ReadBackCopiesAtRecordThirtyThree) {
    model.setCounts(/*y*/ 4, /*x*/ 5);
    // Record r holds the buffer positions 30r..30r+29 as its values.
    auto record = [](int r) {
        std::vector<int> v(30);
        for (int i = 0; i < 30; ++i) v[static_cast<size_t>(i)] = 30 * r + i;
        return seriesPacket(0x54, static_cast<uint8_t>(r), v);
    };
    for (int r = 0; r < 33; ++r) EXPECT_FALSE(feed(record(r)).restartStream);
    EXPECT_EQ(model.data().raw.x[4], 0) << "records before 33 only fill the buffer";
    EXPECT_TRUE(feed(record(33)).restartStream);
    const RawSnapshot& d = model.data();
    for (int c = 0; c < 5; ++c) {
        EXPECT_EQ(d.raw.x[static_cast<size_t>(c)], c);
        EXPECT_EQ(d.stray.x[static_cast<size_t>(c)], 256 + c);
    }
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(d.raw.y[static_cast<size_t>(c)], 128 + c);
        EXPECT_EQ(d.stray.y[static_cast<size_t>(c)], 384 + c);
    }
    EXPECT_EQ(d.raw.x[5], 0) << "channels beyond the count stay";
    EXPECT_EQ(d.strayScale[kAxisX], 3 * 4 + 1);

    // An index above 33 is ignored: the buffer keeps what it held.
    auto beyond = seriesPacket(0x54, 34, std::vector<int>(30, 7));
    EXPECT_FALSE(feed(beyond).restartStream);
    EXPECT_EQ(model.readBack(1019), 1019);
}

TEST_F(ParseTest, ReadBackBufferStartsAsBytesCC) {
    model.setCounts(1, 1);
    std::vector<int> v(30, 9);
    feed(seriesPacket(0x54, 33, v));  // only the last record arrives
    EXPECT_EQ(model.data().raw.x[0], int16_t(0xCCCC));
    EXPECT_EQ(model.data().stray.y[0], int16_t(0xCCCC));
}

TEST(RawVk, ValueCountStaysInsideThePacket) {
    const std::pair<int, int> cases[] = {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {14, 6}, {62, 30}, {63, 30},
                                         {200, 30}, {255, 30}};
    for (auto [byte1, expected] : cases) {
        const auto p = vkPacket(0x50, byte1, {});
        EXPECT_EQ(vkValueCount(p.data()), expected) << byte1;
    }
}

TEST(RawVk, SplitAtTheMarker) {
    std::vector<int> longGroup1(29, 3);
    longGroup1.push_back(0x7FFF);
    struct Case {
        const char* name;
        std::vector<int> values;
        int byte1;
        int count1;
        int count2;
        std::vector<int> group2;
    };
    const std::vector<Case> cases = {
        {"marker at 3", {1, 2, 3, 0x7FFF, 5, 6}, 14, 3, 2, {5, 6}},
        {"no marker", {1, 2, 3, 4}, 10, 4, 0, {}},
        {"marker first", {0x7FFF, 8, 9}, 8, 0, 2, {8, 9}},
        {"marker last", {1, 0x7FFF}, 6, 1, 0, {}},
        {"byte 1 below 2", {1, 2, 3}, 1, 0, 0, {}},
        // 29 values before a marker at place 29 (the 30th and last in the packet).
        {"long group 1", longGroup1, 62, 10, 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RawDataModel m;
        m.handlePacket(vkPacket(0x50, c.byte1, c.values).data());
        EXPECT_EQ(m.data().vk[0].count, c.count1);
        EXPECT_EQ(m.data().vk[1].count, c.count2);
        for (size_t i = 0; i < c.group2.size(); ++i) EXPECT_EQ(m.data().vk[1].data[i], c.group2[i]);
    }
}

TEST(RawVk, CountsNeverExceedTenPlaces) {
    // 12 keys, marker, 17 keys: both groups would overflow their 10 places.
    std::vector<int> values(30);
    for (int i = 0; i < 30; ++i) values[static_cast<size_t>(i)] = 100 + i;
    values[12] = 0x7FFF;
    RawDataModel m;
    m.handlePacket(vkPacket(0x50, 255, values).data());
    EXPECT_EQ(m.data().vk[0].count, 10);
    EXPECT_EQ(m.data().vk[1].count, 10);
    EXPECT_EQ(m.data().vk[0].data[9], 109);
    EXPECT_EQ(m.data().vk[1].data[0], 113);
    EXPECT_EQ(m.data().vk[1].data[9], 122);
}

TEST(RawVk, OtherKindsSplitWhereTheDataListSplit) {
    RawDataModel m;
    m.handlePacket(vkPacket(0x50, 12, {1, 2, 0x7FFF, 4, 5}).data());
    m.handlePacket(vkPacket(0x51, 12, {10, 20, 30, 40, 50}).data());
    m.handlePacket(vkPacket(0x52, 12, {-1, -2, -3, -4, -5}).data());
    m.handlePacket(vkPacket(0x53, 12, {7, 8, 9, 10, 11}).data());
    const auto& g1 = m.data().vk[0];
    const auto& g2 = m.data().vk[1];
    EXPECT_EQ(g1.raw[0], 10);
    EXPECT_EQ(g1.raw[1], 20);
    EXPECT_EQ(g2.raw[0], 40);  // the value at the split position (30) is not a key
    EXPECT_EQ(g2.raw[1], 50);
    EXPECT_EQ(g2.stray[1], -5);
    EXPECT_EQ(g1.dstray[1], 8);
    EXPECT_EQ(g2.dstray[0], 10);
    EXPECT_EQ(m.data().vk[0].count, 2);  // only 0x50 sets the counts
}

TEST(RawModelHistory, AppendsTheMeanOfAbsoluteAbAndDropsTheOldest) {
    RawDataModel m;
    m.setCounts(2, 3);
    // X delta [-4, 6, -1]: ab = [4, -8 -> 0, 6]; Y delta [5, -9]: ab = [-5 -> 0, 5].
    std::array<uint8_t, 64> x = seriesPacket(0x3B, 0, {-4, 6, -1});
    std::array<uint8_t, 64> y = seriesPacket(0x3B, 1, {5, -9});
    m.handlePacket(x.data());
    m.handlePacket(y.data());
    m.advanceHistory();
    m.advanceHistory();
    const auto& hx = m.data().history[kAxisX];
    EXPECT_EQ(hx[kHistoryLength - 1], 10 / 3);
    EXPECT_EQ(hx[kHistoryLength - 2], 10 / 3);
    EXPECT_EQ(hx[kHistoryLength - 3], 0);
    EXPECT_EQ(m.data().history[kAxisY][kHistoryLength - 1], 5 / 2);
    EXPECT_EQ(RawDataModel::averageAbs({}), 0);
}

TEST(RawModel, EndPacketIsReportedAndChangesNothing) {
    RawDataModel m;
    m.setCounts(30, 30);
    std::array<uint8_t, 64> p{};
    p[1] = 2;
    p[2] = 0x3B;
    p[3] = 0x70;
    p[4] = 3;
    const auto out = m.handlePacket(p.data());
    EXPECT_TRUE(out.endPacket);
    EXPECT_EQ(m.data().delta.x[0], 0);
}

}  // namespace
}  // namespace lumora::rawdata
