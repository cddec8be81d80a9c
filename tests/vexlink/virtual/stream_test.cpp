// The streams a virtual controller sends: packet layouts (ids, indexes,
// values, padding), the signal they carry (a finger shows up where it is),
// the read-back records, and that a stop really stops them.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <thread>

#include "device/packet.h"
#include "firmware_harness.h"

namespace vexlink::virt::testing {
namespace {

std::vector<int> ramp(int n, int start = 100) {
    std::vector<int> v(n);
    for (int i = 0; i < n; ++i) v[i] = start + i;
    return v;
}

TEST(SeriesPackets, IndexesAndValuesFollowThePacketCountRule) {
    const struct {
        int x, y, xPackets, yPackets;
    } cases[] = {{40, 30, 2, 1}, {30, 60, 1, 2}, {31, 1, 1, 0}, {90, 90, 3, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.x << " x " << c.y);
        std::vector<Report> out;
        appendSeries(out, 0x4E, ramp(c.x, 1000), ramp(c.y, -50));
        ASSERT_EQ(out.size(), static_cast<size_t>(c.xPackets + c.yPackets));
        for (int i = 0; i < static_cast<int>(out.size()); ++i) {
            const Report& p = out[i];
            EXPECT_EQ(p[2], 0x4E);
            EXPECT_EQ(p[3], i);
            EXPECT_FALSE(lumora::isEndPacket(p.data()));
            const bool x = i < c.xPackets;
            const int base = 30 * (x ? i : i - c.xPackets);
            const int n = x ? c.x : c.y;
            for (int k = 0; k < 30; ++k) {
                const int expected = base + k < n ? (x ? 1000 : -50) + base + k : 0;
                EXPECT_EQ(lumora::readBE16(&p[4 + 2 * k]), expected) << "packet " << i << " value " << k;
            }
        }
    }
}

// A 90-value line takes four blocks; the last reaches positions 87..115
// and carries zeros past the line's end.
TEST(ImagePackets, LinesSplitIntoBlocksOf29) {
    std::vector<Report> out;
    appendImageLine(out, 0x4B, 17, ramp(90, -10));
    ASSERT_EQ(out.size(), 4u);
    for (int b = 0; b < 4; ++b) {
        EXPECT_EQ(out[b][2], 0x4B);
        EXPECT_EQ(static_cast<int8_t>(out[b][3]), 17);
        EXPECT_EQ(static_cast<int8_t>(out[b][4]), b);
        for (int i = 0; i < 29; ++i) {
            const int position = 29 * b + i;
            EXPECT_EQ(lumora::readBE16(&out[b][6 + 2 * i]), position < 90 ? position - 10 : 0);
        }
    }
    out.clear();
    appendImageLine(out, 0x50, 3, ramp(29));
    EXPECT_EQ(out.size(), 1u);
}

TEST(KeyPackets, GroupsSplitByTheMarker) {
    const Report both = keyPacket(0x50, {1, 2, 3}, {-4, 5});
    EXPECT_EQ(both[2], 0x36);
    EXPECT_EQ(both[3], 0x50);
    EXPECT_EQ(both[1], 2 + 2 * 6);
    const int expected[] = {1, 2, 3, 0x7FFF, -4, 5};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(lumora::readBE16(&both[4 + 2 * i]), static_cast<int16_t>(expected[i]));

    const Report one = keyPacket(0x51, {7, 8}, {});
    EXPECT_EQ(one[1], 2 + 2 * 2);
    EXPECT_EQ(lumora::readBE16(&one[8]), 0);
}

TEST(ReadLog, RecordsPlaceRawAndStrayWhereTheHostCopiesThem) {
    const auto records = readLogRecords(ramp(40, 3000), ramp(30, 3500), ramp(40, 200), ramp(30, 250));
    ASSERT_EQ(records.size(), 34u);
    std::vector<int> buffer;
    for (int r = 0; r < 34; ++r) {
        EXPECT_EQ(records[r][2], 0x54);
        EXPECT_EQ(records[r][3], r);
        for (int k = 0; k < 30; ++k) buffer.push_back(lumora::readBE16(&records[r][4 + 2 * k]));
    }
    EXPECT_EQ(buffer[0], 3000);
    EXPECT_EQ(buffer[39], 3039);
    EXPECT_EQ(buffer[40], 0);
    EXPECT_EQ(buffer[128], 3500);
    EXPECT_EQ(buffer[157], 3529);
    EXPECT_EQ(buffer[256], 200);
    EXPECT_EQ(buffer[384 + 29], 279);
}

TEST(SignalModel, TheFingerShowsWhereItIs) {
    Panel p;
    p.xCount = 40;
    p.yCount = 30;
    p.noise = 0;
    const int64_t ms = 1000;  // touching: the finger lifts only late in each 5 s cycle
    const FingerState f = fingerAt(p, ms);
    ASSERT_TRUE(f.touching);
    const SeriesFrame s = seriesAt(p, ms);
    const int peakX = static_cast<int>(std::max_element(s.delta[0].begin(), s.delta[0].end()) - s.delta[0].begin());
    const int peakY = static_cast<int>(std::max_element(s.delta[1].begin(), s.delta[1].end()) - s.delta[1].begin());
    EXPECT_NEAR(peakX, f.x, 1.0);
    EXPECT_NEAR(peakY, f.y, 1.0);
    EXPECT_GT(s.delta[0][peakX], 500);
    EXPECT_EQ(s.raw[0][peakX], 3000 + (peakX * 37) % 120 + s.stray[0][peakX] - s.delta[0][peakX]);

    const ImageFrame im = imageAt(p, ms);
    const int node = static_cast<int>(std::max_element(im.ad.begin(), im.ad.end()) - im.ad.begin());
    EXPECT_NEAR(node / 40, f.y, 1.0);
    EXPECT_NEAR(node % 40, f.x, 1.0);
    EXPECT_GT(im.ad[node], 1600);
    // The blob is a blob: a node three channels away reads far less.
    const int far = (node / 40) * 40 + ((node % 40) + 3) % 40;
    EXPECT_LT(im.ad[far], im.ad[node] / 4);

    EXPECT_FALSE(fingerAt(p, 4500).touching);
    p.finger = false;
    EXPECT_FALSE(fingerAt(p, ms).touching);
}

// Every series the raw data page registers for arrives with the whole set
// of indexes, and the virtual keys with their marker.
TEST(SingleDataStream, EverySeriesArrivesComplete) {
    Device d("osprey");
    ASSERT_EQ(d.status(wire::kStartSingle), wire::kOk);
    const uint8_t ids[] = {0x3B, 0x4E, 0x4C, 0x4D, 0x4F, 0x52, 0x57, 0x58, 0x59, 0x48};
    ASSERT_TRUE(d.sink.waitFor([](const std::vector<Report>& r) {
        return std::count_if(r.begin(), r.end(), [](const Report& p) { return p[2] == 0x48; }) >= 6;
    }));
    for (uint8_t id : ids) {
        std::set<int> indexes;
        for (const Report& p : d.sink.withId(id)) {
            indexes.insert(p[3]);
            EXPECT_EQ(p[1], kSeriesLength);
        }
        EXPECT_EQ(indexes, (std::set<int>{0, 1, 2})) << "packet id " << int(id);
    }
    for (uint8_t sub = 0x50; sub <= 0x53; ++sub) {
        const auto keys = d.sink.withId(0x36, sub);
        ASSERT_FALSE(keys.empty()) << int(sub);
        EXPECT_EQ(keys.back()[1], 2 + 2 * 8);  // 4 keys, the marker, 3 keys
        EXPECT_EQ(lumora::readBE16(&keys.back()[4 + 2 * 4]), 0x7FFF);
    }
    // A healthy panel's AD levels stay below the tester's default limit.
    for (const Report& p : d.sink.withId(0x4F))
        for (int k = 0; k < 30; ++k) EXPECT_LT(lumora::readBE16(&p[4 + 2 * k]), 1200);

    // Nothing follows the stop's response.
    ASSERT_EQ(d.status(wire::kStopStream), wire::kOk);
    d.sink.clear();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(d.sink.reports().empty());
}

// A unit plugged with mute= never sends those packet ids; the rest of its
// streams go on, so a host's step that waits for them never completes.
TEST(SingleDataStream, MutedPacketIdsNeverArrive) {
    Device d("osprey:mute=4F+51");
    ASSERT_EQ(d.status(wire::kStartSingle), wire::kOk);
    ASSERT_TRUE(d.sink.waitFor([](const std::vector<Report>& r) {
        return std::count_if(r.begin(), r.end(), [](const Report& p) { return p[2] == 0x52; }) >= 9;
    }));
    EXPECT_TRUE(d.sink.withId(0x4F).empty());
    ASSERT_EQ(d.status(wire::kStartImageYX), wire::kOk);
    d.sink.clear();
    ASSERT_TRUE(d.sink.waitFor([](const std::vector<Report>& r) {
        return std::count_if(r.begin(), r.end(), [](const Report& p) { return p[2] == 0x4B; }) >= 60;
    }));
    EXPECT_TRUE(d.sink.withId(0x51).empty());
}

TEST(ImageStream, BothDriveOrdersSendWholeImages) {
    // Osprey: rows (Y lines of 40 values) or columns (X lines of 30 values).
    // Heron Y->X: Tx lines of 22 Rx values, raw image 0x4A and stray 0x4B.
    const struct {
        const char* entry;
        uint8_t start, adId, levelId;
        int lines, blocks;
    } cases[] = {{"osprey", wire::kStartImageYX, 0x4B, 0x51, 30, 2},
                 {"osprey", wire::kStartImageXY, 0x4A, 0x50, 40, 2},
                 {"heron", wire::kStartImageYX, 0x4A, 0x4B, 36, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.entry << " " << int(c.start));
        Device d(c.entry);
        ASSERT_EQ(d.status(c.start), wire::kOk);
        const size_t perImage = static_cast<size_t>(c.lines) * c.blocks;
        ASSERT_TRUE(d.sink.waitFor([&](const std::vector<Report>& r) {
            return std::count_if(r.begin(), r.end(), [&](const Report& p) { return p[2] == c.levelId; }) >=
                   static_cast<long>(perImage);
        }));
        ASSERT_EQ(d.status(wire::kStopStream), wire::kOk);
        for (uint8_t id : {c.adId, c.levelId}) {
            std::set<std::pair<int, int>> seen;
            for (const Report& p : d.sink.withId(id)) seen.insert({p[3], p[4]});
            EXPECT_EQ(seen.size(), perImage) << int(id);
            EXPECT_EQ(seen.rbegin()->first, c.lines - 1);
        }
        // AD levels of a healthy panel stay below the image tests' limit.
        for (const Report& p : d.sink.withId(c.levelId))
            for (int i = 0; i < 29; ++i) EXPECT_LT(lumora::readBE16(&p[6 + 2 * i]), 1800);
    }
}

TEST(RawPointStream, TouchReportsUseTheReportIdAndTheClassForm) {
    Device osprey("osprey");
    ASSERT_EQ(osprey.status(wire::kSetReportId, {1}), wire::kOk);
    ASSERT_EQ(osprey.status(wire::kStartRawPoint), wire::kOk);
    // The finger is down for 4.2 s of every 5 s; wait long enough to see it.
    ASSERT_TRUE(osprey.sink.waitFor(
        [](const std::vector<Report>& r) {
            return std::count_if(r.begin(), r.end(), [](const Report& p) { return p[2] == 0x36; }) >= 3;
        },
        3000));
    for (const Report& p : osprey.sink.withId(0x36, 0x13)) {
        EXPECT_EQ(p[0], 1);
        EXPECT_TRUE(p[4] & 0x80) << "single-contact form";
        EXPECT_LE(lumora::readLE16u(&p[5]), 2047);
        EXPECT_LE(lumora::readLE16u(&p[7]), 2047);
        EXPECT_LE(p[11], 11);
    }

    // Its virtual keys report presses and releases, one key at a time.
    ASSERT_TRUE(osprey.sink.waitFor(
        [](const std::vector<Report>& r) {
            return std::count_if(r.begin(), r.end(), [](const Report& p) {
                       return p[2] == 0x36 && p[3] == 0x2F;
                   }) >= 2;
        },
        3000));
    const auto keys = osprey.sink.withId(0x36, 0x2F);
    for (size_t i = 0; i < keys.size(); ++i) {
        EXPECT_LT(keys[i][5], 7);
        if (i > 0 && !(keys[i][4] & 1)) {
            EXPECT_EQ(keys[i][5], keys[i - 1][5]) << "release of the pressed key";
        }
    }

    Device heron("heron");
    ASSERT_EQ(heron.status(wire::kStartRawPoint), wire::kOk);
    ASSERT_TRUE(heron.sink.waitFor(
        [](const std::vector<Report>& r) {
            return std::count_if(r.begin(), r.end(), [](const Report& p) { return p[2] == 0x36; }) >= 3;
        },
        3000));
    EXPECT_TRUE(heron.sink.withId(0x36, 0x2F).empty()) << "no virtual keys";
    for (const Report& p : heron.sink.withId(0x36, 0x13)) {
        EXPECT_EQ(p[0], 6);
        EXPECT_FALSE(p[4] & 0x80) << "multi-contact form";
        EXPECT_EQ(p[54], 1);
        EXPECT_LE(lumora::readLE16u(&p[6]), 4095);
    }

    // Touch output off: the stream runs, no touch reports.
    Device quiet("osprey");
    ASSERT_EQ(quiet.status(wire::kSetOption, {2, 0}), wire::kOk);
    ASSERT_EQ(quiet.status(wire::kStartRawPoint), wire::kOk);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(quiet.sink.withId(0x36).empty());
}

// "Read Log" is a raw packet (03 03 36 5F ...), not a request: it gets no
// response, only the 34 records.
TEST(ReadLogPacket, AnswersTheThirtyFourRecords) {
    Device d("osprey");
    uint8_t packet[64] = {0x03, 0x03, 0x36, 0x5F};
    d.firmware->handleOutput(packet, &d.sink);
    const auto records = d.sink.withId(0x54);
    ASSERT_EQ(records.size(), 34u);
    EXPECT_TRUE(d.sink.withId(wire::kResponsePacketId).empty());
    for (int r = 0; r < 34; ++r) EXPECT_EQ(records[r][3], r);
    // X raw of channel 0 and Y stray of channel 0 are plausible raw and stray counts.
    EXPECT_GT(lumora::readBE16(&records[0][4]), 2000);
    EXPECT_GT(lumora::readBE16(&records[384 / 30][4 + 2 * (384 % 30)]), 100);
    EXPECT_LT(lumora::readBE16(&records[384 / 30][4 + 2 * (384 % 30)]), 400);
}

TEST(Unplug, EndPacketReachesEveryConnectionAndNothingFollows) {
    Device d("osprey");
    Collector second;
    d.firmware->attach(&second);
    ASSERT_EQ(d.status(wire::kStartSingle), wire::kOk);
    d.firmware->unplug();
    for (Collector* c : {&d.sink, &second}) {
        const auto all = c->reports();
        ASSERT_FALSE(all.empty());
        const Report& last = all.back();
        EXPECT_TRUE(lumora::isEndPacket(last.data()));
        EXPECT_EQ(last[2], 0x3B) << "on the id every stream page registers";
        EXPECT_TRUE(c->isGone());
    }
    const size_t count = second.reports().size();
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    uint8_t request[64] = {wire::kReportId, wire::kRequestMarker, wire::kGetTypeCode, 1};
    d.firmware->handleOutput(request, &second);
    EXPECT_EQ(second.reports().size(), count);
    d.firmware->detach(&second);
}

}  // namespace
}  // namespace vexlink::virt::testing
