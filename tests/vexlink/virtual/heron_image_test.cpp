// The node images of the Heron class: a finger as a dip of the raw image, a
// stray image level enough for the uniformity checks, an uneven line that
// fails them, the reference lines of the mode word's RD bit, and the
// options that set all of it up.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

#include "device/packet.h"
#include "firmware_harness.h"
#include "vexlink/virtual/heron_image.h"

namespace vexlink::virt::testing {
namespace {

Panel quietPanel() {
    Panel p;
    p.xCount = 36;
    p.yCount = 22;
    p.noise = 0;
    return p;
}

int at(const std::vector<int>& image, const Panel& p, int tx, int rx) {
    return image[static_cast<size_t>(rx) * p.xCount + tx];
}

TEST(HeronImage, FingerDipsTheRawImageAndLeavesTheStrayLevel) {
    Panel p = quietPanel();
    p.fingerResting = true;
    p.restX = 12;
    p.restY = 7;
    const ImageFrame im = heronImageAt(p, 4500, false);  // resting: no lift
    EXPECT_EQ(at(im.ad, p, 12, 7), -360);
    EXPECT_LT(at(im.ad, p, 13, 7), -200);
    EXPECT_GT(at(im.ad, p, 16, 7), -5);  // three sigma away
    EXPECT_EQ(at(im.ad, p, 30, 18), 0);
    // The stray image stays on its 8-bit level, finger or not.
    for (int tx = 0; tx < p.xCount; ++tx)
        for (int rx = 0; rx < p.yCount; ++rx) {
            EXPECT_GE(at(im.adLevel, p, tx, rx), 112);
            EXPECT_LE(at(im.adLevel, p, tx, rx), 128);
        }
}

TEST(HeronImage, UnevenLineAndReferenceLines) {
    Panel p = quietPanel();
    p.unevenLine = 5;
    p.fingerResting = true;
    p.restX = 35;  // on the last line
    p.restY = 10;
    const ImageFrame plain = heronImageAt(p, 1000, false);
    // The uneven line: 140 above its level at Rx 0, 210 at the last Rx.
    const int base0 = 120 + (5 * 7) % 17 - 8;
    EXPECT_EQ(at(plain.adLevel, p, 5, 0), base0 + 140);
    const int base21 = 120 + (5 * 7 + 21 * 3) % 17 - 8;
    EXPECT_EQ(at(plain.adLevel, p, 5, 21), base21 + 210);
    EXPECT_EQ(at(plain.ad, p, 35, 10), -360);

    // Reference lines: the last two Tx lines lose the finger and read 200.
    const ImageFrame rd = heronImageAt(p, 1000, true);
    EXPECT_EQ(at(rd.ad, p, 35, 10), 0);
    for (int tx : {34, 35})
        for (int rx = 0; rx < p.yCount; ++rx) {
            EXPECT_GE(at(rd.adLevel, p, tx, rx), 192);
            EXPECT_LE(at(rd.adLevel, p, tx, rx), 208);
        }
    EXPECT_EQ(at(rd.adLevel, p, 33, 3), at(plain.adLevel, p, 33, 3));
}

TEST(HeronImage, OptionsOfTheEntry) {
    std::string error;
    auto s = parseEntry("heron:finger=12+7,uneven=5,uniformity=2", &error);
    ASSERT_TRUE(s.has_value()) << error;
    EXPECT_EQ(s->fingerTx, 12);
    EXPECT_EQ(s->fingerRx, 7);
    EXPECT_TRUE(s->finger);
    EXPECT_EQ(s->unevenLine, 5);
    EXPECT_EQ(s->uniformity, 2);

    const struct {
        const char* entry;
        const char* token;
    } bad[] = {{"heron:finger=12+", "\"12+\""},     {"heron:finger=1+2+3", "\"1+2+3\""},
               {"heron:finger=36+0", "\"36+0\""},   {"heron:finger=0+22", "\"0+22\""},
               {"heron:uneven=36", "\"36\""},       {"heron:uneven=-1", "\"-1\""},
               {"heron:uniformity=256", "\"256\""}, {"pwm-tester:uneven=1", "\"uneven\""}};
    for (const auto& c : bad) {
        SCOPED_TRACE(c.entry);
        EXPECT_FALSE(parseEntry(c.entry, &error).has_value());
        EXPECT_NE(error.find(c.token), std::string::npos) << error;
    }
}

// The stream as the page sees it: byte 13 of the info block, and the mode
// word's RD bit switching the last two lines to reference lines.
TEST(HeronImage, StreamFollowsTheModeWord) {
    Device d("heron:finger=35+10,uneven=5,uniformity=1,noise=0");
    const std::vector<uint8_t> info = d.blob(wire::kPcapInfo);
    ASSERT_EQ(info.size(), 64u);
    EXPECT_EQ(info[13], 1);

    // The last line's raw value at Rx 10 and the stray of line 5 at Rx 0,
    // from the newest packets of the stream.
    auto newest = [&](uint8_t id, int line, int position) {
        int value = INT32_MIN;
        for (const Report& r : d.sink.withId(id))
            if (r[3] == line && r[4] == position / 29)
                value = lumora::readBE16(&r[6 + 2 * (position % 29)]);
        return value;
    };
    auto streamOnce = [&] {
        d.sink.clear();
        ASSERT_EQ(d.status(wire::kStartImageYX), wire::kOk);
        ASSERT_TRUE(d.sink.waitFor([](const std::vector<Report>& r) {
            return std::any_of(r.begin(), r.end(), [](const Report& p) { return p[2] == 0x4B && p[3] == 35; });
        }));
        ASSERT_EQ(d.status(wire::kStopStream), wire::kOk);
    };

    streamOnce();
    EXPECT_EQ(newest(0x4A, 35, 10), -360);
    EXPECT_GT(newest(0x4B, 5, 0), 240);

    const uint32_t word = 0x0001 | kModeWordRdMode;
    ASSERT_EQ(d.status(wire::kModeWord, {uint8_t(word), uint8_t(word >> 8), 0, 0}), wire::kOk);
    streamOnce();
    EXPECT_EQ(newest(0x4A, 35, 10), 0);
    EXPECT_GE(newest(0x4B, 35, 10), 192);
}

}  // namespace
}  // namespace vexlink::virt::testing
