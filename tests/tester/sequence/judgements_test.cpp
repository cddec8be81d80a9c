// The judgements and the packet arrays as plain functions.
#include "tester/sequence/judgements.h"

#include <gtest/gtest.h>

#include "tester/sequence/packet_arrays.h"
#include "tests/tester/sequence/sequence_fixture.h"

namespace lumora::tester {
namespace {

using sequence_testing::imageLine;
using sequence_testing::Packet;
using sequence_testing::seriesFrame;
using sequence_testing::xPair;
using sequence_testing::yPair;

ChannelValues filled(int16_t value) {
    ChannelValues v;
    v.fill(value);
    return v;
}

// ---- The ordering rules -----------------------------------------------------------------

// AD level and image steps: the last missing or failing channel decides, so
// a -1 before a failing value fails and a failing value before a -1 waits.
TEST(Judgements, TheLastMissingOrHighChannelDecides) {
    struct Case {
        const char* what;
        int x1, y2;  // X channel 1 and Y channel 2, the rest passing
        Judgement expected;
    } cases[] = {
        {"all below", 700, 800, Judgement::Pass},
        {"-1 then high", -1, 1500, Judgement::Fail},
        {"high then -1", 1500, -1, Judgement::NotReady},
        {"at the threshold fails", 700, 1200, Judgement::Fail},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ChannelValues x = filled(700), y = filled(800);
        x[1] = static_cast<int16_t>(c.x1);
        y[2] = static_cast<int16_t>(c.y2);
        EXPECT_EQ(judgeADLevel(x, y, 6, 5, 1200), c.expected);

        // The same order in an image: row 0 before row 3.
        ImageValues image;
        for (auto& row : image) row.fill(900);
        image[0][1] = static_cast<int16_t>(c.x1 == 700 ? 900 : c.x1);
        image[3][2] = static_cast<int16_t>(c.y2 == 800 ? 900 : c.y2);
        EXPECT_EQ(judgeImage(image, 5, 5, 1200), c.expected);
    }
}

// The last channel of each axis is not judged: a -1 or a high value there
// changes nothing.
TEST(Judgements, TheLastChannelOfAnAxisIsNotJudged) {
    ChannelValues x = filled(700), y = filled(800);
    x[5] = 3000;
    y[4] = -1;
    EXPECT_EQ(judgeADLevel(x, y, 6, 5, 1200), Judgement::Pass);
    ImageValues image;
    for (auto& row : image) row.fill(900);
    image[4][4] = 3000;  // image Y: rows 0..4 judged, columns 0..3
    EXPECT_EQ(judgeImage(image, 5, 4, 1800), Judgement::Pass);
    EXPECT_EQ(judgeImage(image, 5, 5, 1800), Judgement::Fail);
}

// T2 connector: a change at most the threshold fails; a -1 ends the scan of
// its axis as not ready, whatever came before it on that axis.
TEST(Judgements, TheConnectorChangeAndItsMissingValues) {
    const ChannelValues t1 = filled(210);
    struct Case {
        const char* what;
        int x0, x2, y1;  // T2 values of X channels 0 and 2 and Y channel 1; others 820
        Judgement expected;
    } cases[] = {
        {"every channel changed", 820, 820, 820, Judgement::Pass},
        {"a change of exactly the threshold", 820, 310, 820, Judgement::Fail},
        {"fail, then -1 on the same axis", 300, -1, 820, Judgement::NotReady},
        {"-1 on X, then a Y failure", -1, 820, 250, Judgement::Fail},
        {"a missing Y value", 820, 820, -1, Judgement::NotReady},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ChannelValues x = filled(820), y = filled(820);
        x[0] = static_cast<int16_t>(c.x0);
        x[2] = static_cast<int16_t>(c.x2);
        y[1] = static_cast<int16_t>(c.y1);
        EXPECT_EQ(judgeConnectorT2(t1, t1, x, y, 6, 5, 100, 100), c.expected);
    }
}

// ---- Short and open items ---------------------------------------------------------------

std::vector<CTestResult> items(const std::vector<sequence_testing::ShortItem>& list) {
    std::vector<CTestResult> out;
    for (const auto& i : list) {
        const Packet r = sequence_testing::shortRecord(i);
        out.push_back(pairItemOf(kShortTestKind, r.data()));
    }
    return out;
}

TEST(ShortJudgement, ValuesAreUnsignedAndTheRangeDependsOnTheStage) {
    int s = 0, k = 0;
    ShortContext first;
    first.step = 1;
    first.shortLower = 0;
    first.pcbShortTh = 200;
    first.xCount = 6;
    first.yCount = 5;
    first.sCounter = &s;
    first.vkeyCounter = &k;
    // 40000 is a 16-bit value above the range, not a negative one.
    JudgedItems j = judgeShortItems(items({yPair(0, 1, 40000)}), first);
    EXPECT_EQ(j.failures, 1);
    EXPECT_EQ(j.detail, "T1-1,Y,1, Y,2, 0,200,40000, FAIL\r\n");
    EXPECT_EQ(j.runLog, "T1-1 - Y[001] :: Y[002], Th:200, Result:40000, (X)\r\n");

    // The second stage wants the sensor: 100 fails, 300 passes.
    ShortContext second = first;
    second.step = 5;
    j = judgeShortItems(items({yPair(0, 1, 100), xPair(0, 1, 300)}), second);
    EXPECT_EQ(j.failures, 1);
    EXPECT_EQ(j.detail, "T2,Y,1, Y,2, 0,200,100, FAIL\r\nT2,X,1, X, 2, 0, 200, 300, PASS\r\n");
    EXPECT_EQ(j.runLog, "T2 - Y[001] :: Y[002], Th:200, Result:100, (X)\r\n");

    // Pairs of mixed axes are not judged at all.
    j = judgeShortItems(items({{true, 0, false, 1, 5000}}), first);
    EXPECT_EQ(j.failures, 0);
    EXPECT_TRUE(j.detail.isEmpty());
}

TEST(ShortJudgement, TheHeronFamilyListsEveryTxPair) {
    int s = 0, k = 0;
    ShortContext c;
    c.heron = true;
    c.shortTestTxLTh = 3000;
    c.xCount = 36;
    c.yCount = 22;
    c.sCounter = &s;
    c.vkeyCounter = &k;
    const JudgedItems j =
        judgeShortItems(items({xPair(0, 1, 3700), xPair(1, 2, 30), xPair(95, 96, 3800), yPair(0, 1, 3700)}), c);
    EXPECT_EQ(j.failures, 1);
    EXPECT_EQ(j.detail,
              "Short,Tx,1, Tx, 2, 3000,3700,PASS\r\n"
              "Short,Tx,2, Tx, 3, 3000,30,FAIL\r\n"
              "T1-1,X,S7,X,36,3000,3800,PASS\r\n"
              "T1-1,Y,1, Y,2, 3000,-,3700, PASS\r\n");
    EXPECT_EQ(j.runLog,
              "T1 - Tx[001] :: Tx[002], LTh:3000, Result:3700\r\n"
              "T1 - Tx[002] :: Tx[003], LTh:3000, Result:30, (X)\r\n"
              "T1 - Tx[S02] :: Tx[036],LTh:3000, Result:3800\r\n");
}

TEST(OpenJudgement, AnEmptyLineComesBeforeTheFirstRxAfterTx) {
    std::vector<CTestResult> list;
    auto add = [&](bool y, int index, int value) {
        const Packet r = sequence_testing::openRecord({y, index, value});
        list.push_back(openItemOf(r.data()));
    };
    add(false, 0, 150);
    add(true, 0, 3900);
    add(true, 1, 20);
    add(false, 1, 2600);
    add(true, 2, 3914);
    const JudgedItems j = judgeOpenItems(list, 1500, 3500);
    EXPECT_EQ(j.failures, 2);
    EXPECT_EQ(j.detail,
              "Open,Tx,1,1500,150,PASS\r\n\r\nOpen,Rx,1,3500,3900,PASS\r\nOpen,Rx,2,3500,20,FAIL\r\n"
              "Open,Tx,2,1500,2600,FAIL\r\n\r\nOpen,Rx,3,3500,3914,PASS\r\n");
    EXPECT_EQ(j.runLog,
              "T2 - Tx[001] UTh:1500, Result:150\r\n\r\nT2 - Rx[001] UTh:3500, Result:3900\r\n"
              "T2 - Rx[002] UTh:3500, Result:20, (X)\r\nT2 - Tx[002] UTh:1500, Result:2600, (X)\r\n"
              "\r\nT2 - Rx[003] UTh:3500, Result:3914\r\n");
}

// ---- Packets into the arrays ------------------------------------------------------------

// 31 channels make one packet per axis: channels 0..29 arrive and are
// judged, channel 30 is never sent and never looked at.
TEST(SeriesArraysTest, ThirtyOneChannelsJudgeChannelsZeroToTwentyNine) {
    SeriesArrays a;
    a.reset();
    std::vector<int> x(31, 700), y(31, 800);
    const int xp = packetCountFor(31), yp = packetCountFor(31);
    ASSERT_EQ(xp, 1);
    for (const Packet& p : seriesFrame(0x4F, x, y)) ASSERT_TRUE(storeSeriesPacket(a, p.data(), xp, yp));
    EXPECT_TRUE(a.ready(xp, yp));
    EXPECT_EQ(a.x[29], 700);
    EXPECT_EQ(a.x[30], -1);
    EXPECT_EQ(judgeADLevel(a.x, a.y, 31, 31, 1200), Judgement::Pass);
}

TEST(SeriesArraysTest, AnAxisIsReadyWhenItsWholeFrameCame) {
    SeriesArrays a;
    a.reset();
    const std::vector<Packet> frame = seriesFrame(0x4F, std::vector<int>(62, 700), std::vector<int>(40, 800));
    const int xp = packetCountFor(62), yp = packetCountFor(40);
    ASSERT_EQ(xp, 3);
    ASSERT_EQ(frame.size(), 5u);
    for (int i = 0; i < 4; ++i) storeSeriesPacket(a, frame[i].data(), xp, yp);
    EXPECT_FALSE(a.ready(xp, yp));
    storeSeriesPacket(a, frame[4].data(), xp, yp);
    EXPECT_TRUE(a.ready(xp, yp));
    // The next frame restarts the X count at its first packet.
    storeSeriesPacket(a, frame[0].data(), xp, yp);
    EXPECT_FALSE(a.ready(xp, yp));
    EXPECT_EQ(a.xReceived, 1);
}

// Indexes beyond the arrays never write outside them: a packet index past
// the counts is dropped; a count of 127 asks for channels up to 149, and
// what fits is kept.
TEST(SeriesArraysTest, PacketsNeverWritePastTheArrays) {
    SeriesArrays a;
    a.reset();
    const int xp = packetCountFor(127), yp = packetCountFor(127);
    ASSERT_EQ(xp, 5);
    Packet p{};
    p[2] = 0x4F;
    p[3] = static_cast<uint8_t>(xp + yp);  // past the counts
    for (int i = 0; i < 30; ++i) writeBE16(&p[4 + 2 * i], 1111);
    EXPECT_FALSE(storeSeriesPacket(a, p.data(), xp, yp));
    p[3] = 255;
    EXPECT_FALSE(storeSeriesPacket(a, p.data(), xp, yp));
    EXPECT_EQ(a.x, filled(-1));
    EXPECT_EQ(a.y, filled(-1));

    p[3] = static_cast<uint8_t>(xp - 1);  // X channels 120..149
    EXPECT_TRUE(storeSeriesPacket(a, p.data(), xp, yp));
    EXPECT_EQ(a.x[120], 1111);
    EXPECT_EQ(a.x[127], 1111);
    EXPECT_EQ(a.y, filled(-1));  // nothing spilled into the Y values
}

TEST(ImageArrays, CellsOutsideTheImageAreLeftOut) {
    ImageValues image;
    resetImage(image);
    // Chunk 4 of row 5 covers columns 116..144: 116..127 are kept.
    for (const Packet& p : imageLine(0x51, 5, std::vector<int>(5 * 29, 77))) {
        if (p[4] != 4) continue;
        storeImagePacket(image, p.data(), ImageLine::Row);
    }
    EXPECT_EQ(image[5][116], 77);
    EXPECT_EQ(image[5][127], 77);
    EXPECT_EQ(image[5][115], -1);
    EXPECT_EQ(image[6][0], -1);  // nothing ran on into the next row

    // A negative line (a signed byte) and a chunk past the image are dropped.
    Packet p = imageLine(0x50, 0, std::vector<int>(29, 55))[0];
    p[3] = 0x90;  // -112
    storeImagePacket(image, p.data(), ImageLine::Column);
    p[3] = 3;
    p[4] = 5;  // rows 145..173
    int stored = 0;
    storeImagePacket(image, p.data(), ImageLine::Column, [&](int, int, int) { ++stored; });
    EXPECT_EQ(stored, 0);
    for (const ChannelValues& row : image)
        for (int c = 0; c < kMaxArrayChannels; ++c)
            if (row[c] == 55) ADD_FAILURE() << "a dropped packet was stored";

    // A column packet fills rows of its column.
    p[4] = 0;
    storeImagePacket(image, p.data(), ImageLine::Column);
    EXPECT_EQ(image[0][3], 55);
    EXPECT_EQ(image[28][3], 55);
    EXPECT_EQ(image[29][3], -1);
}

}  // namespace
}  // namespace lumora::tester
